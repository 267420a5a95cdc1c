#pragma once
// Images made from fuzz input for the encoder targets, and a byte sink that
// fails after a chosen number of bytes.
//
// Header (after the target's own bytes):
//   0    size flags: 0x01 wide (width up to 65536), 0x02 tall (height up to
//        65536); otherwise each side is below 300. 0x04 varied alpha.
//   1-2  width, 3-4 height (within those bounds; the other side then shrinks
//        so the image stays below kMaxPixels)
//   5-6  number of colours, 1 to 600
// Then runs, two bytes each: the length byte (bits 0-5: length - 1; bit 6:
// add 256 to the entry; bit 7: times 64), then the palette entry.
// When the runs end before the image does, they repeat from the first.

#include "encoders/OutputStream.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace fuzz {

// Small images keep the search fast; a wide or tall one keeps at least one
// row or column whatever its length.
constexpr int64_t kMaxPixels = 1 << 14;

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;

    size_t distinct(uint32_t mask) const {
        std::unordered_set<uint32_t> seen;
        seen.reserve(512);
        uint32_t last = ~(argb.empty() ? 0u : argb[0] & mask);
        for (uint32_t p : argb) {
            if ((p & mask) == last) continue;  // runs repeat a colour
            last = p & mask;
            seen.insert(last);
            if (seen.size() > 300) break;  // enough to know it is over 256
        }
        return seen.size();
    }
};

inline Image makeImage(Input& in) {
    Image img;
    const uint8_t flags = in.u8();
    int w = in.u16(), h = in.u16();
    w = (flags & 0x01) ? w + (w == 65535 ? (flags >> 3 & 1) : 0) : w % 300;
    h = (flags & 0x02) ? h + (h == 65535 ? (flags >> 4 & 1) : 0) : h % 300;
    if (static_cast<int64_t>(w) * h > kMaxPixels) {
        if (w >= h)
            h = std::max(1, static_cast<int>(kMaxPixels / w));
        else
            w = std::max(1, static_cast<int>(kMaxPixels / h));
    }
    img.width = w;
    img.height = h;
    const int colours = 1 + in.u16() % 600;
    std::vector<uint32_t> palette(static_cast<size_t>(colours));
    for (int k = 0; k < colours; ++k) {
        // Odd multipliers are one-to-one on 24 bits, so entries stay distinct.
        const uint32_t rgb = (static_cast<uint32_t>(k) * 0x9E3779u + 0x123456u) & 0xFFFFFFu;
        const uint32_t alpha = (flags & 0x04) ? (static_cast<uint32_t>(k) * 37u) & 0xFFu : 0xFFu;
        palette[static_cast<size_t>(k)] = alpha << 24 | rgb;
    }
    struct Run {
        size_t length;
        uint32_t colour;
    };
    std::vector<Run> runs;
    while (in.remaining() >= 2 && runs.size() < 4096) {
        const uint8_t l = in.u8();
        const size_t length = (l & 0x3Fu) + 1u;
        const size_t entry = in.u8() + ((l & 0x40) ? 256u : 0u);
        runs.push_back({(l & 0x80) ? length * 64 : length, palette[entry % static_cast<size_t>(colours)]});
    }
    if (runs.empty()) runs.push_back({1, palette[0]});
    const size_t total = static_cast<size_t>(w) * static_cast<size_t>(h);
    img.argb.reserve(total);
    for (size_t r = 0; img.argb.size() < total; r = (r + 1) % runs.size()) {
        const size_t n = std::min(runs[r].length, total - img.argb.size());
        img.argb.insert(img.argb.end(), n, runs[r].colour);
    }
    return img;
}

// Collects bytes, and throws like a full disk once `limit` bytes are written.
class LimitedStream : public OutputStream {
public:
    using OutputStream::write;
    explicit LimitedStream(size_t limit) : limit_(limit) {}
    void write(const uint8_t* data, size_t n) override {
        if (bytes.size() + n > limit_) throw IOException("No space left on device");
        bytes.insert(bytes.end(), data, data + n);
    }
    std::vector<uint8_t> bytes;

private:
    size_t limit_;
};

}  // namespace fuzz
