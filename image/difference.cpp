#include "image/difference.h"

#include <cstdio>

#include "image/memory_hints.h"

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
    size_t i = 0;
#if defined(__SSE2__)
    // Four channels at a time (each still one single-precision subtraction),
    // stored past the cache: the difference is read again only by the decoder,
    // after the next pair of photographs, and a streaming store saves reading
    // every line of the new buffer in before overwriting it.
    for (; i < n && !imgStreamable(d + i); ++i) d[i] = a[i] - b[i];
    for (; i + 4 <= n; i += 4) {
        _mm_stream_ps(d + i, _mm_sub_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
    }
    imgStreamFence();
#endif
    for (; i < n; ++i) d[i] = a[i] - b[i];
    return out;
}
