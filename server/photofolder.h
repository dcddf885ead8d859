#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The folder of stored photo bytes: "<folder>/<id>.jpg", written whole or not at all.
class PhotoFolder {
public:
    explicit PhotoFolder(std::string folder) : folder_(std::move(folder)) {}

    // Creates the folder when missing and removes temporary files an interrupted run left;
    // false when the folder cannot be made.
    bool prepare(std::string& error) const;
    // Writes the bytes whole to a new temporary file in the folder and flushes it to disk.
    // Returns its path, to be placed or discarded; empty (nothing left behind) on failure.
    std::optional<std::string> writeTemporary(const std::string& bytes) const;
    // Renames a temporary file to the photo's name, so a reader never sees half a photo.
    // False on failure, the temporary file then being removed.
    bool place(const std::string& temporary, std::int64_t id) const;
    // Removes a temporary file that will not be placed.
    void discard(const std::string& temporary) const;
    // The stored bytes; empty when the file is missing or unreadable.
    std::optional<std::string> read(std::int64_t id) const;
    void remove(std::int64_t id) const;
    std::string pathFor(std::int64_t id) const;

private:
    std::string folder_;
};
