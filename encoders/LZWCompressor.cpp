#include "encoders/LZWCompressor.h"

#include "encoders/BitFile.h"
#include "encoders/LZWStringTable.h"

void LZWCompressor::LZWCompress(OutputStream& output, int codeSize, const uint8_t* pixels,
                                size_t n) {
    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    int numBits = codeSize + 1;
    int limit = (1 << numBits) - 1;

    BitFile bitFile(output);
    LZWStringTable strings;
    strings.ClearTable(codeSize);
    bitFile.WriteBits(clearCode, numBits);

    int prefix = -1;
    for (size_t i = 0; i < n; ++i) {
        const int c = pixels[i];
        const int found = strings.FindCharString(prefix, c);
        if (found != -1) {
            prefix = found;
            continue;
        }
        bitFile.WriteBits(prefix, numBits);
        if (strings.AddCharString(prefix, c) > limit) {
            // The width grows once code 2^numBits exists; past 12 bits the
            // table is full and the decoder is told to start over.
            if (++numBits > LZWStringTable::MAXBITS) {
                bitFile.WriteBits(clearCode, numBits - 1);
                strings.ClearTable(codeSize);
                numBits = codeSize + 1;
            }
            limit = (1 << numBits) - 1;
        }
        prefix = c;
    }
    if (prefix != -1) bitFile.WriteBits(prefix, numBits);
    bitFile.WriteBits(endCode, numBits);
    bitFile.Flush();
}
