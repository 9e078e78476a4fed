// The BCSL boundary code: three colours, two patterns, 36 boundaries.
//
// Both projected patterns change colour at every stripe boundary. The colours
// of the two patterns before a boundary, with the direction of each change in
// the cycle red -> green -> blue -> red, name the boundary as one of 36 codes.
//
// The table and the arithmetic are constexpr so that the decoders' step
// (decode/line_step.h) can hold every code in a table made at compile time
// from this one rule; bcslCode is the checked entry for everything else.
#pragma once

#include <cstdint>

// Colours as the decoder classifies them (see StripeColor in line_step.h).
enum : int { kBcslRed = 1, kBcslGreen = 2, kBcslBlue = 3 };

constexpr int kBcslCodes = 36;

// Index: 12 * (pattern-1 colour before - 1) + 4 * (pattern-2 colour before - 1)
//        + 2 * (pattern-1 step) + (pattern-2 step).
// Boundary k of the two 37-stripe sequences lies at the cell indexed by the
// colours of stripe k and the steps to stripe k + 1, so that a line crossing
// the stripes in order meets the codes 0, 1, ..., 35.
inline constexpr int32_t bcslCodeTable[kBcslCodes] = {
    0,  3,  6,  9,  14, 17, 19, 11, 28, 34, 22, 24, 26, 29, 18, 21, 1,  31,
    33, 35, 15, 4,  8,  13, 16, 23, 32, 12, 27, 5,  7,  25, 2,  10, 20, 30,
};

// 0 when `after` follows `before` in the cycle red, green, blue, red; 1 when it
// precedes it. Both are colours 1 to 3 and differ.
constexpr int bcslStep(int before, int after) {
    const int d = after - before;
    return d > 0 ? d - 1 : d + 2;
}

// The code of a boundary whose four colours are valid: 1 to 3, pattern 1's
// pair different, pattern 2's pair different. Arguments as for bcslCode.
constexpr int bcslCodeOfValid(int p1Before, int p1After, int p2After, int p2Before) {
    return bcslCodeTable[12 * (p1Before - 1) + 4 * (p2Before - 1) + 2 * bcslStep(p1Before, p1After) +
                         bcslStep(p2Before, p2After)];
}

// The code 0 to 35 of a boundary, from pattern 1's colours before and after it
// and pattern 2's colours after and before it (pattern 2's pair reversed).
// A colour outside 1 to 3, or a pair of equal colours, prints
// "Error: invalid BCSL color" once on stdout and gives -1.
int bcslCode(int p1Before, int p1After, int p2After, int p2Before);
