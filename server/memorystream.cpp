#include "memorystream.h"

#include <algorithm>
#include <cstring>

ssize_t MemoryStream::read(char* ptr, size_t size) {
    const std::size_t count = std::min(size, input_.size() - position_);
    std::memcpy(ptr, input_.data() + position_, count);
    position_ += count;
    return static_cast<ssize_t>(count);
}

ssize_t MemoryStream::write(const char*, size_t size) {
    return static_cast<ssize_t>(size);
}

void MemoryStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = "127.0.0.1";
    port = 0;
}

void MemoryStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip = "127.0.0.1";
    port = 0;
}
