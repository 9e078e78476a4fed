#include "decode/bcsl_code.h"

#include <cstdio>

namespace {

bool valid(int colour) { return colour >= kBcslRed && colour <= kBcslBlue; }

}  // namespace

int bcslCode(int p1Before, int p1After, int p2After, int p2Before) {
    // Equal colours have no code; their step would index past the table.
    if (!valid(p1Before) || !valid(p1After) || !valid(p2After) || !valid(p2Before) ||
        p1Before == p1After || p2Before == p2After) {
        std::fputs("Error: invalid BCSL color\n", stdout);
        return -1;
    }
    return bcslCodeOfValid(p1Before, p1After, p2After, p2Before);
}
