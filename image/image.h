// Image: the picture record that every stage hands to the next.
//
// A photograph, the difference of two exposures and a picture of marked stripe
// boundaries are all Images: width x height pixels of three floats (red, green,
// blue). Pixel (x, y) starts at pixels[3 * (y * width + x)]; row 0 is the first
// row stored in the BMP file (the bottom row of a bottom-up picture).
//
// Ownership: whoever receives an Image from imgCreate or a stage owns it and
// releases it with imgDestroy. No stage keeps a reference to an image.
#pragma once

#include <cstddef>
#include <cstdint>

struct Image {
    int32_t width;
    int32_t height;
    float* pixels;  // width * height * 3 floats, owned by the record
};

// A new image whose pixel values are unset. Negative sizes and sizes whose
// buffer cannot be allocated give one line on stderr and nullptr. An image
// with no pixels has a null buffer.
Image* imgCreate(int32_t width, int32_t height);

// Releases the buffer (when not null) and then the record; nullptr is ignored.
void imgDestroy(Image* image);

// Number of floats in the pixel buffer of an image of this size.
inline size_t imgFloatCount(const Image* image) {
    return static_cast<size_t>(image->width) * static_cast<size_t>(image->height) * 3u;
}
