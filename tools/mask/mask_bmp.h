// Where the pixels of a 24-bit BMP photograph lie in its bytes, found by the
// same rules the scanner's reader follows, so the mask can change bytes in
// place and the scanner reads exactly the changed values.
//
// The rules: the 12-byte core header (16-bit sizes, headers 26 bytes long) or
// the usual one (headers 54 bytes long); 24 bits a pixel; rows padded to a
// multiple of 4 bytes; the pixel offset at byte 10 counts when it lies behind
// the headers and the rows fit behind it, else the rows follow the headers;
// a negative height stores the rows top down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct MaskBmpLayout {
    int32_t width = 0;
    int32_t height = 0;   // always positive
    uint64_t stride = 0;  // bytes a stored row
    uint64_t offset = 0;  // of the first stored row
    bool topDown = false;
};

// The layout of the file held in bytes[0 .. size). False, with a short reason
// in *error, when the scanner's reader would refuse the file.
bool maskBmpLayout(const unsigned char* bytes, size_t size, MaskBmpLayout* layout,
                   std::string* error);

// Byte offset of picture row y (row 0 as the reader loads it: the first
// stored row of a bottom-up file, the last of a top-down one).
inline uint64_t maskBmpRow(const MaskBmpLayout& layout, int32_t y) {
    const int32_t stored = layout.topDown ? layout.height - 1 - y : y;
    return layout.offset + static_cast<uint64_t>(stored) * layout.stride;
}
