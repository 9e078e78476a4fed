// Colour unmixing of one camera view. A camera channel also sees some light
// of the projector primaries meant for the other channels (the filters of a
// sensor leak), unequally, and that moves the pixel at which each pair of
// stripe colours switches by a different amount in the two patterns. The
// differences (positive - negative) of the pixels inside stripes of one
// colour form a cluster; the three cluster means are the columns of the
// view's response C, and U = S C^-1 maps each mean back onto what the
// projector sent, S's column k being +1 in channel k and -1 in the others.
#pragma once

#include <cstdint>

// A view's difference images, one per pair: red, green, blue floats a pixel
// (positive - negative, in bytes), and whether the pair's stripes are
// vertical (lines run along the rows) or horizontal (along the columns).
struct MaskDiffs {
    const float* d[4];
    bool vertical[4];
    int count;
    int width, height;
};

// The decoder's class of a difference (0 none, 1 red, 2 green, 3 blue).
int maskClass(const float d[3]);

// d := U d for a 3 x 3 matrix stored row by row.
void maskApply3(const double u[9], float d[3]);

// Estimates the unmixing U (row by row) from the pixels whose `usable` flag
// is set (one flag a pixel of each pair, pair after pair) and whose two
// neighbours along their line fall in the same class,
// reassigning the classes with the estimate a few times. `response` gets C S^-1,
// each column divided by its diagonal (rows: camera channels, columns:
// primaries; the identity for a camera without crosstalk). False when a
// colour has too few pixels or the means do not span the colours.
bool maskEstimateUnmix(const MaskDiffs& diffs, const uint8_t* usable, double unmix[9],
                       double response[9]);
