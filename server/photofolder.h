#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The folder of stored photo bytes: "<folder>/<id>.jpg", written whole or not at all.
class PhotoFolder {
public:
    explicit PhotoFolder(std::string folder) : folder_(std::move(folder)) {}

    // Creates the folder when missing; false when it cannot.
    bool prepare(std::string& error) const;
    // Writes the bytes to a temporary file in the folder and renames it into place, so a
    // reader never sees half a photo. False (and nothing left behind) on any failure.
    bool write(std::int64_t id, const std::string& bytes) const;
    // The stored bytes; empty when the file is missing or unreadable.
    std::optional<std::string> read(std::int64_t id) const;
    void remove(std::int64_t id) const;
    std::string pathFor(std::int64_t id) const;

private:
    std::string folder_;
};
