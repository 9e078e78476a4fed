// A look at a point cloud: three orthographic views in a PNG, and a PLY file.
#pragma once

#include <string>
#include <vector>

#include "geometry/vec3.h"

struct Rgb {
    unsigned char r, g, b;
};

struct CloudPoint {
    Vec3 p;
    int angle;                  // turntable angle whose view gave the point, or -1
    bool ownColour = false;     // drawn in `colour` (the object's, from cloud.ply)
    Rgb colour = {0, 0, 0};     //   instead of the angle's colour
    Vec3 normal = {0, 0, 0};    // when not zero, a view shows the point only from its front
};

// The colour of a turntable angle (twelve hues around the wheel); grey for -1.
Rgb previewAngleColour(int angle);

// Front (x, y), side (z, y) and top (x, z) views side by side, as 8-bit RGB
// rows of width * height pixels; below them the key of the angle colours,
// unless every point carries its own colour. The front view looks from +z,
// the side view from -x, the top view from +y (x to the right, z down the
// page), each labelled so above its panel; a point with a normal is left
// out of a view it turns its back to, so the far side does not show through.
std::vector<unsigned char> previewDraw(const std::vector<CloudPoint>& cloud, int* width,
                                       int* height);

// An ASCII PLY file with x, y, z and the angle's colour per vertex.
std::string previewPly(const std::vector<CloudPoint>& cloud);
