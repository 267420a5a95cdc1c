#include "encoders/BitFile.h"

void BitFile::WriteBlock() {
    buffer_[0] = static_cast<uint8_t>(index_);
    output_.write(buffer_, static_cast<size_t>(index_) + 1);
    index_ = 0;
}

void BitFile::Flush() {
    if (pendingBits_ > 0) {
        buffer_[1 + index_++] = static_cast<uint8_t>(pending_);
        pending_ = 0;
        pendingBits_ = 0;
    }
    if (index_ > 0) WriteBlock();
}
