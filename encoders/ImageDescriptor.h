#pragma once
// The 10-byte GIF image descriptor. With separator ';' and a zero size it also
// serves as the record that ends our LZW streams.

#include "encoders/OutputStream.h"

#include <cstdint>

class ImageDescriptor {
public:
    // At position (0, 0), no local colour table, not interlaced.
    ImageDescriptor(int width, int height, char separator);

    // The setters OR their bits into the packed byte; they never clear bits.
    void SetLocalColorTableSize(int num);
    void SetReserved(int num);
    void SetSortFlag(int num);
    void SetInterlaceFlag(int num);
    void SetLocalColorTableFlag(int num);

    uint8_t PackedByte() const { return byte_; }
    void Write(OutputStream& output) const;

private:
    uint8_t separator_;
    int leftPosition_ = 0;
    int topPosition_ = 0;
    int width_;
    int height_;
    uint8_t byte_ = 0;
};
