#include "encoders/BitUtils.h"

uint8_t BitUtils::BitsNeeded(int n) {
    if (n <= 0) return 0;
    uint8_t bits = 1;
    for (unsigned m = static_cast<unsigned>(n - 1); (m >>= 1) != 0;) ++bits;
    return bits;
}

void BitUtils::WriteWord(OutputStream& output, int value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF),
                              static_cast<uint8_t>((value >> 8) & 0xFF)};
    output.write(bytes, 2);
}

void BitUtils::WriteString(OutputStream& output, std::string_view text) {
    output.write(text);
}
