#include "mask/mask_highlight.h"

uint64_t maskHighlights(const MaskPair* pairs, int count, uint8_t* contrast) {
    if (count <= 0) return 0;
    const int32_t width = pairs[0].positiveLayout.width;
    const int32_t height = pairs[0].positiveLayout.height;
    uint64_t clipped = 0;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* c = contrast + static_cast<size_t>(y) * width;
        for (int k = 0; k < count; ++k) {
            const unsigned char* p = pairs[k].positive + imgBMPRow(pairs[k].positiveLayout, y);
            const unsigned char* n = pairs[k].negative + imgBMPRow(pairs[k].negativeLayout, y);
            for (int32_t x = 0; x < width; ++x) {
                const size_t i = 3 * static_cast<size_t>(x);
                const int both = (p[i] == 255 && n[i] == 255) + (p[i + 1] == 255 && n[i + 1] == 255) +
                                 (p[i + 2] == 255 && n[i + 2] == 255);
                if (both >= 2 && c[x] != 0) {
                    c[x] = 0;
                    ++clipped;
                }
            }
        }
    }
    return clipped;
}
