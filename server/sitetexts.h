#pragma once

#include <map>
#include <string>

// The website's words in each of its languages, read from one file per language
// ("key = value" lines) built into the service.
class SiteTexts {
public:
    enum class Language { Russian, English };
    using Table = std::map<std::string, std::string>;

    // The language of a request: `asked` (the ?lang= value) when it names one, then
    // `remembered` (the language cookie), then the first of `acceptLanguage` that the site
    // has; Russian otherwise.
    static Language choose(const std::string& asked, const std::string& remembered,
                           const std::string& acceptLanguage);
    // "ru" or "en".
    static std::string code(Language language);
    // The language a code names ("ru", "en", "en-GB"...); false for any other code.
    static bool fromCode(const std::string& code, Language& language);

    // Every text of the language. The tables are read once; a missing file is a build fault
    // and ends the program.
    static const Table& table(Language language);
    // One text; the key itself when the language has no such text (seen at once on a page).
    static const std::string& text(Language language, const std::string& key);

    // The "key = value" lines of `contents`; blank lines and "#" lines are skipped.
    static Table parse(const std::string& contents);
};
