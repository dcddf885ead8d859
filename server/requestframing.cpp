#include "requestframing.h"

#include <optional>
#include <string>
#include <strings.h>

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool named(std::string_view line, std::string_view name, std::string_view& value) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || trimmed(line.substr(0, colon)).size() != name.size())
        return false;
    if (strncasecmp(trimmed(line.substr(0, colon)).data(), name.data(), name.size()) != 0)
        return false;
    value = line.substr(colon + 1);
    return true;
}

} // namespace

bool RequestFraming::ambiguous(std::string_view head) {
    std::optional<std::string_view> length;
    bool chunked = false;
    std::size_t start = head.find('\n'); // the request line has no headers
    while (start != std::string_view::npos && start + 1 < head.size()) {
        const std::size_t end = head.find('\n', start + 1);
        const std::string_view line =
            head.substr(start + 1, end == std::string_view::npos ? head.npos : end - start - 1);
        start = end;
        std::string_view value;
        if (named(line, "Transfer-Encoding", value)) {
            chunked = true;
        } else if (named(line, "Content-Length", value)) {
            // A list of equal values ("5, 5") names one length.
            std::size_t from = 0;
            while (from <= value.size()) {
                std::size_t comma = value.find(',', from);
                if (comma == std::string_view::npos)
                    comma = value.size();
                const std::string_view one = trimmed(value.substr(from, comma - from));
                if (one.empty() || one.find_first_not_of("0123456789") != std::string_view::npos)
                    return true;
                if (length && *length != one)
                    return true;
                length = one;
                from = comma + 1;
            }
        }
    }
    return length && chunked;
}
