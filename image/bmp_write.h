// imgWriteBMP: the reader's counterpart, for the tools and the tests.
//
// Writes an uncompressed 24-bit bottom-up BMP with the 54-byte header: image
// row 0 becomes the first stored row, each channel becomes the byte
// round(clamp(v, 0, 1) * 255). Returns false, after one line on stderr, when
// the file cannot be written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

bool imgWriteBMP(const char* path, const Image* image);

// The file image of a 24-bit BMP with the given stored rows (already in
// blue, green, red order and padded to `stride`), for tests that need files
// the writer would never produce. height may be negative (top-down).
std::vector<unsigned char> imgBMPBytes(int32_t width, int32_t height,
                                       const std::vector<unsigned char>& rows,
                                       uint16_t bitCount = 24, uint32_t pixelOffset = 54);
