// imgDifference: positive exposure minus negative exposure, channel by channel.
//
// The result is a new Image of the positive's size, each channel a
// single-precision subtraction with no clamping, scaling or absolute value
// (values from -1 to 1 for photographs). A null input or inputs of different
// sizes give one line on stderr and nullptr.
#pragma once

#include "image/image.h"

Image* imgDifference(const Image* positive, const Image* negative);
