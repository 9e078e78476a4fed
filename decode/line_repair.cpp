#include "decode/line_repair.h"

#include <cstring>

#include "decode/line_step.h"

namespace {

// Whether the nine bytes line[0 .. 8] are all equal: the eight pixels
// after line[0] hold its class. Both repairs act only where pattern 1's class
// changes, so along a row (one byte a pixel, side by side) they pass over
// such runs eight pixels at a time; most of a row is runs.
inline bool runOfNine(const uint8_t* line) {
    uint64_t here, next;
    std::memcpy(&here, line, sizeof here);
    std::memcpy(&next, line + 1, sizeof next);
    return here == next;
}

}  // namespace

void bcslAlignSwitches(const uint8_t* c1, uint8_t* c2, int width, int height, bool vertical,
                       std::vector<BcslMove>* moves) {
    const int lines = vertical ? height : width, length = vertical ? width : height;
    const size_t step = vertical ? 1 : static_cast<size_t>(width);
    for (int line = 0; line < lines; ++line) {
        const size_t first = vertical ? static_cast<size_t>(line) * width : static_cast<size_t>(line);
        // Position x of the line: a1(x), a2(x); x runs from 3 so that x - 3 exists.
        const auto a1 = [&](int x) { return c1[first + x * step]; };
        const auto a2 = [&](int x) { return c2[first + x * step]; };
        for (int x = 3; x < length; ++x) {
            if (step == 1)  // pattern 1 unchanged over x .. x + 7: nothing moves there
                while (x + 8 <= length && runOfNine(c1 + first + x - 1)) x += 8;
            if (x >= length) break;
            const int before = a1(x - 1), after = a1(x);
            // Pattern 1 changes at x and held its colour for two pixels before.
            if (before == 0 || after == 0 || before == after || a1(x - 2) != before) continue;
            if (x + 1 < length && a1(x + 1) != after) continue;
            // Pattern 2 changed at x - 1 after two pixels of one colour, and not at x.
            const int p2 = a2(x - 2), q2 = a2(x - 1);
            if (p2 == 0 || q2 == 0 || p2 == q2 || a2(x - 3) != p2 || a2(x) != q2) continue;
            c2[first + (x - 1) * step] = static_cast<uint8_t>(p2);
            if (moves != nullptr) moves->push_back({first + (x - 1) * step, first + (x - 2) * step});
        }
    }
}

uint64_t bcslCutStaleChanges(uint8_t* c1, const uint8_t* c2, int width, int height, bool vertical) {
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
            // Pattern 1 unchanged over x .. x + 7 and the walk's run colour
            // that class (no change pending): the walk's step changes nothing
            // there, uncoloured pixels included.
            if (step == 1)
                while (x + 8 <= length && walk.run == at1(x) && runOfNine(c1 + first + x - 1))
                    x += 8;
            if (x >= length) break;
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
