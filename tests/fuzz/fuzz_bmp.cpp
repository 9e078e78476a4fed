// Fuzz target: the BMP reader on arbitrary bytes, read from a memory stream.
// A picture it accepts must be as large as its header says and hold values
// from 0 to 1; everything else must be refused without a crash or a leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/bmp_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (f == nullptr) return 0;
    Image* image = imgReadBMPStream(f);
    std::fclose(f);
    if (image != nullptr) {
        if (image->width <= 0 || image->height <= 0) std::abort();
        // Every pixel byte came from the file, so the picture cannot be
        // larger than the input.
        if (static_cast<uint64_t>(image->width) * image->height * 3 > size) std::abort();
        const size_t n = imgFloatCount(image);
        for (size_t i = 0; i < n; ++i)
            if (!(image->pixels[i] >= 0.0f && image->pixels[i] <= 1.0f)) std::abort();
    }
    imgDestroy(image);
    return 0;
}
