#pragma once
// Owns a file descriptor: every way out of a function closes it.

#include <unistd.h>

#include <utility>

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    // Hands the descriptor over to whoever closes it now (fdopendir).
    int release() { return std::exchange(fd_, -1); }
    // Closes it now; false with errno set when the close reported an error
    // (a write that had not reached the file).
    bool close() { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};
