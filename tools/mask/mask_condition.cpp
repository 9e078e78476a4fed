#include "mask/mask_condition.h"

#include <algorithm>
#include <cmath>

#include "decode/boundary.h"
#include "mask/mask_unmix.h"

namespace {

// Differences whose largest channel is below this many bytes are too faint
// to be conditioned: quantisation alone turns their colour (the faint halo
// of light that the optics spread into shadows, for instance).
constexpr float kFaint = 6.0f;

// The bytes as the scanner's reader loads them: byte / 255 in double, as float.
struct Loaded {
    float value[256];
    Loaded() {
        for (int b = 0; b < 256; ++b) value[b] = static_cast<float>(b / 255.0);
    }
};

// The class the decoder gives the difference of two stored pixels (bytes
// blue, green, red), from the values as the reader loads them.
int storedClass(const unsigned char* p, const unsigned char* n) {
    static const Loaded loaded;
    const float* v = loaded.value;
    return classifyStripeColor(v[p[2]] - v[n[2]], v[p[1]] - v[n[1]], v[p[0]] - v[n[0]]);
}

}  // namespace

bool maskEncode(const unsigned char* p, const float t[3], double magnitude, int wanted, unsigned char* n) {
    const double pos[3] = {static_cast<double>(p[2]), static_cast<double>(p[1]), static_cast<double>(p[0])};
    const double largest = std::max({std::fabs(t[0]), std::fabs(t[1]), std::fabs(t[2])});
    unsigned char out[3];
    if (largest > 0) {
        double s = std::max(magnitude, 8.0) / largest;
        for (int attempt = 0; attempt < 12; ++attempt, s *= 0.5) {
            // n_c = pos_c - s t_c - b must lie in 0 to 255 for one offset b.
            double low = -1e300, high = 1e300;
            for (int c = 0; c < 3; ++c) {
                low = std::max(low, pos[c] - s * t[c] - 255.0);
                high = std::min(high, pos[c] - s * t[c]);
            }
            if (low > high) continue;
            const double b = std::clamp(0.0, low, high);
            for (int c = 0; c < 3; ++c)
                out[2 - c] = static_cast<unsigned char>(std::clamp(std::lround(pos[c] - s * t[c] - b), 0L, 255L));
            if (storedClass(p, out) == wanted) {
                std::copy(out, out + 3, n);
                return true;
            }
        }
    }
    // The widest difference of the wanted class the bytes allow.
    for (int c = 0; c < 3; ++c) out[2 - c] = c + 1 == wanted ? 0 : 255;
    if (wanted == 0 || storedClass(p, out) != wanted) return false;
    std::copy(out, out + 3, n);
    return true;
}

void maskCondition(const MaskPair pairs[4], MaskConditionWork* work, MaskConditionReport* report,
                   bool changed[4]) {
    const int width = pairs[0].positiveLayout.width, height = pairs[0].positiveLayout.height;
    const size_t pixels = static_cast<size_t>(width) * height;
    work->usable.assign(4 * pixels, 1);
    MaskDiffs diffs{{}, {true, true, false, false}, 4, width, height};
    for (int k = 0; k < 4; ++k) {
        work->diffs[k].resize(3 * pixels);
        work->original[k].resize(pixels);
        float* d = work->diffs[k].data();
        for (int y = 0; y < height; ++y) {
            const unsigned char* p = pairs[k].positive + imgBMPRow(pairs[k].positiveLayout, y);
            const unsigned char* n = pairs[k].negative + imgBMPRow(pairs[k].negativeLayout, y);
            for (int x = 0; x < width; ++x) {
                const size_t i = static_cast<size_t>(y) * width + x;
                const unsigned char* a = p + 3 * static_cast<size_t>(x);
                const unsigned char* b = n + 3 * static_cast<size_t>(x);
                for (int c = 0; c < 3; ++c) d[3 * i + c] = static_cast<float>(a[2 - c] - b[2 - c]);
                work->original[k][i] = static_cast<uint8_t>(storedClass(a, b));
                // Clipped channels distort a difference: such pixels tell nothing of the response.
                if (std::max({a[0], a[1], a[2], b[0], b[1], b[2]}) == 255) work->usable[k * pixels + i] = 0;
            }
        }
        diffs.d[k] = d;
    }

    double unmix[9];
    report->unmixed = maskEstimateUnmix(diffs, work->usable.data(), unmix, report->response);
    for (int k = 0; k < 4; ++k) {
        float* d = work->diffs[k].data();
        work->classes[k].resize(pixels);
        work->strong[k].resize(pixels);
        for (size_t i = 0; i < pixels; ++i) {
            const float* v = d + 3 * i;
            work->strong[k][i] = std::max({std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])}) >= kFaint;
            if (report->unmixed && work->strong[k][i]) maskApply3(unmix, d + 3 * i);
            work->classes[k][i] = work->strong[k][i] ? static_cast<uint8_t>(maskClass(d + 3 * i))
                                                     : work->original[k][i];
        }
    }
    report->aligned = 0;
    report->cut = 0;
    report->bridged = 0;
    for (int k = 1; k < 4; k += 2) {
        // The switches are judged on the classes with faint pixels as class
        // 0, which stops every change of classes near them; the changes
        // then go to the classes and the conditioned differences.
        for (int j = 0; j < 2; ++j) {
            work->aligning[j].resize(pixels);
            for (size_t i = 0; i < pixels; ++i)
                work->aligning[j][i] = work->strong[k - 1 + j][i] ? work->classes[k - 1 + j][i] : 0;
        }
        const auto apply = [&](int pair, const std::vector<BcslMove>& moves) {
            float* d = work->diffs[pair].data();
            for (const BcslMove& m : moves) {
                std::copy(d + 3 * m.from, d + 3 * m.from + 3, d + 3 * m.pixel);
                work->classes[pair][m.pixel] = work->classes[pair][m.from];
            }
        };
        work->moves.clear();
        work->moves2.clear();
        maskBridgeGaps(work->aligning[0].data(), work->aligning[1].data(), width, height,
                       diffs.vertical[k], &work->moves, &work->moves2);
        apply(k - 1, work->moves);
        apply(k, work->moves2);
        report->bridged += work->moves.size() + work->moves2.size();
        work->moves.clear();
        bcslAlignSwitches(work->aligning[0].data(), work->aligning[1].data(), width, height,
                          diffs.vertical[k], &work->moves);
        apply(k, work->moves);
        report->aligned += work->moves.size();
        report->cut += bcslCutStaleChanges(work->classes[k - 1].data(), work->classes[k].data(), width,
                                           height, diffs.vertical[k]);
    }

    report->rewritten = 0;
    for (int k = 0; k < 4; ++k) {
        changed[k] = false;
        const float* d = work->diffs[k].data();
        for (int y = 0; y < height; ++y) {
            const unsigned char* p = pairs[k].positive + imgBMPRow(pairs[k].positiveLayout, y);
            unsigned char* n = pairs[k].negative + imgBMPRow(pairs[k].negativeLayout, y);
            for (int x = 0; x < width; ++x) {
                const size_t i = static_cast<size_t>(y) * width + x;
                const int wanted = work->classes[k][i];
                if (wanted == work->original[k][i]) continue;
                unsigned char* b = n + 3 * static_cast<size_t>(x);
                const unsigned char* a = p + 3 * static_cast<size_t>(x);
                if (wanted == 0) {  // no colour: the negative as the positive
                    std::copy(a, a + 3, b);
                    ++report->rewritten;
                    changed[k] = true;
                    continue;
                }
                const double magnitude =
                    std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
                if (maskEncode(a, d + 3 * i, magnitude, wanted, b)) {
                    ++report->rewritten;
                    changed[k] = true;
                }
            }
        }
    }
}
