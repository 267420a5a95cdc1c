#include "encoders/ScreenDescriptor.h"

#include "encoders/BitUtils.h"

ScreenDescriptor::ScreenDescriptor(int width, int height, int numColors)
    : localScreenWidth_(width), localScreenHeight_(height) {
    SetGlobalColorTableSize(BitUtils::BitsNeeded(numColors) - 1);
    SetGlobalColorTableFlag(1);
    SetSortFlag(0);
    SetColorResolution(7);
}

void ScreenDescriptor::SetGlobalColorTableSize(int num) { byte_ |= (num & 7); }
void ScreenDescriptor::SetColorResolution(int num) { byte_ |= (num & 7) << 4; }
void ScreenDescriptor::SetSortFlag(int num) { byte_ |= (num & 1) << 3; }
void ScreenDescriptor::SetGlobalColorTableFlag(int num) { byte_ |= (num & 1) << 7; }

void ScreenDescriptor::Write(OutputStream& output) const {
    BitUtils::WriteWord(output, localScreenWidth_);
    BitUtils::WriteWord(output, localScreenHeight_);
    const uint8_t tail[3] = {byte_, backgroundColorIndex_, pixelAspectRatio_};
    output.write(tail, 3);
}
