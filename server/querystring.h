#pragma once

#include <map>
#include <optional>
#include <string>

// The fields of a query or of an application/x-www-form-urlencoded body:
// "name=value&name2=value2", each part percent-decoded and "+" read as a space.
class QueryString {
public:
    using Fields = std::multimap<std::string, std::string>;

    // Every field in order of appearance within each name. A part without "=" is a field
    // with an empty value; empty parts are skipped. A "%" not followed by two hexadecimal
    // digits stays as it is. Never fails.
    static Fields parse(const std::string& text);
    // Adds the fields of `text` to `fields` (as parse does).
    static void parseInto(const std::string& text, Fields& fields);
    // The first value of `name`; empty when the field is absent.
    static std::optional<std::string> value(const Fields& fields, const std::string& name);
    // Percent-encodes every byte but letters, digits and "-._~/" (for a path in a query).
    static std::string encode(const std::string& text);
    // Percent-decodes one name or value, "+" as a space.
    static std::string decode(const std::string& text);
};
