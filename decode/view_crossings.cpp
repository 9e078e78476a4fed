#include "decode/view_crossings.h"

#include <vector>

#include "decode/line_step.h"
#include "image/bmp_pair.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Bit i set when a[i] != b[i], for the 16 bytes at a and b.
#if defined(__SSE2__)
inline unsigned differing16(const uint8_t* a, __m128i b) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(va, b))) & 0xFFFFu;
}
#endif

inline int lowestBit(unsigned bits) {
#if defined(__GNUC__)
    return __builtin_ctz(bits);
#else
    int i = 0;
    while (!(bits & 1u)) bits >>= 1, ++i;
    return i;
#endif
}

// Walks one row of vertical stripes, writing each mark's code into codes[x]
// and its x into marked; returns the number of marks.
size_t walkRow(const uint8_t* p1, const uint8_t* p2, size_t w, int8_t* codes, int32_t* marked) {
    size_t count = 0;
    BcslLine line = bcslLineStart(p1[0]);
    size_t x = 1;
    while (x < w) {
#if defined(__SSE2__)
        // Positions whose class is the run colour change nothing: skip them
        // sixteen at a time.
        if (x + 16 <= w) {
            const __m128i runs = _mm_set1_epi8(static_cast<char>(line.run));
            unsigned bits = 0;
            while (x + 16 <= w && (bits = differing16(p1 + x, runs)) == 0) x += 16;
            if (bits != 0) x += static_cast<size_t>(lowestBit(bits));
            if (x >= w) break;
        }
#endif
        const int code = bcslLineStep(&line, p1[x], p2[x - 1], p2[x]);
        if (code >= 0) {
            codes[x] = static_cast<int8_t>(code);
            marked[count++] = static_cast<int32_t>(x);
        }
        ++x;
    }
    return count;
}

}  // namespace

void bcslClassifyPairRow(const unsigned char* positive, const unsigned char* negative,
                         size_t width, uint8_t* classes) {
    size_t x = 0;
#if defined(__SSE2__)
    // Sixteen pixels at a time, four by four: classifyStripeColor with the
    // same exact comparisons, none where r == g == b, red where r >= g and
    // r >= b, green where g >= b, else blue (as masks of -1: 3 + 2 red +
    // green). Four pixels whose bytes are equal in both rows have a
    // difference of zeros, no colour: they need no arithmetic, which spares
    // most of a dark background or of a masked photograph.
    const __m128i three = _mm_set1_epi32(3);
    for (; x + 16 <= width; x += 16) {
        __m128i c[4];
        for (int k = 0; k < 4; ++k) {
            const size_t at = 3 * (x + 4 * static_cast<size_t>(k));
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(positive + at));
            const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(negative + at));
            if ((_mm_movemask_epi8(_mm_cmpeq_epi8(p, n)) & 0x0FFF) == 0x0FFF) {
                c[k] = _mm_setzero_si128();
                continue;
            }
            __m128 r, g, b;
            imgPairDifference4(p, n, &r, &g, &b);
            const __m128i none = _mm_castps_si128(_mm_and_ps(_mm_cmpeq_ps(r, g), _mm_cmpeq_ps(g, b)));
            const __m128i isRed = _mm_castps_si128(_mm_and_ps(_mm_cmpge_ps(r, g), _mm_cmpge_ps(r, b)));
            const __m128i isGreen = _mm_andnot_si128(isRed, _mm_castps_si128(_mm_cmpge_ps(g, b)));
            const __m128i cls = _mm_add_epi32(three, _mm_add_epi32(_mm_add_epi32(isRed, isRed), isGreen));
            c[k] = _mm_andnot_si128(none, cls);
        }
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(c[0], c[1]), _mm_packs_epi32(c[2], c[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(classes + x), packed);
    }
#endif
    // The rest (and every pixel without SSE2), sixteen at a time through
    // planar floats.
    float red[16], green[16], blue[16];
    while (x < width) {
        const size_t n = width - x < 16 ? width - x : 16;
        imgPairDifferenceRow(positive + 3 * x, negative + 3 * x, static_cast<int32_t>(n), red, green,
                             blue);
        for (size_t i = 0; i < n; ++i)
            classes[x + i] = static_cast<uint8_t>(classifyStripeColor(red[i], green[i], blue[i]));
        x += n;
    }
}

void bcslFileViewCrossings(const uint8_t* vertical1, const uint8_t* vertical2,
                           const uint8_t* horizontal1, const uint8_t* horizontal2, int32_t width,
                           int32_t height, CorrespondenceTable* table) {
    if (width <= 0 || height <= 0) return;
    const size_t w = static_cast<size_t>(width);
    // The vertical code of each pixel of the current row (-1 unmarked), the
    // columns marked in it, and the run colour of each column.
    std::vector<int8_t> verticalCodes(w, -1);
    std::vector<int32_t> marked(w);
    std::vector<uint8_t> runs(horizontal1, horizontal1 + w);
    // As in buildCorrespondenceTable: crossings come row by row in increasing
    // x.
    CorrespondenceFiling filing;
    correspondenceFilingStart(&filing, table);
    for (int32_t y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>(y) * w;
        const size_t marks = walkRow(vertical1 + row, vertical2 + row, w, verticalCodes.data(),
                                     marked.data());
        // Row 0 starts the columns and is never marked.
        if (y == 0) {
            for (size_t m = 0; m < marks; ++m) verticalCodes[static_cast<size_t>(marked[m])] = -1;
            continue;
        }
        const int half = correspondenceHalf(y, height);
        const auto file = [&](size_t x, int vertical, int horizontal) {
            correspondenceFile(&filing, correspondenceCell(vertical, half, horizontal),
                               static_cast<int32_t>(x), y);
        };
        const uint8_t* h1 = horizontal1 + row;
        const uint8_t* h2 = horizontal2 + row;
        const uint8_t* h2Before = h2 - w;
        uint8_t* run = runs.data();
        size_t x = 0;
#if defined(__SSE2__)
        // Sixteen columns at a time: each column's step of the walk as masks,
        // the run colours updated at once; a code is looked up only where a
        // horizontal mark meets a vertical one.
        const __m128i zero = _mm_setzero_si128();
        const __m128i none = _mm_set1_epi8(-1);
        for (; x + 16 <= w; x += 16) {
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + x));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + x));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(r, c)) == 0xFFFF) continue;
            const __m128i q0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h2Before + x));
            const __m128i q1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h2 + x));
            const __m128i uncoloured = _mm_or_si128(_mm_cmpeq_epi8(r, zero), _mm_cmpeq_epi8(c, zero));
            const __m128i pending = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(q0, zero), _mm_cmpeq_epi8(q1, zero)),
                _mm_cmpeq_epi8(q0, q1));
            const __m128i mark = _mm_andnot_si128(
                _mm_or_si128(_mm_or_si128(uncoloured, _mm_cmpeq_epi8(c, r)), pending), none);
            const __m128i update = _mm_or_si128(uncoloured, mark);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(run + x),
                             _mm_or_si128(_mm_and_si128(update, c), _mm_andnot_si128(update, r)));
            if (marks == 0) continue;
            const __m128i vertical = _mm_cmpgt_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(verticalCodes.data() + x)), none);
            unsigned bits =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(mark, vertical)));
            if (bits == 0) continue;
            alignas(16) uint8_t before[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(before), r);
            for (; bits != 0; bits &= bits - 1) {
                const size_t j = static_cast<size_t>(lowestBit(bits));
                const int code = bcslStepCode(before[j], h1[x + j], h2[x + j], h2Before[x + j]);
                file(x + j, verticalCodes[x + j], code);
            }
        }
#endif
        for (; x < w; ++x) {
            BcslLine line{run[x]};
            const int code = bcslLineStep(&line, h1[x], h2Before[x], h2[x]);
            run[x] = line.run;
            if (code >= 0 && verticalCodes[x] >= 0) file(x, verticalCodes[x], code);
        }
        for (size_t m = 0; m < marks; ++m) verticalCodes[static_cast<size_t>(marked[m])] = -1;
    }
}
