// The object's own colour at each point, from the scan's photographs.
//
// A positive exposure and its negative light every surface point once with
// each channel of the projector, so their sum is the photograph under full
// light: the stripes cancel and the object's colour, scaled by its shading,
// remains. For a point of angle a and each camera, the per-angle point is
// projected with the rig's camera (common/tool_rig.h) and the sum is read
// there (bilinear) for
// each of the four pairs (pattern 1 and 2, vertical and horizontal).
//
// A pixel whose negative equals its positive holds no full-light value (a
// contrast mask silences background pixels that way) and is left out of the
// bilinear read; a pair with none of its four pixels left gives nothing.
//
// The rule: per camera, the channel-wise median of the sums its pairs gave
// (the mean of the middle two of four), which outvotes one spoilt pair. Where both cameras see the
// point and agree (every channel within kColourAgree + kColourAgreeShare of
// the brighter value), their mean; where they disagree (one camera looks at
// something else in front of the point, or a highlight), the camera that looks
// more squarely along the point's normal; where only one camera has the point
// inside its picture, that camera's colour. The result is the full-light value
// clamped to 0..1 and stored as bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/scan_points.h"
#include "common/tool_rig.h"
#include "geometry/vec3.h"

constexpr double kColourAgree = 0.06;       // in 0..1 units of one exposure
constexpr double kColourAgreeShare = 0.20;

struct ColourRgb {
    uint8_t r, g, b;
};

struct ColourStats {
    long bothAgree = 0;     // mean of both cameras
    long disagree = 0;      // both saw it, the more head-on camera taken
    long oneCamera = 0;     // the other had it outside its picture or only on silenced pixels
    long noCamera = 0;      // neither camera had it: left grey
};

// What the two cameras' photographs give at one point: sums[camera][k][channel]
// (0..2 units) for k below pairs[camera]; a camera with no pair has the point
// outside its picture or only on silenced pixels.
struct ColourSamples {
    double sums[2][4][3] = {};
    int pairs[2] = {0, 0};
};

// Combines the samples into the point's colour by the rule above.
// `squareness[camera]` is the cosine between the normal and the direction to
// that camera.
ColourRgb colourCombine(const ColourSamples& samples, const double squareness[2],
                        ColourStats* stats);

// The colour of every point i with keep[i] (others get black), reading the
// photographs of DIR/cavalo angle by angle, two at a time. `normals` are in
// the object frame. False, with one line naming the photograph, when one the
// points need is missing or cannot be read.
bool colourPoints(const std::string& dir, const ToolRig& rig, const ScanPoints& points,
                  const std::vector<char>& keep, const std::vector<Vec3>& normals,
                  std::vector<ColourRgb>* colours, ColourStats* stats, std::string* error);
