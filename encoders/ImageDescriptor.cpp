#include "encoders/ImageDescriptor.h"

#include "encoders/BitUtils.h"

ImageDescriptor::ImageDescriptor(int width, int height, char separator)
    : separator_(static_cast<uint8_t>(separator)), width_(width), height_(height) {
    SetLocalColorTableSize(0);
    SetReserved(0);
    SetSortFlag(0);
    SetInterlaceFlag(0);
    SetLocalColorTableFlag(0);
}

void ImageDescriptor::SetLocalColorTableSize(int num) { byte_ |= (num & 7); }
void ImageDescriptor::SetReserved(int num) { byte_ |= (num & 3) << 3; }
void ImageDescriptor::SetSortFlag(int num) { byte_ |= (num & 1) << 5; }
void ImageDescriptor::SetInterlaceFlag(int num) { byte_ |= (num & 1) << 6; }
void ImageDescriptor::SetLocalColorTableFlag(int num) { byte_ |= (num & 1) << 7; }

void ImageDescriptor::Write(OutputStream& output) const {
    output.write(separator_);
    BitUtils::WriteWord(output, leftPosition_);
    BitUtils::WriteWord(output, topPosition_);
    BitUtils::WriteWord(output, width_);
    BitUtils::WriteWord(output, height_);
    output.write(byte_);
}
