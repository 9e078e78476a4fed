#include "mask/mask_align.h"

#include "decode/bcsl_code.h"
#include "decode/line_step.h"

void maskAlignSwitches(const uint8_t* c1, uint8_t* c2, int width, int height, bool vertical,
                       std::vector<MaskMove>* moves) {
    const int lines = vertical ? height : width, length = vertical ? width : height;
    const size_t step = vertical ? 1 : static_cast<size_t>(width);
    for (int line = 0; line < lines; ++line) {
        const size_t first = vertical ? static_cast<size_t>(line) * width : static_cast<size_t>(line);
        // Position x of the line: a1(x), a2(x); x runs from 3 so that x - 3 exists.
        const auto a1 = [&](int x) { return c1[first + x * step]; };
        const auto a2 = [&](int x) { return c2[first + x * step]; };
        for (int x = 3; x < length; ++x) {
            const int before = a1(x - 1), after = a1(x);
            // Pattern 1 changes at x and held its colour for two pixels before.
            if (before == 0 || after == 0 || before == after || a1(x - 2) != before) continue;
            if (x + 1 < length && a1(x + 1) != after) continue;
            // Pattern 2 changed at x - 1 after two pixels of one colour, and not at x.
            const int p2 = a2(x - 2), q2 = a2(x - 1);
            if (p2 == 0 || q2 == 0 || p2 == q2 || a2(x - 3) != p2 || a2(x) != q2) continue;
            c2[first + (x - 1) * step] = static_cast<uint8_t>(p2);
            moves->push_back({first + (x - 1) * step, first + (x - 2) * step});
        }
    }
}

uint64_t maskCutStaleChanges(uint8_t* c1, const uint8_t* c2, int width, int height, bool vertical) {
    constexpr int kStripe = 3;  // fewer pixels of a colour may be a blend, not a stripe
    const int lines = vertical ? height : width, length = vertical ? width : height;
    const size_t step = vertical ? 1 : static_cast<size_t>(width);
    uint64_t cut = 0;
    for (int line = 0; line < lines; ++line) {
        const size_t first = vertical ? static_cast<size_t>(line) * width : static_cast<size_t>(line);
        const auto at1 = [&](int x) -> uint8_t& { return c1[first + x * step]; };
        const auto at2 = [&](int x) { return c2[first + x * step]; };
        if (length == 0) continue;
        BcslLine walk = bcslLineStart(at1(0));
        int start = 0;  // where pattern 1's current colour began
        for (int x = 1; x < length; ++x) {
            const int cur = at1(x);
            if (cur != at1(x - 1)) {
                // Pattern 1 leaves a stripe begun at `start` while a change is
                // still pending: the decoder would keep its run colour across it.
                const int left = at1(x - 1);
                const int run = walk.run;
                if (run != 0 && left != 0 && left != run && cur != 0 && x - start >= kStripe) {
                    at1(start) = 0;
                    ++cut;
                    walk = bcslLineStart(left);
                }
                start = x;
            }
            // The decoder's step at x.
            bcslLineStep(&walk, cur, at2(x - 1), at2(x));
        }
    }
    return cut;
}

void maskBridgeGaps(uint8_t* c1, uint8_t* c2, int width, int height, bool vertical,
                    std::vector<MaskMove>* moves1, std::vector<MaskMove>* moves2) {
    const int lines = vertical ? height : width, length = vertical ? width : height;
    const size_t step = vertical ? 1 : static_cast<size_t>(width);
    for (int line = 0; line < lines; ++line) {
        const size_t first = vertical ? static_cast<size_t>(line) * width : static_cast<size_t>(line);
        const auto at = [&](uint8_t* c, int x) -> uint8_t& { return c[first + x * step]; };
        for (int x = 2; x + 2 < length; ++x) {
            const int g1 = at(c1, x), g2 = at(c2, x);
            if (g1 != 0 && g2 != 0) continue;
            const int a = at(c1, x - 1), b = at(c1, x + 1), c = at(c2, x - 1), d = at(c2, x + 1);
            // Both patterns change across the gap, between stripes of two pixels or more.
            if (a == 0 || b == 0 || c == 0 || d == 0 || a == b || c == d || at(c1, x - 2) != a ||
                at(c2, x - 2) != c || at(c1, x + 2) != b || at(c2, x + 2) != d ||
                (g1 != 0 && g1 != a && g1 != b) || (g2 != 0 && g2 != c && g2 != d))
                continue;
            // And the boundary is the neighbour of the one before the stripe:
            // a gap at the edge of an object in front of another may show two
            // changes that are no boundary.
            int back = x - 1;
            while (back > 0 && at(c1, back) == a) --back;
            const int a0 = at(c1, back), c0 = at(c2, back) != c ? at(c2, back) : back > 0 ? at(c2, back - 1) : 0;
            if (back == 0 || a0 == 0 || c0 == 0 || c0 == c) continue;
            const int previous = bcslCode(a0, a, c, c0), code = bcslCode(a, b, d, c);
            if (code != previous + 1 && code != previous - 1) continue;
            const size_t pixel = first + x * step, before = first + (x - 1) * step;
            if (g1 == 0) {
                c1[pixel] = static_cast<uint8_t>(a);
                moves1->push_back({pixel, before});
            }
            if (g2 == 0) {
                c2[pixel] = static_cast<uint8_t>(c);
                moves2->push_back({pixel, before});
            }
            ++x;
        }
    }
}
