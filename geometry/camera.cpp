#include "geometry/camera.h"

#include <cstdio>

namespace {

constexpr double kFocalLength = 927.0580085;
constexpr double kPrincipalX = 512.0;
constexpr double kPrincipalY = 384.0;

// The ray of the camera's pixel in its own frame, unit length, w = 1.
Vector4 rayDirection(const Camera& c) {
    return vecNormalize(
        Vector4{c.pixelX - c.principalX, c.pixelY - c.principalY, -c.focalLength, 1.0});
}

}  // namespace

Camera camCamera1() {
    return Camera{0.0,
                  0.0,
                  kFocalLength,
                  matFromRows(0.9681, 0.0, -0.250563, 0.0,         //
                              -0.0698833, 0.960319, -0.270008, 0.0,  //
                              0.24062, 0.278905, 0.929685, 0.0,      //
                              0.0, 0.0, 0.0, 1.0),
                  Vector4{51.7638, 50.0, 200.0, 1.0},
                  kPrincipalX,
                  kPrincipalY};
}

Camera camCamera2() {
    // The mirror image of camera 1 in the plane x = 0.
    return Camera{0.0,
                  0.0,
                  kFocalLength,
                  matFromRows(0.9681, 0.0, 0.250563, 0.0,          //
                              0.0698833, 0.960319, -0.270008, 0.0,   //
                              -0.24062, 0.278905, 0.929685, 0.0,     //
                              0.0, 0.0, 0.0, 1.0),
                  Vector4{-51.7638, 50.0, 200.0, 1.0},
                  kPrincipalX,
                  kPrincipalY};
}

Vector4 camTriangulate(Camera camera1, Camera camera2) {
    const Matrix4& r1 = camera1.rotation;
    const Vector4& p1 = camera1.position;
    const Vector4& p2 = camera2.position;

    const Vector4 d1 = rayDirection(camera1);
    const Vector4 d2 = rayDirection(camera2);
    // Camera 2's ray in camera 1's frame.
    const Vector4 e = matMulVec(matMul(r1, matTranspose(camera2.rotation)), d2);
    // Perpendicular to both rays.
    const Vector4 k{d1.y * e.z - d1.z * e.y, d1.z * e.x - d1.x * e.z, d1.x * e.y - d1.y * e.x, 0.0};
    // Camera 2's centre in camera 1's frame (w is camera 2's own).
    const Vector4 b = matMulVec(r1, Vector4{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z, p2.w});
    // s.x d1 + s.y e + s.z k = b: s.x runs along ray 1 to the foot of the common
    // perpendicular, -s.y along ray 2, and s.z k leads from foot to foot.
    const Matrix4 a = matFromRows(d1.x, e.x, k.x, 0.0,  //
                                  d1.y, e.y, k.y, 0.0,  //
                                  d1.z, e.z, k.z, 0.0,  //
                                  0.0, 0.0, 0.0, 1.0);
    const Vector4 s = matSolve(a, b);
    // Foot on ray 1 plus half the way to ray 2, then back to the world frame.
    const double h = s.z * 0.5;
    const Vector4 q{s.x * d1.x + h * k.x, s.x * d1.y + h * k.y, s.x * d1.z + h * k.z, d1.w};
    const Vector4 o = matMulVec(matTranspose(r1), q);
    const Vector4 point{p1.x + o.x, p1.y + o.y, p1.z + o.z, p1.w};
    if (0.01 * (s.x * s.x + s.y * s.y) < s.z * s.z) {
        std::fputs("ERRO:  RAIOS MUITO SEPARADOS\n", stdout);
    }
    return point;
}
