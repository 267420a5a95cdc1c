#pragma once
// Byte sinks the encoders write into.
//
// The encoders write headers a few bytes at a time and image data in whole
// blocks, so a sink is called once per block, never once per pixel. A failed
// write throws IOException carrying a description of the failure; nothing is
// reported through return values. A sink is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

class IOException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OutputStream {
public:
    virtual ~OutputStream() = default;
    // Writes n bytes or throws IOException.
    virtual void write(const uint8_t* data, size_t n) = 0;
    // Pushes out anything held back; a sink that holds nothing does nothing.
    virtual void flush() {}

    void write(uint8_t byte) { write(&byte, 1); }
    void write(std::string_view bytes) {
        write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
};

// Collects everything written in memory. The chart surface writes an image
// here and hands the bytes to an atomic file write, so a reader never sees a
// half-written file.
class StringOutputStream : public OutputStream {
public:
    using OutputStream::write;
    void write(const uint8_t* data, size_t n) override {
        bytes_.append(reinterpret_cast<const char*>(data), n);
    }
    const std::string& str() const { return bytes_; }
    size_t size() const { return bytes_.size(); }
    void reserve(size_t n) { bytes_.reserve(n); }
    // Hands the bytes over and leaves the stream empty.
    std::string take() { return std::move(bytes_); }
    void clear() { bytes_.clear(); }

private:
    std::string bytes_;
};
