// Boundaries across masked pixels, a repair of the class lines the mask
// makes before it rewrites the photographs; the repairs the dense mode makes
// too (switches one pixel apart, stale changes) are in decode/line_repair.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/line_repair.h"

// Boundaries on masked pixels. Where a pixel of no colour (too faint in some
// pair, or clipped) lies between two stripes in one pattern or both, the
// decoder marks nothing next to it and the boundary is lost, though both
// patterns show their change across it. Where the change is the neighbour of
// the boundary before it along the line (no edge of an object in front of
// another), the pixel takes the colour before it in the pattern where it has
// none, so the boundary is marked on the pixel after it (wider gaps cost more
// accuracy than they give points). The moves of pattern 1 go to `moves1`,
// those of pattern 2 to `moves2`.
void maskBridgeGaps(uint8_t* c1, uint8_t* c2, int width, int height, bool vertical,
                    std::vector<BcslMove>* moves1, std::vector<BcslMove>* moves2);
