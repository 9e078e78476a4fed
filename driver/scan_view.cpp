#include "driver/scan_view.h"

#include <new>

#include "decode/view_crossings.h"
#include "image/scan_layout.h"

namespace {

// The classes of the difference of photographs `read` and `read` + 1 into
// map `pattern` (0 to 3) of the work; false when the pair cannot be read or
// differs in size from the view's first pair (`width` and `height`, set by
// the first pair).
bool classifyPair(int camera, int32_t angle, int read, int pattern, ScanViewWork* work,
                  int32_t* width, int32_t* height) {
    const std::string positive = scanPhotographPath(read, camera, angle);
    const std::string negative = scanPhotographPath(read + 1, camera, angle);
    ImgPairReader* reader = &work->reader;
    if (!imgPairOpen(reader, positive.c_str(), negative.c_str())) return false;
    const int32_t w = reader->layout.width;
    const int32_t h = reader->layout.height;
    if (pattern == 0) {
        *width = w;
        *height = h;
        const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
        if (work->classes.size() < 4 * pixels) work->classes.resize(4 * pixels);
    } else if (w != *width || h != *height) {
        return false;
    }
    const size_t pw = static_cast<size_t>(w);
    uint8_t* map = work->classes.data() + static_cast<size_t>(pattern) * pw * static_cast<size_t>(h);
    for (int32_t i = 0; i < h; ++i) {
        const unsigned char* pos = nullptr;
        const unsigned char* neg = nullptr;
        int32_t y = 0;
        if (!imgPairNextRow(reader, &pos, &neg, &y)) return false;
        bcslClassifyPairRow(pos, neg, pw, map + static_cast<size_t>(y) * pw);
    }
    imgPairClose(reader);
    return true;
}

}  // namespace

bool scanDecodeView(int camera, int32_t angle, ScanViewWork* work, CorrespondenceTable* table) {
    clearCorrespondenceTable(table);
    int32_t width = 0, height = 0;
    for (int pattern = 0; pattern < 4; ++pattern) {
        bool read = false;
        try {
            read = classifyPair(camera, angle, 2 * pattern + 1, pattern, work, &width, &height);
        } catch (const std::bad_alloc&) {
            // No memory for the class maps: the camera sequence will say so.
        }
        if (!read) {
            imgPairClose(&work->reader);
            return false;
        }
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const uint8_t* maps = work->classes.data();
    bcslFileViewCrossings(maps, maps + pixels, maps + 2 * pixels, maps + 3 * pixels, width,
                          height, table);
    work->width = width;
    work->height = height;
    return true;
}
