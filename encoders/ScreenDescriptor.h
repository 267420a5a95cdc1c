#pragma once
// The 7-byte logical screen descriptor at the head of a GIF stream.

#include "encoders/OutputStream.h"

#include <cstdint>

class ScreenDescriptor {
public:
    // Global colour table present with numColors entries, colour resolution 7,
    // not sorted, background 0, no aspect ratio.
    ScreenDescriptor(int width, int height, int numColors);

    // The setters OR their bits into the packed byte; they never clear bits.
    void SetGlobalColorTableSize(int num);
    void SetColorResolution(int num);
    void SetSortFlag(int num);
    void SetGlobalColorTableFlag(int num);

    uint8_t PackedByte() const { return byte_; }
    void Write(OutputStream& output) const;

private:
    int localScreenWidth_;
    int localScreenHeight_;
    uint8_t byte_ = 0;
    uint8_t backgroundColorIndex_ = 0;
    uint8_t pixelAspectRatio_ = 0;
};
