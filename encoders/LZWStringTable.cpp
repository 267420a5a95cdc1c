#include "encoders/LZWStringTable.h"

#include <algorithm>

LZWStringTable::LZWStringTable()
    : strChr_(new uint8_t[MAXSTR]()),
      strNxt_(new int16_t[MAXSTR]()),
      strHsh_(new int16_t[HASHSIZE]) {
    std::fill_n(strHsh_.get(), HASHSIZE, HASH_FREE);
}

void LZWStringTable::ClearTable(int codeSize) {
    numStrings_ = 0;
    std::fill_n(strHsh_.get(), HASHSIZE, HASH_FREE);
    const int roots = (1 << codeSize) + RES_CODES;
    for (int q = 0; q < roots; ++q) AddCharString(NEXT_FIRST, q & 0xFF);
}
