#pragma once

#include "connection.h"

#include <httplib.h>

// The HTTP library's view of a Connection while a worker serves requests on it: reads and
// writes wait at most the given time-outs.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(Connection& connection, int readTimeoutMs, int writeTimeoutMs)
        : connection_(connection), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs) {}

    bool is_readable() const override { return connection_.waitReadable(readTimeoutMs_); }
    bool is_writable() const override { return connection_.waitWritable(writeTimeoutMs_); }
    // The count read, 0 at the end of the stream, -1 on time-out or error.
    ssize_t read(char* ptr, size_t size) override {
        return connection_.read(ptr, size, readTimeoutMs_);
    }
    // `size`, or -1 on time-out or error.
    ssize_t write(const char* ptr, size_t size) override {
        return connection_.write(ptr, size, writeTimeoutMs_);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = connection_.remoteAddress;
        port = connection_.remotePort;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = connection_.localAddress;
        port = connection_.localPort;
    }
    socket_t socket() const override { return connection_.fd(); }

private:
    Connection& connection_;
    int readTimeoutMs_;
    int writeTimeoutMs_;
};
