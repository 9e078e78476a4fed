#include "decode/bcsl_code.h"

#include <cstdio>

// Boundary k of the two 37-stripe sequences lies at the cell indexed by the
// colours of stripe k and the steps to stripe k + 1, so that a line crossing
// the stripes in order meets the codes 0, 1, ..., 35.
const int32_t bcslCodeTable[kBcslCodes] = {
    0,  3,  6,  9,  14, 17, 19, 11, 28, 34, 22, 24, 26, 29, 18, 21, 1,  31,
    33, 35, 15, 4,  8,  13, 16, 23, 32, 12, 27, 5,  7,  25, 2,  10, 20, 30,
};

namespace {

// 0 when `after` follows `before` in the cycle red, green, blue, red; 1 when it
// precedes it.
int step(int before, int after) {
    const int d = after - before;
    return d > 0 ? d - 1 : d + 2;
}

bool valid(int colour) { return colour >= kBcslRed && colour <= kBcslBlue; }

}  // namespace

int bcslCode(int p1Before, int p1After, int p2After, int p2Before) {
    // Equal colours have no code; their step would index past the table.
    if (!valid(p1Before) || !valid(p1After) || !valid(p2After) || !valid(p2Before) ||
        p1Before == p1After || p2Before == p2After) {
        std::fputs("Error: invalid BCSL color\n", stdout);
        return -1;
    }
    const int p1Step = step(p1Before, p1After);
    const int p2Step = step(p2Before, p2After);
    return bcslCodeTable[12 * (p1Before - 1) + 4 * (p2Before - 1) + 2 * p1Step + p2Step];
}
