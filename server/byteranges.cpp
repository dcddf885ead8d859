#include "byteranges.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

namespace {

struct Span {
    std::uint64_t first = 0;
    std::uint64_t last = 0; // inclusive
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The ranges that lie within `size`; nullopt when the header is malformed or names more
// ranges than are served.
std::optional<std::vector<Span>> parse(std::string_view header, std::uint64_t size) {
    if (header.substr(0, 6) != "bytes=")
        return std::nullopt;
    header.remove_prefix(6);
    std::vector<Span> spans;
    std::size_t count = 0;
    while (!header.empty()) {
        const std::size_t comma = header.find(',');
        const std::string_view one = trimmed(header.substr(0, comma));
        header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
        if (++count > ByteRanges::kMaxRanges)
            return std::nullopt;
        const std::size_t dash = one.find('-');
        if (dash == std::string_view::npos)
            return std::nullopt;
        const std::optional<std::uint64_t> first = number(one.substr(0, dash));
        const std::optional<std::uint64_t> last = number(one.substr(dash + 1));
        if (dash == 0) { // the last n bytes
            if (!last)
                return std::nullopt;
            if (*last > 0 && size > 0)
                spans.push_back({size - std::min(*last, size), size - 1});
            continue;
        }
        if (!first || (dash + 1 < one.size() && (!last || *last < *first)))
            return std::nullopt;
        if (*first < size)
            spans.push_back({*first, last ? std::min(*last, size - 1) : size - 1});
    }
    if (count == 0)
        return std::nullopt;
    return spans;
}

std::string contentRange(const Span& span, std::uint64_t size) {
    return "bytes " + std::to_string(span.first) + "-" + std::to_string(span.last) + "/" +
           std::to_string(size);
}

} // namespace

void ByteRanges::apply(const std::string& range, WebResponse& res) {
    if (range.empty() || res.status != 200)
        return;
    const std::uint64_t size = res.body.size();
    std::optional<std::vector<Span>> spans = parse(range, size);
    if (!spans)
        return;
    if (spans->empty()) {
        res.status = 416;
        res.body.clear();
        res.headers.erase("Content-Type");
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    std::sort(spans->begin(), spans->end(),
              [](const Span& a, const Span& b) { return a.first < b.first; });
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < spans->size(); ++i) {
        if (i > 0 && (*spans)[i].first <= (*spans)[i - 1].last)
            return; // overlapping ranges: the whole body
        total += (*spans)[i].last - (*spans)[i].first + 1;
    }
    if (total > size)
        return;
    res.status = 206;
    if (spans->size() == 1) {
        const Span& span = spans->front();
        res.set_header("Content-Range", contentRange(span, size));
        res.body = res.body.substr(span.first, span.last - span.first + 1);
        return;
    }
    const std::string type = res.get_header_value("Content-Type");
    const std::string boundary = "pikto-byteranges-7d1c5a";
    std::string body;
    for (const Span& span : *spans) {
        body += "--" + boundary + "\r\n";
        if (!type.empty())
            body += "Content-Type: " + type + "\r\n";
        body += "Content-Range: " + contentRange(span, size) + "\r\n\r\n";
        body.append(res.body, span.first, span.last - span.first + 1);
        body += "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    res.set_content(std::move(body), "multipart/byteranges; boundary=" + boundary);
}
