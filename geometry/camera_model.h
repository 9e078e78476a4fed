// Rays and projections of a calibrated camera, for the tools that trace
// scenes, colour clouds and draw previews.
//
// Two camera descriptions meet here. A `Camera` record (geometry/camera.h) is
// the triangulation's own: a pinhole looking along its -z axis with rows
// counted as the BMP reader counts them. A `RigCamera` (geometry/rig.h) is a
// camera of a rig file: OpenCV's pinhole with Brown-Conrady lens distortion,
// rows counted from the top of the picture. Each has its ray and its
// projection; a RigCamera's are exact inverses of each other up to the
// convergence of the undistortion.
#pragma once

#include "geometry/camera.h"
#include "geometry/vec3.h"

struct RigCamera;

// The world ray of camera pixel (px, py), py as the BMP reader numbers rows:
// from the centre along R^T normalize(px - cx, py - cy, -f).
void cameraRay(const Camera& camera, double px, double py, Vec3* origin, Vec3* direction);

// Where a world point appears in the camera (the inverse of cameraRay); false
// when the point is not in front of the camera.
bool cameraProject(const Camera& camera, Vec3 world, double* px, double* py);

// Distorts the normalised image point (x, y) (z = 1 in the camera frame) into
// the pixel (u, v) by OpenCV's model: radial k1, k2, k3 and tangential p1, p2.
void rigDistort(const RigCamera& camera, double x, double y, double* u, double* v);

// The inverse of rigDistort: the normalised point (x, y) whose distorted pixel
// is (u, v), by Newton's method run to convergence (a step below 1e-12, at
// most 100 steps). False when it does not converge (a pixel outside where the
// lens model can be inverted). Without distortion it is exact division.
bool rigUndistort(const RigCamera& camera, double u, double v, double* x, double* y);

// Where a world point appears in the camera, distortion included; false when
// the point is not in front of it.
bool rigProject(const RigCamera& camera, Vec3 world, double* u, double* v);

// The world ray of pixel (u, v): from the centre, unit direction. False when
// the pixel cannot be undistorted.
bool rigRay(const RigCamera& camera, double u, double v, Vec3* origin, Vec3* direction);
