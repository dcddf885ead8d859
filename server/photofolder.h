#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

class Database;
struct PhotoRecord;

// The folder of stored photo bytes: "<folder>/<id>.jpg", written whole or not at all. Files made
// from a photo are kept beside it ("<id>.thumb.jpg", ...) and go with it.
class PhotoFolder {
public:
    // What is kept beside a photo: its scaled copies and the mark of bytes that are no image.
    enum class Derived { Thumb, Screen, NotAnImageMark };

    explicit PhotoFolder(std::string folder) : folder_(std::move(folder)) {}

    // Creates the folder when missing and removes temporary files an interrupted run left;
    // false when the folder cannot be made.
    bool prepare(std::string& error) const;
    // Writes the bytes whole to a new temporary file in the folder and flushes it to disk.
    // Returns its path, to be placed or discarded; empty (nothing left behind) on failure.
    std::optional<std::string> writeTemporary(const std::string& bytes) const;
    // Makes a new empty temporary file in the folder, to be written, then placed or
    // discarded. Returns its descriptor and path; nullopt on failure.
    std::optional<std::pair<int, std::string>> makeTemporary() const;
    // Renames a temporary file to the photo's name, so a reader never sees half a photo.
    // False on failure, the temporary file then being removed.
    bool place(const std::string& temporary, std::int64_t id) const;
    // Stores a new photo: its record (see Database::addPhoto) with the temporary file placed
    // under the record's id before the record is committed. Returns the id; empty, with the
    // temporary file removed and no record stored, when the album is missing or someone
    // else's or storing fails.
    std::optional<std::int64_t> store(Database& db, const PhotoRecord& photo,
                                      const std::string& login, const std::string& temporary) const;
    // Brings records and files together after a run that stopped in the middle (done at
    // start, before serving): a record without its file is removed and logged; a photo file
    // or a derived file without a record is removed. Returns how many records and files were
    // removed.
    std::size_t reconcile(Database& db) const;
    // Removes a temporary file that will not be placed.
    void discard(const std::string& temporary) const;
    // The stored bytes; empty when the file is missing or unreadable.
    std::optional<std::string> read(std::int64_t id) const;
    // Removes the photo and everything derived from it.
    void remove(std::int64_t id) const;
    std::string pathFor(std::int64_t id) const;

    std::string derivedPath(std::int64_t id, Derived what) const;
    // Writes the bytes whole to a temporary file and renames it to the derived file's name, so
    // concurrent writers and readers only ever see a complete file. False on failure, nothing
    // then being left behind.
    bool writeDerived(std::int64_t id, Derived what, const std::string& bytes) const;

private:
    std::string folder_;
};
