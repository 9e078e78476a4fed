#include "mask/mask_unmix.h"

#include <cmath>
#include <vector>

#include "decode/boundary.h"

namespace {

// Fewer interior pixels than this for a colour: no estimate.
constexpr uint64_t kLeastPerColour = 200;
constexpr int kRowStep = 8;

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
    double u[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double means[9] = {};
    std::vector<uint8_t> classes(3 * static_cast<size_t>(diffs.width));
    bool found = false;
    for (int round = 0; round < 3; ++round) {
        double sums[9] = {};
        uint64_t counts[3] = {};
        for (int k = 0; k < diffs.count; ++k) {
            const float* d = diffs.d[k];
            const bool vertical = diffs.vertical[k];
            // Every kRowStep-th row is enough for the means; a horizontal
            // pair's neighbours lie in the rows above and below.
            for (int y = 1; y + 1 < diffs.height; y += kRowStep) {
                for (int r = 0; r < (vertical ? 1 : 3); ++r) {
                    const size_t row = static_cast<size_t>(vertical ? y : y - 1 + r) * diffs.width;
                    for (int x = 0; x < diffs.width; ++x) {
                        float v[3] = {d[3 * (row + x)], d[3 * (row + x) + 1], d[3 * (row + x) + 2]};
                        maskApply3(u, v);
                        classes[r * static_cast<size_t>(diffs.width) + x] = static_cast<uint8_t>(maskClass(v));
                    }
                }
                const uint8_t* mid = classes.data() + (vertical ? 0 : diffs.width);
                for (int x = 1; x + 1 < diffs.width; ++x) {
                    const size_t i = static_cast<size_t>(y) * diffs.width + x;
                    const int c = mid[x];
                    const bool interior = vertical ? mid[x - 1] == c && mid[x + 1] == c
                                                   : classes[x] == c && classes[2 * diffs.width + x] == c;
                    if (c == 0 || !usable[i] || !interior) continue;
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
