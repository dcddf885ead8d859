#include "lowdelaysockets.h"

#ifdef Q_OS_LINUX
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>
#endif

int LowDelaySockets::applyToPeerPort(quint16 port) {
#ifdef Q_OS_LINUX
    DIR* fds = opendir("/proc/self/fd");
    if (!fds)
        return 0;
    const int listing = dirfd(fds);
    int set = 0;
    while (const dirent* entry = readdir(fds)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == listing)
            continue;
        int protocol = 0;
        socklen_t length = sizeof protocol;
        if (getsockopt(int(fd), SOL_SOCKET, SO_PROTOCOL, &protocol, &length) != 0 ||
            protocol != IPPROTO_TCP)
            continue;
        sockaddr_storage peer{};
        length = sizeof peer;
        if (getpeername(int(fd), reinterpret_cast<sockaddr*>(&peer), &length) != 0)
            continue;
        quint16 peerPort = 0;
        if (peer.ss_family == AF_INET)
            peerPort = ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port);
        else if (peer.ss_family == AF_INET6)
            peerPort = ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port);
        const int on = 1;
        if (peerPort == port && setsockopt(int(fd), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
            ++set;
    }
    closedir(fds);
    return set;
#else
    Q_UNUSED(port);
    return 0;
#endif
}
