#pragma once
// Produces the LZW code stream of a GIF image from its palette indexes.

#include "encoders/OutputStream.h"

#include <cstddef>
#include <cstdint>

class LZWCompressor {
public:
    LZWCompressor() = delete;

    // Writes the data sub-blocks for the n indexes (not the terminator).
    // codeSize is the minimum code size written before the data (2..8).
    static void LZWCompress(OutputStream& output, int codeSize, const uint8_t* pixels, size_t n);
};
