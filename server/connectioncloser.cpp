#include "connectioncloser.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace {

// The port and textual address of a socket address, IPv4 or IPv6.
bool describe(const sockaddr_storage& address, std::string& text, int& port) {
    char buffer[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        if (!inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer))
            return false;
        port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        if (!inet_ntop(AF_INET6, &in6->sin6_addr, buffer, sizeof buffer))
            return false;
        port = ntohs(in6->sin6_port);
    } else {
        return false;
    }
    text = buffer;
    return true;
}

// True for a connected socket on the local port; `peer` may be null to match any peer.
bool matches(int fd, int localPort, const std::string* peerAddress, int peerPort) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode))
        return false;
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t localLength = sizeof local;
    socklen_t peerLength = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
        return false;
    std::string localText;
    std::string peerText;
    int localFound = -1;
    int peerFound = -1;
    if (!describe(local, localText, localFound) || !describe(peer, peerText, peerFound) ||
        localFound != localPort)
        return false;
    return !peerAddress || (peerFound == peerPort && peerText == *peerAddress);
}

// Shuts down the matching sockets (only the first unless `all`); returns how many.
int shutDownMatching(int localPort, const std::string* peerAddress, int peerPort, bool all) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return 0;
    int done = 0;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(dir))
            continue;
        if (matches(static_cast<int>(fd), localPort, peerAddress, peerPort)) {
            if (shutdown(static_cast<int>(fd), SHUT_RDWR) == 0)
                ++done;
            if (!all)
                break;
        }
    }
    closedir(dir);
    return done;
}

} // namespace

bool ConnectionCloser::shutDown(int localPort, const std::string& peerAddress, int peerPort) {
    return shutDownMatching(localPort, &peerAddress, peerPort, false) > 0;
}

void ConnectionCloser::shutDownAll(int localPort) {
    shutDownMatching(localPort, nullptr, 0, true);
}
