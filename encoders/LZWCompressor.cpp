#include "encoders/LZWCompressor.h"

#include "encoders/BitFile.h"
#include "encoders/LZWStringTable.h"
#include "support/KeptScratch.h"

#include <cstring>
#include <memory>

namespace {

// With few colours the string table fits a plain array: the child of string
// s by pixel c is entry s * 2^codeSize + c. Entries hold the child's code
// times 2^codeSize (0: no child), that is where the child's own row starts,
// so going down the table needs one load per pixel and no hashing.
constexpr int MAX_DIRECT_CODE_SIZE = 4;
constexpr size_t DIRECT_ENTRIES = size_t{LZWStringTable::MAXSTR} << MAX_DIRECT_CODE_SIZE;

// The table of the last direct coding, kept for the next because a fresh
// one of this size would have its pages faulted in on every image.
struct DirectEntries {
    std::unique_ptr<uint16_t[]> entries{new uint16_t[DIRECT_ENTRIES]};
};

class DirectTable {
public:
    DirectTable() : kept_(pool().take()) {}
    uint16_t* data() const { return kept_->entries.get(); }

private:
    static KeptScratch<DirectEntries>& pool() {
        static KeptScratch<DirectEntries> kept;
        return kept;
    }
    const KeptScratch<DirectEntries>::Lent kept_;
};

// True when every pixel is below 2^codeSize.
bool fitsCodeSize(const uint8_t* pixels, size_t n, int codeSize) {
    uint8_t all = 0;
    for (size_t i = 0; i < n; ++i) all |= pixels[i];
    return (all >> codeSize) == 0;
}

// The same codes as the hashed table gives, for pixels below 2^codeSize.
void compressDirect(BitFile& bitFile, int codeSize, const uint8_t* pixels, size_t n) {
    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    const unsigned shift = static_cast<unsigned>(codeSize);
    const size_t rowBytes = sizeof(uint16_t) << shift;
    int numBits = codeSize + 1;
    int limit = (1 << numBits) - 1;

    DirectTable holder;
    uint16_t* const table = holder.data();
    int numStrings = 0;
    auto clearTable = [&] {
        // Only the roots' rows; a new string's row is emptied when it is made.
        std::memset(table, 0, rowBytes << shift);
        numStrings = clearCode + LZWStringTable::RES_CODES;
    };
    clearTable();
    bitFile.WriteBits(clearCode, numBits);
    if (n == 0) {
        bitFile.WriteBits(endCode, numBits);
        bitFile.Flush();
        return;
    }

    unsigned row = static_cast<unsigned>(pixels[0]) << shift;
    for (size_t i = 1; i < n; ++i) {
        const unsigned c = pixels[i];
        const unsigned child = table[row + c];
        if (child != 0) {
            row = child;
            continue;
        }
        bitFile.WriteBits(static_cast<int>(row >> shift), numBits);
        if (numStrings < LZWStringTable::MAXSTR) {
            const int code = numStrings++;
            table[row + c] = static_cast<uint16_t>(static_cast<unsigned>(code) << shift);
            std::memset(table + (static_cast<size_t>(code) << shift), 0, rowBytes);
            if (code > limit) limit = (1 << ++numBits) - 1;
        } else {
            // Full at 12 bits: the decoder is told to start over.
            bitFile.WriteBits(clearCode, LZWStringTable::MAXBITS);
            clearTable();
            numBits = codeSize + 1;
            limit = (1 << numBits) - 1;
        }
        row = c << shift;
    }
    bitFile.WriteBits(static_cast<int>(row >> shift), numBits);
    bitFile.WriteBits(endCode, numBits);
    bitFile.Flush();
}

}  // namespace

void LZWCompressor::LZWCompress(OutputStream& output, int codeSize, const uint8_t* pixels,
                                size_t n) {
    BitFile bitFile(output);
    if (codeSize >= 1 && codeSize <= MAX_DIRECT_CODE_SIZE && fitsCodeSize(pixels, n, codeSize)) {
        compressDirect(bitFile, codeSize, pixels, n);
        return;
    }

    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    int numBits = codeSize + 1;
    int limit = (1 << numBits) - 1;

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
