#pragma once
// Packs variable-width codes least-significant bit first into GIF data
// sub-blocks: a count byte (1-255) followed by that many bytes.

#include "encoders/OutputStream.h"

#include <cstdint>

class BitFile {
public:
    explicit BitFile(OutputStream& output) : output_(output) {}

    // Appends the low numbits bits of bits (numbits 1..24).
    void WriteBits(int bits, int numbits) {
        pending_ |= static_cast<uint64_t>(static_cast<uint32_t>(bits) & ((1u << numbits) - 1))
                    << pendingBits_;
        pendingBits_ += numbits;
        while (pendingBits_ >= 8) {
            buffer_[1 + index_++] = static_cast<uint8_t>(pending_);
            pending_ >>= 8;
            pendingBits_ -= 8;
            if (index_ == 255) WriteBlock();
        }
    }

    // Writes what is left as a last, shorter sub-block; the unused high bits
    // of its last byte are 0. Does not write the block terminator.
    void Flush();

private:
    void WriteBlock();

    OutputStream& output_;
    // buffer_[0] is the count byte, so a sub-block goes out in one write.
    uint8_t buffer_[256];
    int index_ = 0;
    // Bits not yet formed into a whole byte.
    uint64_t pending_ = 0;
    int pendingBits_ = 0;
};
