#include "photofolder.h"

#include "database.h"
#include "photorecord.h"
#include "textutil.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

const std::string kTemporaryPrefix = ".incoming-";
const std::string kDerivedTemporaryPrefix = ".derived-";
constexpr PhotoFolder::Derived kAllDerived[] = {PhotoFolder::Derived::Thumb,
                                                PhotoFolder::Derived::Screen,
                                                PhotoFolder::Derived::NotAnImageMark};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Writes the bytes whole to a new file "<folder>/<prefix>XXXXXX" and flushes it to disk.
std::optional<std::string> writeNewFile(const std::string& folder, const std::string& prefix,
                                        const std::string& bytes) {
    std::string pattern = folder + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return std::nullopt;
    std::size_t written = 0;
    bool ok = true;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    // On disk before the name that makes it visible points at it.
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(name.data());
        return std::nullopt;
    }
    return std::string(name.data());
}

// The photo id a stored file's name starts with ("12.jpg", "12.thumb.jpg", "12.notimage");
// empty for any other name.
std::optional<std::int64_t> idOfStoredFile(const std::string& name) {
    const std::size_t digits = name.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string::npos || digits > 18)
        return std::nullopt;
    const std::string rest = name.substr(digits);
    if (rest != ".jpg" && rest != ".thumb.jpg" && rest != ".screen.jpg" && rest != ".notimage")
        return std::nullopt;
    return std::stoll(name.substr(0, digits));
}

} // namespace

bool PhotoFolder::prepare(std::string& error) const {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) {
        error = "cannot create " + folder_ + ": " + ec.message();
        return false;
    }
    // Leftovers of a run that stopped between writing and placing a photo or a derived file.
    for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (startsWith(name, kTemporaryPrefix) || startsWith(name, kDerivedTemporaryPrefix)) {
            std::error_code removeError;
            std::filesystem::remove(it->path(), removeError);
        }
    }
    return true;
}

std::string PhotoFolder::pathFor(std::int64_t id) const {
    return folder_ + "/" + std::to_string(id) + ".jpg";
}

std::optional<std::string> PhotoFolder::writeTemporary(const std::string& bytes) const {
    return writeNewFile(folder_, kTemporaryPrefix, bytes);
}

std::optional<std::pair<int, std::string>> PhotoFolder::makeTemporary() const {
    std::string pattern = folder_ + "/" + kTemporaryPrefix + "XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    return std::make_pair(fd, pattern);
}

bool PhotoFolder::place(const std::string& temporary, std::int64_t id) const {
    if (std::rename(temporary.c_str(), pathFor(id).c_str()) == 0)
        return true;
    discard(temporary);
    return false;
}

std::optional<std::int64_t> PhotoFolder::store(Database& db, const PhotoRecord& photo,
                                               const std::string& login,
                                               const std::string& temporary) const {
    std::optional<std::int64_t> placed;
    const std::optional<std::int64_t> id = db.addPhoto(photo, login, [&](std::int64_t newId) {
        if (!place(temporary, newId))
            return false;
        placed = newId;
        return true;
    });
    if (id)
        return id;
    // The record was not committed: neither may its file stay.
    if (placed)
        remove(*placed);
    else
        discard(temporary);
    return std::nullopt;
}

std::size_t PhotoFolder::reconcile(Database& db) const {
    // Sorted lists rather than trees, and plain readdir: at start, with a hundred thousand
    // photos and their copies, this walk is most of the time before the first answer.
    std::vector<std::int64_t> withPhoto;
    std::vector<std::int64_t> withAnyFile;
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir)
        return 0; // an unreadable folder proves nothing missing
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (const std::optional<std::int64_t> id = idOfStoredFile(name)) {
            withAnyFile.push_back(*id);
            if (name.find('.') == name.size() - 4 && TextUtil::endsWith(name, ".jpg"))
                withPhoto.push_back(*id);
        }
        errno = 0;
    }
    const bool complete = errno == 0;
    ::closedir(dir);
    if (!complete)
        return 0;
    std::sort(withPhoto.begin(), withPhoto.end());
    std::sort(withAnyFile.begin(), withAnyFile.end());
    withAnyFile.erase(std::unique(withAnyFile.begin(), withAnyFile.end()), withAnyFile.end());
    std::size_t removed = 0;
    const std::vector<std::int64_t> recorded = db.photoIds(); // ascending
    for (const std::int64_t id : recorded) {
        if (std::binary_search(withPhoto.begin(), withPhoto.end(), id))
            continue;
        const std::optional<PhotoRecord> photo = db.photo(id);
        if (!db.removePhoto(id))
            continue;
        ++removed;
        remove(id); // its scaled copies, made from a file that is gone
        std::cerr << "pikto-service: photo " << id << " of album " << (photo ? photo->albumId : 0)
                  << " had no file; its record is removed\n";
    }
    for (const std::int64_t id : withAnyFile) {
        if (std::binary_search(recorded.begin(), recorded.end(), id))
            continue;
        remove(id);
        ++removed;
    }
    return removed;
}

void PhotoFolder::discard(const std::string& temporary) const {
    ::unlink(temporary.c_str());
}

std::optional<std::string> PhotoFolder::read(std::int64_t id) const {
    std::ifstream in(pathFor(id), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return out.str();
}

void PhotoFolder::remove(std::int64_t id) const {
    ::unlink(pathFor(id).c_str());
    for (Derived what : kAllDerived)
        ::unlink(derivedPath(id, what).c_str());
}

std::string PhotoFolder::derivedPath(std::int64_t id, Derived what) const {
    const char* suffix = what == Derived::Thumb    ? ".thumb.jpg"
                         : what == Derived::Screen ? ".screen.jpg"
                                                   : ".notimage";
    return folder_ + "/" + std::to_string(id) + suffix;
}

bool PhotoFolder::writeDerived(std::int64_t id, Derived what, const std::string& bytes) const {
    const std::optional<std::string> temporary =
        writeNewFile(folder_, kDerivedTemporaryPrefix, bytes);
    if (!temporary)
        return false;
    if (std::rename(temporary->c_str(), derivedPath(id, what).c_str()) == 0)
        return true;
    ::unlink(temporary->c_str());
    return false;
}
