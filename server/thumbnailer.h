#pragma once

#include "photofolder.h"

#include <cstdint>
#include <string>

// Makes the scaled JPEG copies of stored photos that the website shows, on first request, and
// keeps them beside the photo. Safe to use from several threads at once: each copy is written
// whole under a temporary name and renamed, so the last of two simultaneous makers wins and
// both hand out a complete file.
class Thumbnailer {
public:
    enum class Size {
        Thumb, // long side at most 400 px, for the album grid
        Screen // long side at most 1600 px, for the photo page
    };
    struct Result {
        enum class Kind {
            Image,      // path names the derived JPEG
            NotAnImage, // the stored bytes are no image Qt can decode, or an absurdly large one
            Missing,    // no photo is stored under that id
            Failed      // reading or writing failed; nothing is remembered, a retry may succeed
        };
        Kind kind = Kind::Missing;
        std::string path;
    };

    // Declared sizes above this are refused before any pixel is decoded.
    static constexpr std::int64_t kMaxPixels = 100'000'000;
    static constexpr int kJpegQuality = 82;

    explicit Thumbnailer(const PhotoFolder& photos) : photos_(photos) {}

    // The longest side of the given size; smaller photos keep their own size.
    static int longSide(Size size) { return size == Size::Thumb ? 400 : 1600; }

    // The path of the photo's derived JPEG of that size, made and kept on first request and
    // reused afterwards. A photo that cannot be decoded is remembered by a marker file, so it
    // is decoded once only; it gives NotAnImage and no derived file.
    Result derivative(std::int64_t id, Size size) const;

private:
    const PhotoFolder& photos_;
};
