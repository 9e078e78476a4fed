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
// pattern 1 keeps a colour other than the run colour. The step itself is in
// decode/line_step.h.
#pragma once

#include "decode/line_step.h"  // StripeColor, classifyStripeColor and the step
#include "image/image.h"

// Rows, in increasing x. Pattern 1's difference first, then pattern 2's; both
// of the same size. A null input or inputs of different sizes give one line on
// stderr and nullptr.
Image* bcslDecodeVertical(const Image* pattern1, const Image* pattern2);

// Columns, in increasing y; otherwise as bcslDecodeVertical.
Image* bcslDecodeHorizontal(const Image* pattern1, const Image* pattern2);
