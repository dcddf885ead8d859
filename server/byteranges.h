#pragma once

#include "webresponse.h"

#include <cstddef>
#include <string>

// Answers a Range header from a whole 200 answer. Serves one range, or up to kMaxRanges
// that do not overlap and together are no larger than the body; any other set of ranges
// gets the whole body, and ranges none of which lies within the body get 416.
class ByteRanges {
public:
    static constexpr std::size_t kMaxRanges = 8;

    // Turns `res` (status 200, the whole body) into the answer to `range`: unchanged when
    // the header is empty, malformed or refused as above; 206 with one range or a
    // multipart/byteranges body; 416 with "Content-Range: bytes */<size>".
    static void apply(const std::string& range, WebResponse& res);
};
