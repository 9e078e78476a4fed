// The fast path of the camera sequence: one camera view (one angle, one
// camera) from its eight photographs to its CorrespondenceTable.
//
// Each positive and negative exposure are read side by side straight into
// the stripe classes of their difference (imgPairOpen, bcslClassifyPairRow), and
// the four class maps are decoded into the table row by row
// (bcslFileViewCrossings). The table is exactly the one the camera sequence
// of images fills, with a byte a pixel held per pattern instead of images of
// floats.
//
// The fast path is silent: it fills the table only when every photograph
// loads and all eight have one size, which is when the camera sequence
// succeeds without a word. Otherwise it says so, and the driver runs the
// camera sequence itself, whose stages name the fault in their usual order.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/correspondence.h"
#include "image/bmp_pair.h"

// What one worker reuses from view to view: the open pair and four class maps.
struct ScanViewWork {
    ImgPairReader reader;
    std::vector<uint8_t> classes;  // four maps of width x height bytes
    int32_t width = 0, height = 0;  // the picture size of the view last decoded
};

// Clears `table` and fills it with the view's crossings, and sets the work's
// width and height to the view's picture size; false (the table and size
// then meaning nothing) when the view must take the camera sequence.
bool scanDecodeView(int camera, int32_t angle, ScanViewWork* work, CorrespondenceTable* table);
