#include "encoders/LZWStringTable.h"

#include <algorithm>

LZWStringTable::LZWStringTable()
    : strChr_(new uint8_t[MAXSTR]()),
      strNxt_(new int16_t[MAXSTR]()),
      strHsh_(new int16_t[HASHSIZE]),
      slotKey_(new uint32_t[HASHSIZE]),
      lastChild_(new uint32_t[MAXSTR]) {
    std::fill_n(strHsh_.get(), HASHSIZE, HASH_FREE);
    std::fill_n(slotKey_.get(), HASHSIZE, FREE_KEY);
    std::fill_n(lastChild_.get(), MAXSTR, NO_CHILD);
}

void LZWStringTable::ClearTable(int codeSize) {
    numStrings_ = 0;
    std::fill_n(strHsh_.get(), HASHSIZE, HASH_FREE);
    std::fill_n(slotKey_.get(), HASHSIZE, FREE_KEY);
    std::fill_n(lastChild_.get(), MAXSTR, NO_CHILD);
    const int roots = (1 << codeSize) + RES_CODES;
    for (int q = 0; q < roots; ++q) AddCharString(NEXT_FIRST, q & 0xFF);
}
