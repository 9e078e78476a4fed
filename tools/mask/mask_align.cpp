#include "mask/mask_align.h"

#include "decode/bcsl_code.h"

void maskBridgeGaps(uint8_t* c1, uint8_t* c2, int width, int height, bool vertical,
                    std::vector<BcslMove>* moves1, std::vector<BcslMove>* moves2) {
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
