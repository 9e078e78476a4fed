#include "decode/correspondence.h"

#include <cstdio>
#include <cstring>

namespace {

// A pixel counts as marked when its red is above 0.001 (single precision).
constexpr float kMarked = 0.001f;

// The code carried in a blue channel, or -1 when it is not 0 to 35. The
// integer part of blue * 255 + 0.5 is taken in double; the range is tested
// before the conversion, which is undefined for values an int cannot hold.
int codeOf(float blue) {
    const double v = static_cast<double>(blue) * 255.0 + 0.5;
    if (!(v > -1.0 && v < 36.0)) return -1;
    return static_cast<int>(v);
}

}  // namespace

void clearCorrespondenceTable(CorrespondenceTable* table) {
    std::memset(table, 0xFF, sizeof *table);
}

void buildCorrespondenceTable(const Image* vertical, const Image* horizontal,
                              CorrespondenceTable* table) {
    if (vertical == nullptr || horizontal == nullptr) {
        std::fputs("buildCorrespondenceTable: missing boundary image.\n", stderr);
        return;
    }
    if (vertical->width != horizontal->width || vertical->height != horizontal->height) {
        std::fprintf(stderr,
                     "buildCorrespondenceTable: boundary images of different sizes "
                     "(%d x %d and %d x %d).\n",
                     vertical->width, vertical->height, horizontal->width, horizontal->height);
        return;
    }
    const int32_t width = vertical->width;
    const int32_t height = vertical->height;
    CorrespondenceFiling filing;
    correspondenceFilingStart(&filing, table);
    for (int32_t y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(width);
        const int k = correspondenceHalf(y, height);
        for (int32_t x = 0; x < width; ++x) {
            const float* vp = vertical->pixels + 3 * (row + static_cast<size_t>(x));
            if (!(vp[0] > kMarked)) continue;
            const float* hp = horizontal->pixels + 3 * (row + static_cast<size_t>(x));
            if (!(hp[0] > kMarked)) continue;
            const int v = codeOf(vp[2]);
            const int h = codeOf(hp[2]);
            if (v < 0 || h < 0) continue;
            correspondenceFile(&filing, correspondenceCell(v, k, h), x, y);
        }
    }
}
