// The decoder's rule for one pixel, written once: how a pixel of a pattern
// difference is classified, and how a walk along one line of pixels across
// the stripes decides where a boundary is marked and with which code.
//
// The image decoders (decode/boundary.cpp), the fast path of one byte a pixel
// (decode/view_crossings.cpp) and the tools that must predict the decoder
// (the mask) all step through a line with these functions, so they cannot
// drift apart. Everything is inline: the fast path runs this step at every
// pixel whose class differs from the run colour.
//
// A line starts with the pattern-1 class of its first position (never
// marked). At each later position, with c the pattern-1 class there and q0,
// q1 the pattern-2 classes of the previous and of this position:
//   - a run colour or c of class none: c becomes the run colour, no mark;
//   - c equal to the run colour: nothing;
//   - pattern 2 uncoloured at either pixel or not changing between them: no
//     mark, and the run colour stays, so the change of pattern 1 is still
//     pending at the next position;
//   - otherwise a mark with the code of the change from the run colour to c
//     (pattern 1) and from q0 to q1 (pattern 2); c becomes the run colour.
#pragma once

#include <cstdint>

#include "decode/bcsl_code.h"

// The class of a difference pixel by its largest channel.
enum StripeColor : int {
    kStripeNone = 0,  // three exactly equal channels
    kStripeRed = 1,
    kStripeGreen = 2,
    kStripeBlue = 3,
};

// Largest channel wins, ties go to the earlier of red, green, blue; only three
// equal channels give kStripeNone. Comparisons are exact.
inline int classifyStripeColor(float r, float g, float b) {
    if (r == g && g == b) return kStripeNone;
    if (r >= g && r >= b) return kStripeRed;
    if (g >= b) return kStripeGreen;
    return kStripeBlue;
}

// The state of one line: the pattern-1 colour of the stripe the walk is in,
// as last accepted. One byte, so that a walk of many lines side by side (the
// columns of a picture) can keep them in a plain byte array.
struct BcslLine {
    uint8_t run;
};
static_assert(sizeof(BcslLine) == 1, "one byte a line");

// Every code by its four classes, at index 64 run + 16 c + 4 q1 + q0, made at
// compile time from the code rule; -1 where no boundary can be.
struct BcslStepCodes {
    int8_t code[256];
};

constexpr BcslStepCodes bcslMakeStepCodes() {
    BcslStepCodes t{};
    for (int i = 0; i < 256; ++i) t.code[i] = -1;
    for (int run = kBcslRed; run <= kBcslBlue; ++run)
        for (int c = kBcslRed; c <= kBcslBlue; ++c)
            for (int q1 = kBcslRed; q1 <= kBcslBlue; ++q1)
                for (int q0 = kBcslRed; q0 <= kBcslBlue; ++q0)
                    if (c != run && q1 != q0)
                        t.code[64 * run + 16 * c + 4 * q1 + q0] =
                            static_cast<int8_t>(bcslCodeOfValid(run, c, q1, q0));
    return t;
}

inline constexpr BcslStepCodes kBcslStepCodes = bcslMakeStepCodes();

// bcslCode(run, c, q1, q0) for classes that the step marks: pattern 1 from the
// run colour to `c`, pattern 2 from `q0` to `q1` (the same argument order).
inline int bcslStepCode(int run, int c, int q1, int q0) {
    return kBcslStepCodes.code[64 * run + 16 * c + 4 * q1 + q0];
}

// The line that starts with pattern-1 class `first` at its first position.
inline BcslLine bcslLineStart(int first) { return BcslLine{static_cast<uint8_t>(first)}; }

// The first half of the step: true when pattern-1 class `c` leaves the run
// colour for another colour, so that pattern 2 must be looked at (then call
// bcslLineMark); otherwise the position is done and unmarked. For a walk that
// classifies pattern 2 only where it is needed.
inline bool bcslLineChanges(BcslLine* line, int c) {
    if (line->run == kStripeNone || c == kStripeNone) {
        line->run = static_cast<uint8_t>(c);  // a change next to an uncoloured pixel is never marked
        return false;
    }
    return c != line->run;
}

// The second half: the code to mark for pattern 2 going from `q0` to `q1`,
// or -1 when pattern 2 cannot be used there (the change stays pending).
inline int bcslLineMark(BcslLine* line, int c, int q0, int q1) {
    if (q0 == kStripeNone || q1 == kStripeNone || q0 == q1) return -1;  // change stays pending
    const int code = bcslStepCode(line->run, c, q1, q0);
    line->run = static_cast<uint8_t>(c);
    return code;
}

// The whole step at one position after the first: pattern-1 class `c` here,
// pattern-2 classes `q0` at the previous position and `q1` here. Returns the
// code to mark here (0 to 35) or -1.
inline int bcslLineStep(BcslLine* line, int c, int q0, int q1) {
    return bcslLineChanges(line, c) ? bcslLineMark(line, c, q0, q1) : -1;
}
