#pragma once

#include <httplib.h>

#include <string>

// An HTTP library stream over bytes in memory: reads come from the given request text,
// writes are discarded. It lets the library parse a request that has already been read.
class MemoryStream : public httplib::Stream {
public:
    explicit MemoryStream(std::string input) : input_(std::move(input)) {}

    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    // Copies up to `size` unread bytes; 0 at the end.
    ssize_t read(char* ptr, size_t size) override;
    // Accepts and drops the bytes.
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return -1; }

private:
    std::string input_;
    std::size_t position_ = 0;
};
