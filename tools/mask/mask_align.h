// Switches of the two patterns one pixel apart. At every stripe boundary both
// patterns change colour, and the decoder marks a boundary only where they
// change at the same pixel, or where pattern 2 changes after pattern 1 (the
// change waits for it). Where pattern 2 changes one pixel before pattern 1,
// as blur, crosstalk or the albedo easily make it, the boundary is lost or
// filed under the next one's code. Such a pattern-2 switch is moved onto
// pattern 1's pixel; nothing is moved where either pattern changes again
// nearby (stripes too narrow to tell the boundaries apart), so no boundary is
// made that both patterns do not show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A pixel whose pattern-2 class is to be that of another pixel.
struct MaskMove {
    size_t pixel, from;
};

// Walks every line (rows for vertical stripes, columns for horizontal ones)
// of the class images c1 (pattern 1) and c2 (pattern 2), width x height,
// moves such pattern-2 switches in c2 and appends each move to `moves`.
void maskAlignSwitches(const uint8_t* c1, uint8_t* c2, int width, int height, bool vertical,
                       std::vector<MaskMove>* moves);

// Stale changes. When pattern 2 shows no change for a whole stripe of
// pattern 1 (at least three pixels), the decoder still holds the colour
// before that stripe and files the next boundary under a code made of it,
// a wrong one. Walking the decoder's rules along every line of c1 and c2,
// this sets the first pixel of every such stripe of pattern 1 to class 0,
// where the decoder lets go of the old colour and takes up the stripe's
// (the boundary into the stripe was lost anyway). Returns the pixels set.
uint64_t maskCutStaleChanges(uint8_t* c1, const uint8_t* c2, int width, int height, bool vertical);

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
                    std::vector<MaskMove>* moves1, std::vector<MaskMove>* moves2);
