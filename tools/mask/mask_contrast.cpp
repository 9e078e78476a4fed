#include "mask/mask_contrast.h"

#include <algorithm>
#include <cstring>
#include <vector>

void maskContrast(const MaskPair* pairs, int count, uint8_t* contrast) {
    if (count <= 0) return;
    const int32_t width = pairs[0].positiveLayout.width;
    const int32_t height = pairs[0].positiveLayout.height;
    const size_t bytes = 3 * static_cast<size_t>(width);
    // Byte-wise passes over whole rows, which the compiler turns into vector
    // code: |p - n| per byte, the largest of each byte and its two
    // successors (at byte 3x: the pixel's largest channel), the smallest of
    // that over the pairs. Two bytes of slack keep the successors in range.
    std::vector<uint8_t> diff(bytes + 2, 0), least(bytes + 2);
    for (int32_t y = 0; y < height; ++y) {
        std::fill(least.begin(), least.end(), uint8_t{255});
        for (int k = 0; k < count; ++k) {
            const unsigned char* p = pairs[k].positive + imgBMPRow(pairs[k].positiveLayout, y);
            const unsigned char* n = pairs[k].negative + imgBMPRow(pairs[k].negativeLayout, y);
            uint8_t* d = diff.data();
            for (size_t i = 0; i < bytes; ++i)
                d[i] = static_cast<uint8_t>(p[i] > n[i] ? p[i] - n[i] : n[i] - p[i]);
            uint8_t* l = least.data();
            for (size_t i = 0; i < bytes; ++i) {
                const uint8_t m = std::max(d[i], std::max(d[i + 1], d[i + 2]));
                l[i] = std::min(l[i], m);
            }
        }
        uint8_t* out = contrast + static_cast<size_t>(y) * width;
        for (int32_t x = 0; x < width; ++x) out[x] = least[3 * static_cast<size_t>(x)];
    }
}

void maskHistogram(const uint8_t* contrast, size_t pixels, uint64_t histogram[256]) {
    std::fill(histogram, histogram + 256, uint64_t{0});
    for (size_t i = 0; i < pixels; ++i) ++histogram[contrast[i]];
}

int maskOtsu(const uint64_t histogram[256]) {
    double total = 0, sum = 0;
    for (int v = 0; v < 256; ++v) {
        total += static_cast<double>(histogram[v]);
        sum += static_cast<double>(v) * static_cast<double>(histogram[v]);
    }
    double below = 0, sumBelow = 0, best = -1;
    int threshold = 0;
    for (int t = 1; t < 256; ++t) {  // classes [0, t) and [t, 255]
        below += static_cast<double>(histogram[t - 1]);
        sumBelow += static_cast<double>(t - 1) * static_cast<double>(histogram[t - 1]);
        const double above = total - below;
        if (below == 0 || above == 0) continue;
        const double gap = sumBelow / below - (sum - sumBelow) / above;
        const double between = below * above * gap * gap;
        if (between > best) {
            best = between;
            threshold = t;
        }
    }
    return threshold;
}

int maskAutoThreshold(const uint64_t histogram[256]) {
    const uint64_t* h = histogram;
    // Background and unlit pixels form a peak of low contrast: the sensor
    // noise of two exposures of the same light. Lit pixels spread thinly
    // over higher values. The threshold lies in the peak's tail: masking
    // all of the peak also masks the faintest lit pixels, while the last of
    // its noise does no harm, being scattered single pixels that the decoder
    // never marks (it marks nothing next to a pixel of no colour).
    //
    // The peak is the highest value below Otsu's threshold, which lies
    // between the two groups (a view of one group only has it inside that
    // group, which still leaves the peak below it).
    int otsu = maskOtsu(h);
    if (otsu == 0) otsu = 256;
    int peak = 0;
    for (int v = 1; v < otsu; ++v)
        if (h[v] > h[peak]) peak = v;
    if (h[peak] == 0) return 0;  // no pixels
    // Photographs without noise: the unlit pixels are exactly equal in both
    // exposures and almost nothing lies next to them.
    if (peak == 0 && h[1] * 256 <= h[0]) return 1;
    // Where the peak has fallen to a hundredth of its height.
    int sparse = peak + 1;
    while (sparse < 256 && h[sparse] * 100 >= h[peak]) ++sparse;
    // Where the tail ends: past half the peak's height, down the tail while
    // it keeps falling by more than a tenth a value, compared over two values
    // at a time (counts of a few dozen pixels vary by that much); an empty
    // stretch ends it too. There the level of the lit pixels is reached.
    int end = peak + 1;
    while (end < 256 && 2 * h[end] > h[peak]) ++end;
    const auto at = [&](int v) { return v < 256 ? h[v] : uint64_t{0}; };
    for (; end < 256; ++end) {
        const uint64_t before = at(end - 2 < peak ? peak : end - 2) + at(end - 1);
        const uint64_t after = at(end) + at(end + 1);
        if (after == 0 || 100 * before < 121 * after) break;
    }
    // Halfway between the two, rounded up.
    return (sparse + end + 1) / 2;
}

uint64_t maskApply(const MaskPair& pair, const uint8_t* contrast, int threshold) {
    const int32_t width = pair.positiveLayout.width;
    const int32_t height = pair.positiveLayout.height;
    const size_t bytes = 3 * static_cast<size_t>(width);
    // Per row: a byte mask (0xff on the three bytes of a masked pixel), then
    // a branch-free blend and a count of the bytes it changed, both in
    // vector code.
    std::vector<uint8_t> mask(bytes);
    uint64_t changed = 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* c = contrast + static_cast<size_t>(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t m = c[x] < threshold ? 0xff : 0;
            mask[3 * static_cast<size_t>(x)] = mask[3 * static_cast<size_t>(x) + 1] =
                mask[3 * static_cast<size_t>(x) + 2] = m;
        }
        const unsigned char* p = pair.positive + imgBMPRow(pair.positiveLayout, y);
        unsigned char* n = pair.negative + imgBMPRow(pair.negativeLayout, y);
        uint32_t rowChanged = 0;
        for (size_t i = 0; i < bytes; ++i) {
            const uint8_t blended = static_cast<uint8_t>((p[i] & mask[i]) | (n[i] & ~mask[i]));
            rowChanged += blended != n[i];
            n[i] = blended;
        }
        changed += rowChanged;
    }
    return changed;
}
