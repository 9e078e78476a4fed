// The BCSL boundary code: three colours, two patterns, 36 boundaries.
//
// Both projected patterns change colour at every stripe boundary. The colours
// of the two patterns before a boundary, with the direction of each change in
// the cycle red -> green -> blue -> red, name the boundary as one of 36 codes.
#pragma once

#include <cstdint>

// Colours as the decoder classifies them (see StripeColor in boundary.h).
enum : int { kBcslRed = 1, kBcslGreen = 2, kBcslBlue = 3 };

constexpr int kBcslCodes = 36;

// Index: 12 * (pattern-1 colour before - 1) + 4 * (pattern-2 colour before - 1)
//        + 2 * (pattern-1 step) + (pattern-2 step).
extern const int32_t bcslCodeTable[kBcslCodes];

// The code 0 to 35 of a boundary, from pattern 1's colours before and after it
// and pattern 2's colours after and before it (pattern 2's pair reversed).
// A colour outside 1 to 3, or a pair of equal colours, prints
// "Error: invalid BCSL color" once on stdout and gives -1.
int bcslCode(int p1Before, int p1After, int p2After, int p2Before);
