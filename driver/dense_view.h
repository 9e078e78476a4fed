// Reads one camera view's vertical-stripe photographs into its sub-pixel
// boundary marks, for the dense mode.
//
// Only the four vertical photographs are read (pattern 1 and 2, positive and
// negative): the horizontal stripes carry no depth on a rig whose projector
// sits on the camera baseline. The two pairs are read side by side a row at
// a time and each row walked at once (denseRowMarks, which classifies the
// bytes and forms the differences, exactly as the camera sequence forms them,
// only around the boundaries), so no image of the view is ever held.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/dense_marks.h"
#include "image/bmp_pair.h"

// What one worker reuses from view to view.
struct DenseViewWork {
    ImgPairReader readers[2];      // pattern 1, pattern 2
    DenseRowWork row;
};

// Decodes the view of `camera` (1 or 2) at `angle` into `marks`; photographs
// must be `width` x `height`. False with a one-line *error naming the
// photograph at fault.
bool denseDecodeView(int camera, int32_t angle, int32_t width, int32_t height,
                     DenseViewWork* work, DenseMarks* marks, std::string* error);
