#include "cookies.h"

namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::map<std::string, std::string> Cookies::parse(const std::string& header) {
    std::map<std::string, std::string> cookies;
    std::size_t start = 0;
    while (start <= header.size()) {
        std::size_t end = header.find(';', start);
        if (end == std::string::npos)
            end = header.size();
        const std::string pair = header.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        if (equals != std::string::npos) {
            const std::string name = trimmed(pair.substr(0, equals));
            if (!name.empty())
                cookies.emplace(name, trimmed(pair.substr(equals + 1)));
        }
        start = end + 1;
    }
    return cookies;
}

std::string Cookies::setCookie(const std::string& name, const std::string& value,
                               std::int64_t maxAgeSeconds, bool secure) {
    std::string text = name + "=" + value + "; Path=/; Max-Age=" + std::to_string(maxAgeSeconds) +
                       "; HttpOnly; SameSite=Lax";
    if (secure)
        text += "; Secure";
    return text;
}
