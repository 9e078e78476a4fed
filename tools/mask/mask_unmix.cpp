#include "mask/mask_unmix.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "decode/boundary.h"

namespace {

// Fewer interior pixels than this for a colour: no estimate.
constexpr uint64_t kLeastPerColour = 200;
constexpr int kLineStep = 8;

bool invert3(const double m[9], double out[9]) {
    const double c0 = m[4] * m[8] - m[5] * m[7], c1 = m[5] * m[6] - m[3] * m[8],
                 c2 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    double norm = 0;
    for (int i = 0; i < 9; ++i) norm = std::fmax(norm, std::fabs(m[i]));
    if (!(std::fabs(det) > 1e-6 * norm * norm * norm)) return false;
    const double r = 1.0 / det;
    out[0] = c0 * r, out[1] = (m[2] * m[7] - m[1] * m[8]) * r, out[2] = (m[1] * m[5] - m[2] * m[4]) * r;
    out[3] = c1 * r, out[4] = (m[0] * m[8] - m[2] * m[6]) * r, out[5] = (m[2] * m[3] - m[0] * m[5]) * r;
    out[6] = c2 * r, out[7] = (m[1] * m[6] - m[0] * m[7]) * r, out[8] = (m[0] * m[4] - m[1] * m[3]) * r;
    return true;
}

void multiply3(const double a[9], const double b[9], double out[9]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
}

}  // namespace

int maskClass(const float d[3]) { return classifyStripeColor(d[0], d[1], d[2]); }

void maskApply3(const double u[9], float d[3]) {
    const double r = d[0], g = d[1], b = d[2];
    d[0] = static_cast<float>(u[0] * r + u[1] * g + u[2] * b);
    d[1] = static_cast<float>(u[3] * r + u[4] * g + u[5] * b);
    d[2] = static_cast<float>(u[6] * r + u[7] * g + u[8] * b);
}

bool maskEstimateUnmix(const MaskDiffs& diffs, const uint8_t* usable, double unmix[9],
                       double response[9]) {
    static const double kSent[9] = {1, -1, -1, -1, 1, -1, -1, -1, 1};  // S, columns: colours
    static const double kSentInverse[9] = {0, -0.5, -0.5, -0.5, 0, -0.5, -0.5, -0.5, 0};
    const size_t pixels = static_cast<size_t>(diffs.width) * diffs.height;
    double u[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double means[9] = {};
    std::vector<uint8_t> classes(static_cast<size_t>(std::max(diffs.width, diffs.height)));
    bool found = false;
    for (int round = 0; round < 3; ++round) {
        double sums[9] = {};
        uint64_t counts[3] = {};
        for (int k = 0; k < diffs.count; ++k) {
            const float* d = diffs.d[k];
            const bool vertical = diffs.vertical[k];
            // Every kLineStep-th line across the stripes is enough for the
            // means (rows for vertical stripes, columns for horizontal ones,
            // so every phase of the stripes is met).
            const int lines = vertical ? diffs.height : diffs.width;
            const int length = vertical ? diffs.width : diffs.height;
            const size_t step = vertical ? 1 : static_cast<size_t>(diffs.width);
            for (int line = kLineStep / 2; line < lines; line += kLineStep) {
                const size_t first = vertical ? static_cast<size_t>(line) * diffs.width : static_cast<size_t>(line);
                for (int t = 0; t < length; ++t) {
                    const float* p = d + 3 * (first + t * step);
                    float v[3] = {p[0], p[1], p[2]};
                    maskApply3(u, v);
                    classes[t] = static_cast<uint8_t>(maskClass(v));
                }
                for (int t = 1; t + 1 < length; ++t) {
                    const size_t i = first + t * step;
                    const int c = classes[t];
                    if (c == 0 || !usable[k * pixels + i] || classes[t - 1] != c || classes[t + 1] != c)
                        continue;
                    for (int ch = 0; ch < 3; ++ch) sums[3 * ch + c - 1] += d[3 * i + ch];
                    ++counts[c - 1];
                }
            }
        }
        double next[9], inverse[9];
        for (int ch = 0; ch < 3; ++ch)
            for (int c = 0; c < 3; ++c)
                next[3 * ch + c] = sums[3 * ch + c] / static_cast<double>(counts[c] > 0 ? counts[c] : 1);
        if (counts[0] < kLeastPerColour || counts[1] < kLeastPerColour ||
            counts[2] < kLeastPerColour || !invert3(next, inverse)) {
            if (!found) return false;
            break;  // keep the last estimate
        }
        for (int i = 0; i < 9; ++i) means[i] = next[i];
        multiply3(kSent, inverse, u);
        found = true;
    }
    for (int i = 0; i < 9; ++i) unmix[i] = u[i];
    multiply3(means, kSentInverse, response);
    for (int c = 0; c < 3; ++c) {
        const double diagonal = response[4 * c];
        for (int r = 0; r < 3; ++r) response[3 * r + c] /= diagonal;
    }
    return true;
}
