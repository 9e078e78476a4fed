// A look at a point cloud: three orthographic views in a PNG, and a PLY file.
#pragma once

#include <string>
#include <vector>

#include "scene/scene.h"

struct CloudPoint {
    Vec3 p;
    int angle;  // turntable angle whose view gave the point, or -1
};

struct Rgb {
    unsigned char r, g, b;
};

// The colour of a turntable angle (twelve hues around the wheel); grey for -1.
Rgb previewAngleColour(int angle);

// Front (x, y), side (z, y) and top (x, z) views side by side with a colour
// key, as 8-bit RGB rows of width * height pixels.
std::vector<unsigned char> previewDraw(const std::vector<CloudPoint>& cloud, int* width,
                                       int* height);

// An ASCII PLY file with x, y, z and the angle's colour per vertex.
std::string previewPly(const std::vector<CloudPoint>& cloud);
