#include "textutil.h"

#include <httplib.h>

#include <sys/random.h>

#include <cerrno>
#include <vector>

std::string TextUtil::collapseSlashes(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out.push_back(c);
    }
    return out;
}

std::string TextUtil::htmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string TextUtil::randomHex(std::size_t bytes) {
    std::vector<unsigned char> buffer(bytes);
    std::size_t filled = 0;
    while (filled < bytes) {
        const ssize_t got = getrandom(buffer.data() + filled, bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        filled += static_cast<std::size_t>(got);
    }
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes * 2);
    for (unsigned char b : buffer) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0f]);
    }
    return out;
}

bool TextUtil::isDecimalId(const std::string& text) {
    if (text.empty() || text.size() > 18)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool TextUtil::endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void TextUtil::answerText(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}
