// A corpus of broken and unusual BMP files, made from one small reference
// picture: every header field set to 0, -1 and its largest value, every
// truncation, other bit counts, other header sizes, top-down rows and a
// palette. The hostile-file tests read them all; the fuzzers start from them.
#pragma once

#include <string>
#include <vector>

#include "image/image.h"

struct HostileBmp {
    std::string name;
    std::vector<unsigned char> bytes;
    // When the file is fit to load: the size it loads as and the pixels,
    // row 0 first (the reference picture, or its first stored rows).
    bool loads;
    int width, height;
    std::vector<float> pixels;
    // When it is refused: the one line the reader writes.
    std::string message;
};

std::vector<HostileBmp> hostileBmps();
