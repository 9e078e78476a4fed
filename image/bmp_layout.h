// Where the pixels of a 24-bit BMP file lie in its bytes: the rules the
// reader follows, in one place, so that a tool which changes pixel bytes in
// place (the contrast mask) changes exactly the bytes the reader will load.
//
// The rules: the 12-byte core header of old files (16-bit sizes, bit count at
// 24, headers 26 bytes long) or the usual one (headers 54 bytes long); 24 bits
// a pixel; rows padded to a multiple of 4 bytes; the pixel offset at byte 10
// counts when it lies behind the headers and the rows fit behind it in the
// file, else the rows follow the headers; a negative height stores the rows
// top down.
#pragma once

#include <array>

#include <cstddef>
#include <cstdint>

struct ImgBmpLayout {
    int32_t width = 0;
    int32_t rawHeight = 0;   // as stored: negative for top-down rows
    int32_t height = 0;      // always positive
    bool topDown = false;
    uint64_t headersEnd = 0; // 26 or 54
    uint64_t stride = 0;     // bytes a stored row
    uint64_t offset = 0;     // of the first stored row (imgBMPPlaceRows)
};

enum class ImgBmpHeader {
    kOk,
    kNot24Bits,    // too short to hold the bit count, or a bit count other than 24
    kBadSize,      // width <= 0, height 0 or the smallest int32
    kShortHeader,  // the file ends inside the headers
};

// Reads the header from the first `got` bytes of the file (at most 54 are
// looked at) into *layout, all but the offset.
ImgBmpHeader imgBMPReadHeader(const unsigned char* header, size_t got, ImgBmpLayout* layout);

// Sets layout->offset for a file of `fileBytes` bytes whose header is
// `header`; false when the file cannot hold the rows.
bool imgBMPPlaceRows(const unsigned char* header, uint64_t fileBytes, ImgBmpLayout* layout);

// Byte offset of picture row y (row 0 as the reader loads it: the first
// stored row of a bottom-up file, the last of a top-down one).
inline uint64_t imgBMPRow(const ImgBmpLayout& layout, int32_t y) {
    const int32_t stored = layout.topDown ? layout.height - 1 - y : y;
    return layout.offset + static_cast<uint64_t>(stored) * layout.stride;
}

// A channel byte as the reader loads it: byte / 255.0 in double, rounded to
// float, for all 256 bytes; built once and never changed.
const std::array<float, 256>& imgBMPByteToFloat();
