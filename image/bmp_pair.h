// Reads the positive and the negative exposure of one pattern side by side,
// row by row, for their difference, without making an Image of either.
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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The next stored row of both files, as their bytes (blue, green, red a
// pixel; at least 16 bytes may be loaded from any pixel of the row), and its
// row number y in the Image the reader would make. False when the files end
// early.
bool imgPairNextRow(ImgPairReader* reader, const unsigned char** positive,
                    const unsigned char** negative, int32_t* y);

// The difference of `width` pixels of a positive and a negative byte row as
// three planar rows of floats: exactly the channels imgDifference gives for
// the two images imgReadBMP makes of them.
void imgPairDifferenceRow(const unsigned char* positive, const unsigned char* negative,
                          int32_t width, float* red, float* green, float* blue);

#if defined(__SSE2__)
// The difference of four pixels (12 bytes of each row, 16 loaded) as planar
// red, green and blue lanes. A float division by 255 gives, for every byte,
// exactly the double quotient rounded to float (as in imgReadBMP), and each
// lane is one single-precision subtraction.
inline void imgPairDifference4(__m128i positive, __m128i negative, __m128* red, __m128* green,
                               __m128* blue) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 scale = _mm_set1_ps(255.0f);
    // b0 g0 r0 b1 | g1 r1 b2 g2 | r2 b3 g3 r3 of each row.
    const __m128i plo = _mm_unpacklo_epi8(positive, zero), phi = _mm_unpackhi_epi8(positive, zero);
    const __m128i nlo = _mm_unpacklo_epi8(negative, zero), nhi = _mm_unpackhi_epi8(negative, zero);
    const __m128 d0 = _mm_sub_ps(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(plo, zero)), scale),
                                 _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(nlo, zero)), scale));
    const __m128 d1 = _mm_sub_ps(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(plo, zero)), scale),
                                 _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(nlo, zero)), scale));
    const __m128 d2 = _mm_sub_ps(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(phi, zero)), scale),
                                 _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(nhi, zero)), scale));
    // Into planes: blue (d0[0], d0[3], d1[2], d2[1]), green (d0[1], d1[0],
    // d1[3], d2[2]), red (d0[2], d1[1], d2[0], d2[3]).
    const __m128 b12 = _mm_shuffle_ps(d1, d2, _MM_SHUFFLE(0, 1, 0, 2));
    const __m128 g01 = _mm_shuffle_ps(d0, d1, _MM_SHUFFLE(0, 0, 0, 1));
    const __m128 g12 = _mm_shuffle_ps(d1, d2, _MM_SHUFFLE(0, 2, 0, 3));
    const __m128 r01 = _mm_shuffle_ps(d0, d1, _MM_SHUFFLE(0, 1, 0, 2));
    const __m128 r22 = _mm_shuffle_ps(d2, d2, _MM_SHUFFLE(0, 3, 0, 0));
    *blue = _mm_shuffle_ps(d0, b12, _MM_SHUFFLE(2, 0, 3, 0));
    *green = _mm_shuffle_ps(g01, g12, _MM_SHUFFLE(2, 0, 2, 0));
    *red = _mm_shuffle_ps(r01, r22, _MM_SHUFFLE(2, 0, 2, 0));
}
#endif

// Closes what is open; the reader can be opened again. The block is kept.
void imgPairClose(ImgPairReader* reader);
