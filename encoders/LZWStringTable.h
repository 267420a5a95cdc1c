#pragma once
// The LZW string table: string k is its prefix string strNxt_[k] followed by
// the byte strChr_[k]. Strings are found through an open-addressing hash with
// a fixed probe step, so coding allocates nothing after construction.
//
// Each slot also keeps the key it holds, so a probe needs one load, and each
// prefix remembers its last child: inside a run of one pixel the next string
// is found without hashing. Both only speed up the search; the answers are
// those of the hashed table.

#include <cstdint>
#include <memory>

class LZWStringTable {
public:
    static constexpr int RES_CODES = 2;   // clear and end codes after the roots
    static constexpr int16_t HASH_FREE = -1;
    static constexpr int16_t NEXT_FIRST = -1;  // prefix of a root string
    static constexpr int MAXBITS = 12;
    static constexpr int MAXSTR = 1 << MAXBITS;
    static constexpr int HASHSIZE = 9973;  // prime, so the probe visits every slot
    static constexpr int HASHSTEP = 2039;
    // Returned by AddCharString once the table holds MAXSTR strings.
    static constexpr int TABLE_FULL = 0xFFFF;

    LZWStringTable();

    // Empties the table, then adds the 2^codeSize roots and the two reserved
    // codes, so the first string learnt gets code 2^codeSize + 2.
    void ClearTable(int codeSize);

    // Code of prefix + byte, or -1. A root (prefix -1) is the byte itself.
    int FindCharString(int prefix, int byte) {
        if (prefix == -1) return byte & 0xFF;
        const uint32_t child = lastChild_[prefix];
        if ((child & 0xFF) == static_cast<uint32_t>(byte & 0xFF) && child != NO_CHILD) return static_cast<int>(child >> 8);
        const uint32_t key = Key(prefix, byte);
        for (int slot = Hash(prefix, byte);; slot = NextSlot(slot)) {
            const uint32_t k = slotKey_[slot];
            if (k == key) {
                const int code = strHsh_[slot];
                lastChild_[prefix] = Child(code, byte);
                return code;
            }
            if (k == FREE_KEY) return -1;
        }
    }

    // Adds prefix + byte and returns its code, or TABLE_FULL leaving the table
    // unchanged.
    int AddCharString(int prefix, int byte) {
        if (numStrings_ >= MAXSTR) return TABLE_FULL;
        int slot = Hash(prefix, byte);
        while (strHsh_[slot] != HASH_FREE) slot = NextSlot(slot);
        strHsh_[slot] = numStrings_;
        slotKey_[slot] = Key(prefix, byte);
        strChr_[numStrings_] = static_cast<uint8_t>(byte);
        strNxt_[numStrings_] = static_cast<int16_t>(prefix);
        if (prefix != -1) lastChild_[prefix] = Child(numStrings_, byte);
        return numStrings_++;
    }

    static int Hash(int prefix, int byte) {
        return static_cast<int>((((static_cast<unsigned>(byte) & 0xFF) << 8) ^
                                 (static_cast<unsigned>(prefix) & 0xFFFF)) %
                                HASHSIZE);
    }

    int NumStrings() const { return numStrings_; }

private:
    static constexpr uint32_t FREE_KEY = 0xFFFFFFFFu;
    static constexpr uint32_t NO_CHILD = 0xFFFFFFFFu;

    static int NextSlot(int slot) {
        slot += HASHSTEP;
        return slot >= HASHSIZE ? slot - HASHSIZE : slot;
    }
    static uint32_t Key(int prefix, int byte) {
        return ((static_cast<uint32_t>(prefix) & 0xFFFF) << 8) | (static_cast<uint32_t>(byte) & 0xFF);
    }
    static uint32_t Child(int code, int byte) {
        return (static_cast<uint32_t>(code) << 8) | (static_cast<uint32_t>(byte) & 0xFF);
    }

    std::unique_ptr<uint8_t[]> strChr_;
    std::unique_ptr<int16_t[]> strNxt_;
    std::unique_ptr<int16_t[]> strHsh_;
    std::unique_ptr<uint32_t[]> slotKey_;
    std::unique_ptr<uint32_t[]> lastChild_;
    int16_t numStrings_ = 0;
};
