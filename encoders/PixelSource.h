#pragma once
// What the encoders take as an image: its size and its pixels as 0xAARRGGBB.

#include <cstdint>

class PixelSource {
public:
    // Status bit of a grab that was aborted or failed.
    static constexpr int GRAB_ABORTED = 128;

    virtual ~PixelSource() = default;
    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
    // Stores pixel (x + i, y + j) at dst[offset + j * scan + i]. Returns false
    // on failure, with a status word in *status (bit GRAB_ABORTED set when the
    // grab was aborted); *status is 0 on success. status may be null.
    virtual bool grabPixels(int x, int y, int w, int h, uint32_t* dst, int offset, int scan,
                            int* status) const = 0;
    // The pixel rows where they lie (getWidth() values apart, top row first),
    // for an encoder that can read them without a copy; null when the source
    // has no such rows and must be grabbed.
    virtual const uint32_t* data() const { return nullptr; }
};
