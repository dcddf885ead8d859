#pragma once

#include <QtGlobal>

// Qt's HTTP connections leave Nagle's algorithm on and give no hold of their socket. An
// upload body then ends in a short segment that the kernel holds back until the service
// acknowledges what went before, which a delayed acknowledgement puts off by about 40 ms:
// on a fast link most of a small photo's time. This turns the algorithm off on the
// process's TCP sockets connected to one port, the way curl sends.
class LowDelaySockets {
public:
    // Sets TCP_NODELAY on every open TCP socket of this process whose peer port is `port`
    // (a short segment held back goes out at once). Returns how many sockets it set;
    // 0 where the platform does not list a process's descriptors. Refuses nothing: a
    // descriptor that closes meanwhile or is no TCP socket is passed over.
    static int applyToPeerPort(quint16 port);
};
