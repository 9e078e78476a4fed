#include "image/image.h"

#include <cstdio>
#include <cstdlib>

Image* imgCreate(int32_t width, int32_t height) {
    if (width < 0 || height < 0) {
        std::fprintf(stderr, "imgCreate: invalid picture size %d x %d.\n", width, height);
        return nullptr;
    }
    // width and height are below 2^31, so width * height < 2^62 fits in 64
    // bits; the buffer needs 12 bytes a pixel, which must fit in size_t.
    const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (count > SIZE_MAX / (3 * sizeof(float))) {
        std::fprintf(stderr, "imgCreate: picture %d x %d is too large.\n", width, height);
        return nullptr;
    }
    Image* image = static_cast<Image*>(std::malloc(sizeof(Image)));
    if (image == nullptr) {
        std::fprintf(stderr, "imgCreate: not enough memory for a %d x %d picture.\n", width, height);
        return nullptr;
    }
    image->width = width;
    image->height = height;
    image->pixels = nullptr;
    if (count > 0) {
        const size_t floats = static_cast<size_t>(count) * 3;
        image->pixels = static_cast<float*>(std::malloc(floats * sizeof(float)));
        if (image->pixels == nullptr) {
            std::fprintf(stderr, "imgCreate: not enough memory for a %d x %d picture.\n", width,
                         height);
            std::free(image);
            return nullptr;
        }
    }
    return image;
}


void imgDestroy(Image* image) {
    if (image == nullptr) return;
    std::free(image->pixels);
    std::free(image);
}
