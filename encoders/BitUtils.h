#pragma once
// Byte helpers of the GIF writer: code widths and little-endian fields.

#include "encoders/OutputStream.h"

#include <cstdint>
#include <string_view>

class BitUtils {
public:
    BitUtils() = delete;

    // Bits needed to write the values 0 .. n - 1, at least 1; 0 for n = 0.
    static uint8_t BitsNeeded(int n);
    // The low byte of value, then bits 15-8 (GIF is little-endian).
    static void WriteWord(OutputStream& output, int value);
    // The low 8 bits of each character.
    static void WriteString(OutputStream& output, std::string_view text);
};
