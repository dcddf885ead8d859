#include "photofolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

const std::string kTemporaryPrefix = ".incoming-";

} // namespace

bool PhotoFolder::prepare(std::string& error) const {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) {
        error = "cannot create " + folder_ + ": " + ec.message();
        return false;
    }
    // Leftovers of a run that stopped between writing and placing a photo.
    for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().filename().string().rfind(kTemporaryPrefix, 0) == 0)
            std::filesystem::remove(it->path(), ec);
    }
    return true;
}

std::string PhotoFolder::pathFor(std::int64_t id) const {
    return folder_ + "/" + std::to_string(id) + ".jpg";
}

std::optional<std::string> PhotoFolder::writeTemporary(const std::string& bytes) const {
    std::string pattern = folder_ + "/" + kTemporaryPrefix + "XXXXXX";
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
    // On disk before the record that names it is stored.
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

bool PhotoFolder::place(const std::string& temporary, std::int64_t id) const {
    if (std::rename(temporary.c_str(), pathFor(id).c_str()) == 0)
        return true;
    discard(temporary);
    return false;
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
}
