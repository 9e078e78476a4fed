#include "mask/mask_align.h"

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
