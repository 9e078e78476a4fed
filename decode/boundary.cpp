#include "decode/boundary.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "image/memory_hints.h"

namespace {

int classAt(const float* pixels, size_t pixel) {
    const float* p = pixels + 3 * pixel;
    return classifyStripeColor(p[0], p[1], p[2]);
}

// One position of a line: `cur` and `prev` are the pixel indices of this
// position and the one before it on the line; a mark goes to `mark`, the
// pixel's three channels in the output row. Pattern 2 is classified only
// where pattern 1 leaves the run colour.
inline void walkPosition(const float* p1, const float* p2, float* mark, size_t cur, size_t prev,
                         BcslLine* line) {
    const int c = classAt(p1, cur);
    if (!bcslLineChanges(line, c)) return;
    const int code = bcslLineMark(line, c, classAt(p2, prev), classAt(p2, cur));
    if (code < 0) return;
    mark[0] = 1.0f;
    mark[1] = 1.0f;
    mark[2] = static_cast<float>(code / 255.0);
}

// The output, its rows still unset (the walk writes every row), or nullptr
// after a message when the inputs are unfit.
Image* prepare(const char* name, const Image* pattern1, const Image* pattern2) {
    if (pattern1 == nullptr || pattern2 == nullptr) {
        std::fprintf(stderr, "%s: missing input image.\n", name);
        return nullptr;
    }
    if (pattern1->width != pattern2->width || pattern1->height != pattern2->height) {
        std::fprintf(stderr, "%s: images of different sizes (%d x %d and %d x %d).\n", name,
                     pattern1->width, pattern1->height, pattern2->width, pattern2->height);
        return nullptr;
    }
    return imgCreate(pattern1->width, pattern1->height);
}

// The output is built a row at a time in a small buffer that stays in cache,
// zeros and marks alike, and then written out once.
class RowWriter {
public:
    explicit RowWriter(Image* out) : out_(out), row_(3 * static_cast<size_t>(out->width)) {}
    float* row() { return row_.data(); }
    void clear() { std::fill(row_.begin(), row_.end(), 0.0f); }
    void flush(size_t y) { imgStreamCopy(out_->pixels + y * row_.size(), row_.data(), row_.size()); }
    ~RowWriter() { imgStreamFence(); }

private:
    Image* out_;
    std::vector<float> row_;
};

}  // namespace

Image* bcslDecodeVertical(const Image* pattern1, const Image* pattern2) {
    Image* out = prepare("bcslDecodeVertical", pattern1, pattern2);
    if (out == nullptr) return nullptr;
    const size_t width = static_cast<size_t>(out->width);
    const size_t height = static_cast<size_t>(out->height);
    if (width == 0) return out;
    RowWriter writer(out);
    // Plain pointers: through the structs the compiler would reload them after
    // every store to the row.
    const float* p1 = pattern1->pixels;
    const float* p2 = pattern2->pixels;
    float* marks = writer.row();
    for (size_t y = 0; y < height; ++y) {
        const size_t row = y * width;
        writer.clear();
        BcslLine line = bcslLineStart(classAt(p1, row));
        for (size_t x = 1; x < width; ++x) {
            imgPrefetch(p1 + 3 * (row + x) + 384);
            walkPosition(p1, p2, marks + 3 * x, row + x, row + x - 1, &line);
        }
        writer.flush(y);
    }
    return out;
}

Image* bcslDecodeHorizontal(const Image* pattern1, const Image* pattern2) {
    Image* out = prepare("bcslDecodeHorizontal", pattern1, pattern2);
    if (out == nullptr) return nullptr;
    const size_t width = static_cast<size_t>(out->width);
    const size_t height = static_cast<size_t>(out->height);
    if (height == 0) return out;
    // The columns are independent lines. They are walked side by side, one row
    // at a time, each with its own line state, so that memory is read in the
    // order it is stored; every column still sees its positions in order.
    if (width == 0) return out;
    RowWriter writer(out);
    const float* p1 = pattern1->pixels;
    const float* p2 = pattern2->pixels;
    float* marks = writer.row();
    std::vector<BcslLine> lines(width);
    BcslLine* line = lines.data();
    for (size_t x = 0; x < width; ++x) line[x] = bcslLineStart(classAt(p1, x));
    writer.clear();
    writer.flush(0);  // the first position of every column is never marked
    for (size_t y = 1; y < height; ++y) {
        const size_t row = y * width;
        writer.clear();
        for (size_t x = 0; x < width; ++x) {
            imgPrefetch(p1 + 3 * (row + x) + 384);
            walkPosition(p1, p2, marks + 3 * x, row + x, row - width + x, &line[x]);
        }
        writer.flush(y);
    }
    return out;
}
