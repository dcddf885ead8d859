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

bool PhotoFolder::prepare(std::string& error) const {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec) {
        error = "cannot create " + folder_ + ": " + ec.message();
        return false;
    }
    return true;
}

std::string PhotoFolder::pathFor(std::int64_t id) const {
    return folder_ + "/" + std::to_string(id) + ".jpg";
}

bool PhotoFolder::write(std::int64_t id, const std::string& bytes) const {
    std::string pattern = folder_ + "/.incoming-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
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
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(name.data(), pathFor(id).c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(name.data());
    return ok;
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
