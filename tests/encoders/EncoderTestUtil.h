#pragma once
// Helpers shared by the encoder tests.

#include "encoders/OutputStream.h"

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace enc_test {

inline std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Codes packed least-significant bit first, as (code, width) pairs.
inline std::vector<uint8_t> packCodes(const std::vector<std::pair<int, int>>& codes) {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= static_cast<uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(static_cast<uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) out.push_back(static_cast<uint8_t>(acc));
    return out;
}

// The data sub-blocks starting at pos (after the minimum code size byte), up
// to and including the 0 terminator.
struct SubBlocks {
    std::vector<int> sizes;
    std::vector<uint8_t> data;
    size_t end = 0;  // position after the terminator
};

inline SubBlocks readSubBlocks(const std::string& file, size_t pos) {
    SubBlocks blocks;
    for (;;) {
        if (pos >= file.size()) throw std::runtime_error("sub-blocks run past the end");
        const int n = static_cast<uint8_t>(file[pos++]);
        if (n == 0) break;
        if (pos + static_cast<size_t>(n) > file.size()) throw std::runtime_error("sub-block cut short");
        blocks.sizes.push_back(n);
        blocks.data.insert(blocks.data.end(), file.begin() + static_cast<std::ptrdiff_t>(pos),
                           file.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += static_cast<size_t>(n);
    }
    blocks.end = pos;
    return blocks;
}

// Fails every write after `allowed` bytes have gone through.
class FailingOutputStream : public OutputStream {
public:
    explicit FailingOutputStream(size_t allowed) : allowed_(allowed) {}
    using OutputStream::write;
    void write(const uint8_t* data, size_t n) override {
        if (written_.size() + n > allowed_) throw IOException("disk full");
        written_.append(reinterpret_cast<const char*>(data), n);
    }
    const std::string& written() const { return written_; }

private:
    size_t allowed_;
    std::string written_;
};

// `count` distinct opaque colours, spread so neighbours differ in every channel.
inline std::vector<uint32_t> distinctColours(int count) {
    std::vector<uint32_t> colours;
    for (int i = 0; i < count; ++i) {
        colours.push_back(0xFF000000u | (static_cast<uint32_t>(i * 37 % 256) << 16) |
                          (static_cast<uint32_t>(255 - i) << 8) | static_cast<uint32_t>(i));
    }
    return colours;
}

// width * height pixels drawn at random from `colours`.
inline std::vector<uint32_t> noise(int width, int height, const std::vector<uint32_t>& colours, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> pick(0, colours.size() - 1);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (auto& p : pixels) p = colours[pick(rng)];
    return pixels;
}

}  // namespace enc_test
