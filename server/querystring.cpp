#include "querystring.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string QueryString::encode(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(digits[byte >> 4]);
            out.push_back(digits[byte & 0x0f]);
        }
    }
    return out;
}

std::string QueryString::decode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void QueryString::parseInto(const std::string& text, Fields& fields) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start) {
            const std::string part = text.substr(start, end - start);
            const std::size_t equals = part.find('=');
            if (equals == std::string::npos)
                fields.emplace(decode(part), std::string());
            else
                fields.emplace(decode(part.substr(0, equals)), decode(part.substr(equals + 1)));
        }
        start = end + 1;
    }
}

QueryString::Fields QueryString::parse(const std::string& text) {
    Fields fields;
    parseInto(text, fields);
    return fields;
}

std::optional<std::string> QueryString::value(const Fields& fields, const std::string& name) {
    // lower_bound: the first of equal names, in the order they were added.
    const auto it = fields.lower_bound(name);
    if (it == fields.end() || it->first != name)
        return std::nullopt;
    return it->second;
}
