#pragma once
// Helpers shared by the fuzz targets: a reader that takes a few header bytes
// from the front of the input (so seed files are easy to write by hand), and
// a check that turns a broken promise into a crash libFuzzer keeps.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // Missing bytes read as 0, so a short input is still a valid one.
    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() {
        const uint16_t hi = u8();
        return static_cast<uint16_t>(hi << 8 | u8());
    }
    bool empty() const { return pos_ >= size_; }
    size_t remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }
    // Everything not taken yet.
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(data_) + (pos_ < size_ ? pos_ : size_), remaining());
        pos_ = size_;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

[[noreturn]] inline void fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what.c_str());
    std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(cond, what)                                       \
    do {                                                             \
        if (!(cond)) ::fuzz::fail(__FILE__, __LINE__, #cond ": " + std::string(what)); \
    } while (0)
