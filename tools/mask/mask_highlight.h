// Clipped highlights: where two or more channels are saturated in both
// exposures of a pair, the difference of those channels is exactly 0 and the
// pixel's colour is lost (the decoder would break the tie by a fixed channel
// order and set the switches of opposite transitions at opposite ends of the
// highlight). Such pixels carry no colour and are masked like unlit ones.
#pragma once

#include <cstdint>

#include "mask/mask_contrast.h"

// Sets the contrast of every pixel that is clipped in some pair (two or more
// channels at 255 in both its positive and its negative) to 0, so the mask
// takes it at any threshold above 0. Returns the number of such pixels.
uint64_t maskHighlights(const MaskPair* pairs, int count, uint8_t* contrast);
