// Boundary decoders: find the stripe boundaries in the pattern differences.
//
// Each decoder walks lines of pixels across the stripes (rows for vertical
// stripes, columns for horizontal ones), follows the dominant colour of
// pattern 1 and marks every pixel at which both patterns change colour. The
// result is a BoundaryImage: zero everywhere except the marked pixels, which
// hold red 1.0, green 1.0 and blue = code / 255 (code 0 to 35).
//
// A change of pattern 1 where pattern 2 cannot be used (it does not change, or
// a pixel has no colour) stays pending: it is marked at the first following
// pixel where pattern 2 changes between two coloured pixels, as long as
// pattern 1 keeps a colour other than the run colour.
#pragma once

#include "image/image.h"

// The class of a difference pixel by its largest channel.
enum StripeColor : int {
    kStripeNone = 0,  // three exactly equal channels
    kStripeRed = 1,
    kStripeGreen = 2,
    kStripeBlue = 3,
};

// Largest channel wins, ties go to the earlier of red, green, blue; only three
// equal channels give kStripeNone. Comparisons are exact.
inline int classifyStripeColor(float r, float g, float b) {
    if (r == g && g == b) return kStripeNone;
    if (r >= g && r >= b) return kStripeRed;
    if (g >= b) return kStripeGreen;
    return kStripeBlue;
}

// Rows, in increasing x. Pattern 1's difference first, then pattern 2's; both
// of the same size. A null input or inputs of different sizes give one line on
// stderr and nullptr.
Image* bcslDecodeVertical(const Image* pattern1, const Image* pattern2);

// Columns, in increasing y; otherwise as bcslDecodeVertical.
Image* bcslDecodeHorizontal(const Image* pattern1, const Image* pattern2);
