// The calibrated cameras of the rig and the triangulation of one grid point.
//
// Each camera is a pinhole: a focal length and principal point in pixels, a
// world-to-camera rotation R and a centre P in the world frame. A world point X
// has camera coordinates R (X - P); the camera looks along its -z axis, x runs
// with the pixel columns and y with the pixel rows as the reader numbers them.
#pragma once

#include "geometry/algebra.h"

struct Camera {
    double pixelX;       // column where this camera sees the current point
    double pixelY;       // row where this camera sees the current point
    double focalLength;  // pixels
    Matrix4 rotation;    // world to camera
    Vector4 position;    // centre in the world frame, w = 1
    double principalX;   // pixels
    double principalY;   // pixels
};

// The two calibrated cameras, with pixel (0, 0).
Camera camCamera1();
Camera camCamera2();

// The midpoint of the common perpendicular of the two cameras' rays through
// their pixels, in the world frame, with w taken from camera 1's position.
// When the rays pass too far apart for their distance from the cameras,
// "ERRO:  RAIOS MUITO SEPARADOS" is printed on stdout and the midpoint is still
// returned. Parallel rays give camera 1's centre. Camera 1 always comes first:
// the computation runs in its frame and is not symmetric.
Vector4 camTriangulate(Camera camera1, Camera camera2);
