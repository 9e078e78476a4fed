// Fuzz target: both boundary decoders and the correspondence table on small
// images built from the input. Values come from a few levels (so that ties
// and uncoloured pixels are common) and from NaN, infinities and signed
// zeros; the table is also fed raw boundary images with arbitrary codes.
// The scan's fast path must agree with them: the class-map decoding fills
// the same table, and the classes of a pair of byte rows are those of their
// difference.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "decode/bcsl_code.h"
#include "decode/boundary.h"
#include "decode/correspondence.h"
#include "decode/view_crossings.h"

namespace {

struct Bytes {
    const uint8_t* data;
    size_t size, at = 0;
    uint8_t next() { return at < size ? data[at++] : 0; }
};

float value(uint8_t b) {
    switch (b) {
        case 250: return std::numeric_limits<float>::quiet_NaN();
        case 251: return std::numeric_limits<float>::infinity();
        case 252: return -std::numeric_limits<float>::infinity();
        case 253: return -0.0f;
        case 254: return std::numeric_limits<float>::denorm_min();
        case 255: return static_cast<float>((b % 36) / 255.0);
        default: return (b % 7 - 3) * 0.25f;
    }
}

Image* image(Bytes& in, int w, int h) {
    Image* im = imgCreate(w, h);
    for (size_t i = 0; i < imgFloatCount(im); ++i) im->pixels[i] = value(in.next());
    return im;
}

// Every pixel is zero or a mark carrying a code 0 to 35.
void checkBoundaries(const Image* b) {
    if (b == nullptr) std::abort();
    for (size_t i = 0; i < imgFloatCount(b); i += 3) {
        const float* p = b->pixels + i;
        if (p[0] == 0.0f && p[1] == 0.0f && p[2] == 0.0f) continue;
        const double code = p[2] * 255.0;
        if (p[0] != 1.0f || p[1] != 1.0f || code < 0 || code > 35.5) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    const int w = in.next() % 24 + 1, h = in.next() % 24 + 1;
    const bool mismatch = in.next() == 7;
    Image* p1 = image(in, w, h);
    Image* p2 = image(in, mismatch ? w + 1 : w, h);
    Image* vertical = bcslDecodeVertical(p1, p2);
    Image* horizontal = bcslDecodeHorizontal(p1, p2);
    if (!mismatch) {
        checkBoundaries(vertical);
        checkBoundaries(horizontal);
    } else if (vertical != nullptr || horizontal != nullptr) {
        std::abort();
    }
    CorrespondenceTable table;
    clearCorrespondenceTable(&table);
    buildCorrespondenceTable(vertical, horizontal, &table);
    if (!mismatch) {
        std::vector<uint8_t> c1(static_cast<size_t>(w) * h), c2(c1.size());
        for (size_t i = 0; i < c1.size(); ++i) {
            const float *a = p1->pixels + 3 * i, *b = p2->pixels + 3 * i;
            c1[i] = static_cast<uint8_t>(classifyStripeColor(a[0], a[1], a[2]));
            c2[i] = static_cast<uint8_t>(classifyStripeColor(b[0], b[1], b[2]));
        }
        CorrespondenceTable fast;
        clearCorrespondenceTable(&fast);
        bcslFileViewCrossings(c1.data(), c2.data(), c1.data(), c2.data(), w, h, &fast);
        if (std::memcmp(&fast, &table, sizeof table) != 0) std::abort();
    }
    // Raw images as boundary images: any red, any code.
    buildCorrespondenceTable(p1, p2, &table);
    for (const CorrespondenceCell& c : table.cells) {
        if (c.x == -1 && c.y == -1) continue;
        if (c.x < 0 || c.x >= w || c.y < 0 || c.y >= h) std::abort();
    }
    // A pair of byte rows (16 bytes of slack, as the pair reader keeps).
    std::vector<unsigned char> pos(3 * w + 16), neg(3 * w + 16);
    for (int i = 0; i < 3 * w; ++i) {
        pos[i] = in.next();
        neg[i] = in.next() % 4 == 0 ? pos[i] : in.next();
    }
    std::vector<uint8_t> classes(w);
    bcslClassifyPairRow(pos.data(), neg.data(), w, classes.data());
    for (int x = 0; x < w; ++x) {
        float d[3];
        for (int c = 0; c < 3; ++c)
            d[c] = static_cast<float>(pos[3 * x + 2 - c] / 255.0) -
                   static_cast<float>(neg[3 * x + 2 - c] / 255.0);
        if (classes[x] != classifyStripeColor(d[0], d[1], d[2])) std::abort();
    }
    const int colours[4] = {in.next() % 6 - 1, in.next() % 6 - 1, in.next() % 6 - 1, in.next() % 6 - 1};
    const int code = bcslCode(colours[0], colours[1], colours[2], colours[3]);
    if (code < -1 || code > 35) std::abort();
    imgDestroy(vertical);
    imgDestroy(horizontal);
    imgDestroy(p1);
    imgDestroy(p2);
    return 0;
}
