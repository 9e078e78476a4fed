#include "image/difference.h"

#include <cstdio>

Image* imgDifference(const Image* positive, const Image* negative) {
    if (positive == nullptr || negative == nullptr) {
        std::fputs("imgDifference: missing input image.\n", stderr);
        return nullptr;
    }
    if (positive->width != negative->width || positive->height != negative->height) {
        std::fprintf(stderr, "imgDifference: images of different sizes (%d x %d and %d x %d).\n",
                     positive->width, positive->height, negative->width, negative->height);
        return nullptr;
    }
    Image* out = imgCreate(positive->width, positive->height);
    if (out == nullptr) return nullptr;
    // Same size, same layout: pixel (x, y) channel c sits at the same index in
    // all three buffers, so one flat loop does rows, columns and channels.
    const size_t n = imgFloatCount(out);
    const float* a = positive->pixels;
    const float* b = negative->pixels;
    float* d = out->pixels;
    for (size_t i = 0; i < n; ++i) d[i] = a[i] - b[i];
    return out;
}
