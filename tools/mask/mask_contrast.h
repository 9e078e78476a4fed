// The contrast mask of one camera view (one angle, one camera).
//
// A pixel carries stripe signal when its positive and negative exposures
// differ clearly in every one of the view's four pairs. Its contrast is the
// smallest, over the pairs, of the largest channel of |positive - negative|
// (bytes, 0 to 255). Pixels whose contrast is below the threshold are masked:
// their negative bytes become the positive's in every pair, so each difference
// is exactly zero there, a pixel of no colour that the decoder never marks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/bmp_layout.h"

// One positive/negative exposure pair held in memory. The negative is the one
// the mask changes.
struct MaskPair {
    const unsigned char* positive;
    ImgBmpLayout positiveLayout;
    unsigned char* negative;
    ImgBmpLayout negativeLayout;
};

// The contrast of every pixel of the pairs (all of the same width and height)
// into contrast[y * width + x].
void maskContrast(const MaskPair* pairs, int count, uint8_t* contrast);

// The number of pixels of each contrast value.
void maskHistogram(const uint8_t* contrast, size_t pixels, uint64_t histogram[256]);

// Otsu's threshold of the histogram: the first value of the upper class that
// best separates two classes; 0 for an empty histogram or a single value.
int maskOtsu(const uint64_t histogram[256]);

// The automatic threshold of a view from its contrast histogram, in the tail
// of the peak of unlit pixels (the highest value below Otsu's threshold):
// halfway between where the peak has fallen to a hundredth of its height and
// where its tail ends (past half its height, the tail stops falling by more
// than a tenth a value, two values compared at a time). 1 when the peak is
// the value 0 alone (no noise); 0 for an empty histogram.
int maskAutoThreshold(const uint64_t histogram[256]);

// Masks the pixels whose contrast is below `threshold` in the pair: their
// negative pixel bytes become the positive's. Returns the number of bytes
// that changed (0: the negative is as it was).
uint64_t maskApply(const MaskPair& pair, const uint8_t* contrast, int threshold);
