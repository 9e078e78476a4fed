// The crossings of one camera view straight from the stripe classes of its
// four pattern differences, without difference or boundary images.
//
// The decoders look at a difference pixel only through its StripeColor, and
// the correspondence table looks at a boundary pixel only through whether it
// is marked and its code. So a view can be held as four maps of one byte a
// pixel (the class of each difference pixel) and decoded row by row into the
// table, the vertical and the horizontal marks of a row side by side. The
// table comes out exactly as bcslDecodeVertical, bcslDecodeHorizontal and
// buildCorrespondenceTable fill it; only the memory traffic differs (one byte
// a pixel instead of twelve, and no image of marks at all).
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/correspondence.h"

// The StripeColor of each of `width` pixels of the difference of a positive
// and a negative byte row (as imgPairNextRow gives them): the class
// classifyStripeColor gives the pixel of imgDifference's image.
void bcslClassifyPairRow(const unsigned char* positive, const unsigned char* negative,
                         size_t width, uint8_t* classes);

// Files the crossings of a view into `table`, as the two decoders and
// buildCorrespondenceTable do on the differences whose classes are given:
// vertical pattern 1 and 2, horizontal pattern 1 and 2, each width x height
// bytes in the row order of an Image. Cells no crossing reaches are left as
// they are.
void bcslFileViewCrossings(const uint8_t* vertical1, const uint8_t* vertical2,
                           const uint8_t* horizontal1, const uint8_t* horizontal2, int32_t width,
                           int32_t height, CorrespondenceTable* table);
