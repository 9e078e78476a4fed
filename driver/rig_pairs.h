// The crossings of a view without the horizontal half, and their pairing
// between the two cameras by the rig's epipolar geometry.
//
// The projector shows the horizontal stripes twice, one copy above the other
// with a dark band between, so a crossing's codes (v, h) name two grid points.
// The built-in rig tells them apart by the picture's middle row, where its
// projector's band falls in both cameras. On another rig the band lies
// elsewhere in each camera and tilts, so the half cannot come from the row.
// Instead each camera's crossings are filed by (v, h) alone, and a camera-1
// crossing is paired with the camera-2 crossing of the same codes whose pixel
// lies on its epipolar line: the copies are different planes of light, so the
// wrong copy lies far from the line. A crossing with no such partner, or with
// two, gives no point.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/rig.h"
#include "image/image.h"

// One crossing: a pixel (row as the BMP reader numbers rows) marked in both
// boundary images, and its vertical and horizontal codes.
struct RigCrossing {
    int32_t x, y;
    int v, h;
};

// The crossings of two boundary images of one size, columns outer and rows
// inner; marked and coded as the correspondence table reads them, codes
// outside 0 to 35 skipped.
std::vector<RigCrossing> rigViewCrossings(const Image* vertical, const Image* horizontal);

// A crossing seen by both cameras: camera 1's pixel and camera 2's (rows as
// the BMP reader numbers them), each the centre of the crossing's blob.
struct RigPair {
    int v, h;
    double x1, y1, x2, y2;
};

// The distance in pixels within which a camera-2 pixel counts as lying on the
// epipolar line of a camera-1 pixel (both undistorted).
constexpr double kRigEpipolarTolerancePx = 3.0;

// Pairs the crossings of camera 1 and camera 2 of one view, in the order of
// their codes (v, then h, then camera 1's pixel). The pixels of one code that
// lie together (within two pixels) are one crossing, seen at their mean: a
// boundary a pixel wide crosses another in one to a few pixels, and their
// mean is nearer the true crossing than any one of them.
std::vector<RigPair> rigPairCrossings(const Rig& rig, const std::vector<RigCrossing>& camera1,
                                      const std::vector<RigCrossing>& camera2);

// The distance in undistorted camera-2 pixels of camera-2 pixel (u2, v2) from
// the epipolar line of camera-1 pixel (u1, v1) (OpenCV pixels); negative when
// either pixel cannot be undistorted.
double rigEpipolarDistance(const Rig& rig, double u1, double v1, double u2, double v2);
