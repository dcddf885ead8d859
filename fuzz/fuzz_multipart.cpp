// Upload bodies from anywhere: the form parser never crashes, and a body fed in one piece
// or a byte at a time gives the same parts.
#include "multipartform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::optional<std::pair<int, std::string>> makeFile() {
    std::string path = "/tmp/fuzz-multipart-XXXXXX";
    const int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    return std::make_pair(fd, path);
}

// What the form made of the body, as one comparable text.
std::string outcome(MultipartForm& form) {
    std::string text = form.complete() ? "complete" : "refused";
    for (const char* name : {"token", "album", "image", ""}) {
        if (const MultipartForm::Part* part = form.part(name))
            text += "|" + std::string(name) + ":" + part->filename + ":" + part->content + ":" +
                    std::to_string(part->size);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    MultipartForm whole("XB", makeFile);
    whole.feed(body);
    MultipartForm bytes("XB", makeFile);
    for (std::size_t i = 0; i < body.size(); ++i)
        bytes.feed(body.substr(i, 1));
    if (outcome(whole) != outcome(bytes))
        __builtin_trap();
    return 0;
}
