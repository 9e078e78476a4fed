// Reads the positive and the negative exposure of one pattern side by side,
// straight into their difference, without making an Image of either.
//
// The scan's fast path needs only the difference of each pair, and only row by
// row; reading both files a block of rows at a time and subtracting as the
// bytes are converted saves writing two full images of floats and reading
// them back. Each channel is computed exactly as imgReadBMP and imgDifference
// compute it: byte / 255 in double rounded to float, then one
// single-precision subtraction, positive minus negative.
//
// The reader is silent: it says only whether the pair can be read. Anything
// imgReadBMP would refuse (a file that is missing, not regular, not a 24-bit
// BMP, too large, too short), two exposures of different sizes or of
// different row orders, and a read that comes up short all give false; the
// caller then takes the slow path, whose stages name the fault.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/bmp_layout.h"

struct ImgPairReader {
    std::FILE* files[2] = {nullptr, nullptr};  // positive, negative
    ImgBmpLayout layout;                        // of both files
    std::vector<unsigned char> block;           // rows of the positive, then of the negative
    size_t rowsPerBlock = 0;
    size_t rowsInBlock = 0;  // rows read into the block
    size_t nextInBlock = 0;  // next of them to convert
    int32_t fileRow = 0;     // stored row of the next row converted
};

// Opens both files and checks their headers; false when the pair cannot be
// read as a difference. The reader is closed either way by imgPairClose.
bool imgPairOpen(ImgPairReader* reader, const char* positive, const char* negative);

// The next stored row of the difference, as three planar rows of width floats
// (red, green, blue), and its row number y in the Image the reader would
// make. False when the files end early.
bool imgPairNextRow(ImgPairReader* reader, float* red, float* green, float* blue, int32_t* y);

// Closes what is open; the reader can be opened again. The block is kept.
void imgPairClose(ImgPairReader* reader);
