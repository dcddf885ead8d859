#include "sitetexts.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

SiteTexts::Table load(const char* resource) {
    QFile file(QString::fromLatin1(resource));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "pikto-service: the site texts %s are missing\n", resource);
        std::abort();
    }
    const QByteArray bytes = file.readAll();
    return SiteTexts::parse(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace

SiteTexts::Table SiteTexts::parse(const std::string& contents) {
    Table table;
    std::istringstream lines(contents);
    for (std::string line; std::getline(lines, line);) {
        const std::string text = trimmed(line);
        const auto equals = text.find('=');
        if (text.empty() || text[0] == '#' || equals == std::string::npos)
            continue;
        table[trimmed(text.substr(0, equals))] = trimmed(text.substr(equals + 1));
    }
    return table;
}

bool SiteTexts::fromCode(const std::string& code, Language& language) {
    const std::string primary = code.substr(0, code.find('-'));
    if (primary == "ru" || primary == "RU") {
        language = Language::Russian;
        return true;
    }
    if (primary == "en" || primary == "EN") {
        language = Language::English;
        return true;
    }
    return false;
}

std::string SiteTexts::code(Language language) {
    return language == Language::English ? "en" : "ru";
}

SiteTexts::Language SiteTexts::choose(const std::string& asked, const std::string& remembered,
                                      const std::string& acceptLanguage) {
    Language language = Language::Russian;
    if (fromCode(asked, language) || fromCode(remembered, language))
        return language;
    // "en-GB,en;q=0.9,ru;q=0.8": the browser lists its languages best first; a weight of 0
    // means "not this one".
    std::istringstream entries(acceptLanguage);
    for (std::string entry; std::getline(entries, entry, ',');) {
        const auto semicolon = entry.find(';');
        const auto weight =
            entry.find("q=", semicolon == std::string::npos ? entry.size() : semicolon);
        if (weight != std::string::npos && std::strtod(entry.c_str() + weight + 2, nullptr) <= 0.0)
            continue;
        if (fromCode(trimmed(entry.substr(0, semicolon)), language))
            return language;
    }
    return Language::Russian;
}

const SiteTexts::Table& SiteTexts::table(Language language) {
    static const Table russian = load(":/site/ru.texts");
    static const Table english = load(":/site/en.texts");
    return language == Language::English ? english : russian;
}

const std::string& SiteTexts::text(Language language, const std::string& key) {
    const Table& texts = table(language);
    const auto it = texts.find(key);
    return it == texts.end() ? key : it->second;
}
