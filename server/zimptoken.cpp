#include "zimptoken.h"

#include <cctype>
#include <strings.h>

namespace {

void skipSpaces(const std::string& text, std::size_t& pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
}

} // namespace

std::optional<std::string> ZimpToken::parse(const std::string& header) {
    std::size_t pos = 0;
    skipSpaces(header, pos);
    const std::string scheme = "ZimpToken";
    if (header.size() < pos + scheme.size() ||
        strncasecmp(header.c_str() + pos, scheme.c_str(), scheme.size()) != 0)
        return std::nullopt;
    pos += scheme.size();
    if (pos >= header.size() || (header[pos] != ' ' && header[pos] != '\t'))
        return std::nullopt;

    std::optional<std::string> token;
    while (true) {
        skipSpaces(header, pos);
        if (pos >= header.size())
            break;
        const std::size_t nameStart = pos;
        while (pos < header.size() && (std::isalnum(static_cast<unsigned char>(header[pos])) ||
                                       header[pos] == '_' || header[pos] == '-'))
            ++pos;
        const std::string name = header.substr(nameStart, pos - nameStart);
        skipSpaces(header, pos);
        if (name.empty() || pos >= header.size() || header[pos] != '=')
            return std::nullopt;
        ++pos;
        skipSpaces(header, pos);
        std::string value;
        if (pos < header.size() && header[pos] == '"') {
            ++pos;
            bool closed = false;
            while (pos < header.size()) {
                const char c = header[pos++];
                if (c == '\\' && pos < header.size()) {
                    value.push_back(header[pos++]);
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value.push_back(c);
                }
            }
            if (!closed)
                return std::nullopt;
        } else {
            while (pos < header.size() && header[pos] != ',' && header[pos] != ' ' &&
                   header[pos] != '\t')
                value.push_back(header[pos++]);
        }
        if (strcasecmp(name.c_str(), "token") == 0)
            token = value;
        skipSpaces(header, pos);
        if (pos < header.size()) {
            if (header[pos] != ',')
                return std::nullopt;
            ++pos;
        }
    }
    if (!token || token->empty())
        return std::nullopt;
    return token;
}
