// Reads one camera view's vertical-stripe photographs into its sub-pixel
// boundary marks, for the dense mode.
//
// Only the four vertical photographs are read (pattern 1 and 2, positive and
// negative): the horizontal stripes carry no depth on a rig whose projector
// sits on the camera baseline. The two pairs are read side by side a row at
// a time, each row's differences formed exactly as the camera sequence forms
// them (imgPairDifferenceRow) and walked at once (denseRowMarks), so no image
// of the view is ever held.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/dense_marks.h"
#include "image/bmp_pair.h"

// What one worker reuses from view to view.
struct DenseViewWork {
    ImgPairReader readers[2];      // pattern 1, pattern 2
    std::vector<float> channels;   // six planar rows: pattern 1 r, g, b, pattern 2 r, g, b
    DenseRowWork row;
};

// Decodes the view of `camera` (1 or 2) at `angle` into `marks`; photographs
// must be `width` x `height`. False with a one-line *error naming the
// photograph at fault.
bool denseDecodeView(int camera, int32_t angle, int32_t width, int32_t height,
                     DenseViewWork* work, DenseMarks* marks, std::string* error);
