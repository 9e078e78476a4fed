// Repairs of the class lines the boundary decoder's walk (decode/line_step.h)
// reads, where the photographs show a boundary the walk would lose or misfile.
//
// At every stripe boundary both patterns change colour, and the walk marks a
// boundary only where they change at the same pixel, or where pattern 2
// changes after pattern 1 (the change waits for it). Two things that blur,
// crosstalk or the albedo easily cause defeat it; both rules below act on
// the classes only, so the walk itself, its classes and its code table stay
// the decoder's own. The mask (slscan-mask) applies them to the photographs
// it rewrites, so that plain slscan marks those boundaries; the dense mode
// applies them to each row's classes before its walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A pixel whose class (in one pattern) is to be that of another pixel.
struct BcslMove {
    size_t pixel, from;
};

// Switches of the two patterns one pixel apart. Where pattern 2 changes one
// pixel before pattern 1, the boundary is lost or filed under the next one's
// code. Such a pattern-2 switch is moved onto pattern 1's pixel; nothing is
// moved where either pattern changes again nearby (stripes too narrow to tell
// the boundaries apart), so no boundary is made that both patterns do not
// show. Walks every line (rows for vertical stripes, columns for horizontal
// ones) of the class images c1 (pattern 1) and c2 (pattern 2), width x
// height, moves such switches in c2 and appends each move to `moves` (when
// not null).
void bcslAlignSwitches(const uint8_t* c1, uint8_t* c2, int width, int height, bool vertical,
                       std::vector<BcslMove>* moves);

// Stale changes. When pattern 2 shows no change for a whole stripe of
// pattern 1 (at least three pixels), the walk still holds the colour before
// that stripe and files the next boundary under a code made of it, a wrong
// one. Walking the decoder's rules along every line of c1 and c2, this sets
// the first pixel of every such stripe of pattern 1 to class 0, where the
// walk lets go of the old colour and takes up the stripe's (the boundary into
// the stripe was lost anyway). Returns the pixels set.
uint64_t bcslCutStaleChanges(uint8_t* c1, const uint8_t* c2, int width, int height, bool vertical);
