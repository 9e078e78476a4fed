// Conditioning of one masked camera view, so that the unchanged decoder sees
// the colours the projector sent: the differences are unmixed with the
// view's own estimate of the camera's response (mask_unmix.h), pattern-2
// switches one pixel before pattern 1's are moved onto them (mask_align.h),
// and where a pixel's class (its largest channel) then differs from what its
// photographs give, its negative is rewritten so that positive - negative is
// a positive multiple of the conditioned difference plus an equal amount on
// every channel: the same class. Everything else keeps its bytes, and so do
// faint differences (largest channel below 6 bytes), whose colour is mostly
// quantisation: the halo of light that the optics spread into a shadow.
#pragma once

#include <cstdint>
#include <vector>

#include "mask/mask_align.h"
#include "mask/mask_contrast.h"

struct MaskConditionReport {
    bool unmixed = false;  // false: too few stripe pixels for an estimate
    double response[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // rows: camera channels
    uint64_t aligned = 0;    // pattern-2 switches moved
    uint64_t cut = 0;        // stale pattern-1 changes let go (bcslCutStaleChanges)
    uint64_t bridged = 0;    // pixels of no colour between two stripes given a colour
    uint64_t rewritten = 0;  // negative pixels rewritten, over the four pairs
};

// Buffers kept from view to view.
struct MaskConditionWork {
    std::vector<float> diffs[4];
    std::vector<uint8_t> original[4], classes[4], strong[4], aligning[2], usable;
    std::vector<BcslMove> moves, moves2;
};

// Conditions the view's four pairs, in the scanner's reading order (vertical
// pattern 1, vertical pattern 2, horizontal pattern 1, horizontal pattern 2),
// after the contrast mask; changed[k] is set when pair k's negative changed.
void maskCondition(const MaskPair pairs[4], MaskConditionWork* work, MaskConditionReport* report,
                   bool changed[4]);

// Writes the negative pixel `n` (bytes blue, green, red, as stored) for the
// positive pixel `p` so that p - n is s t + b (t red, green, blue; s > 0 as
// near to making its largest channel `magnitude` bytes as the bytes allow)
// and of class `wanted`; false, `n` untouched, when no bytes give that class.
bool maskEncode(const unsigned char* p, const float t[3], double magnitude, int wanted, unsigned char* n);
