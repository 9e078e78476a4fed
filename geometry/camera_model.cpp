#include "geometry/camera_model.h"

#include <cmath>

#include "geometry/rig.h"

void cameraRay(const Camera& camera, double px, double py, Vec3* origin, Vec3* direction) {
    const Vector4 local = vecNormalize(
        {px - camera.principalX, py - camera.principalY, -camera.focalLength, 0.0});
    const Vector4 world = matMulVec(matTranspose(camera.rotation), local);
    *origin = {camera.position.x, camera.position.y, camera.position.z};
    *direction = normalized({world.x, world.y, world.z});
}

bool cameraProject(const Camera& camera, Vec3 world, double* px, double* py) {
    const Vector4 local = matMulVec(
        camera.rotation, {world.x - camera.position.x, world.y - camera.position.y,
                          world.z - camera.position.z, 0.0});
    *px = camera.principalX + camera.focalLength * local.x / -local.z;
    *py = camera.principalY + camera.focalLength * local.y / -local.z;
    // The camera looks along its -z axis.
    return local.z < 0 && std::isfinite(*px) && std::isfinite(*py);
}

namespace {

// The distorted normalised point of (x, y), before the camera matrix.
void distortNormalised(const double* k, double x, double y, double* xd, double* yd) {
    const double r2 = x * x + y * y;
    const double radial = 1.0 + r2 * (k[0] + r2 * (k[1] + r2 * k[4]));
    *xd = x * radial + 2.0 * k[2] * x * y + k[3] * (r2 + 2.0 * x * x);
    *yd = y * radial + k[2] * (r2 + 2.0 * y * y) + 2.0 * k[3] * x * y;
}

}  // namespace

void rigDistort(const RigCamera& camera, double x, double y, double* u, double* v) {
    double xd, yd;
    distortNormalised(camera.distortion, x, y, &xd, &yd);
    *u = camera.fx * xd + camera.cx;
    *v = camera.fy * yd + camera.cy;
}

bool rigUndistort(const RigCamera& camera, double u, double v, double* x, double* y) {
    const double xd = (u - camera.cx) / camera.fx;
    const double yd = (v - camera.cy) / camera.fy;
    *x = xd;
    *y = yd;
    if (!rigHasDistortion(camera)) return true;
    // Newton's method on f(x, y) = distort(x, y) - (xd, yd), from the
    // distorted point itself; the Jacobian by central differences is exact
    // enough for quadratic convergence at these magnitudes.
    const double* k = camera.distortion;
    for (int step = 0; step < 100; ++step) {
        double fx, fy;
        distortNormalised(k, *x, *y, &fx, &fy);
        fx -= xd;
        fy -= yd;
        const double h = 1e-7;
        double ax, ay, bx, by, cx, cy, dx, dy;
        distortNormalised(k, *x + h, *y, &ax, &ay);
        distortNormalised(k, *x - h, *y, &bx, &by);
        distortNormalised(k, *x, *y + h, &cx, &cy);
        distortNormalised(k, *x, *y - h, &dx, &dy);
        const double j00 = (ax - bx) / (2 * h), j10 = (ay - by) / (2 * h);
        const double j01 = (cx - dx) / (2 * h), j11 = (cy - dy) / (2 * h);
        const double det = j00 * j11 - j01 * j10;
        if (!(std::fabs(det) > 1e-12)) return false;
        const double sx = (j11 * fx - j01 * fy) / det;
        const double sy = (j00 * fy - j10 * fx) / det;
        *x -= sx;
        *y -= sy;
        if (!std::isfinite(*x) || !std::isfinite(*y)) return false;
        if (std::fabs(sx) < 1e-12 && std::fabs(sy) < 1e-12) return true;
    }
    return false;
}

bool rigProject(const RigCamera& camera, Vec3 world, double* u, double* v) {
    const Vec3 d = world - camera.centre;
    const double* r = camera.rotation;
    const double cx = r[0] * d.x + r[1] * d.y + r[2] * d.z;
    const double cy = r[3] * d.x + r[4] * d.y + r[5] * d.z;
    const double cz = r[6] * d.x + r[7] * d.y + r[8] * d.z;
    if (!(cz > 0)) return false;
    rigDistort(camera, cx / cz, cy / cz, u, v);
    return std::isfinite(*u) && std::isfinite(*v);
}

bool rigRay(const RigCamera& camera, double u, double v, Vec3* origin, Vec3* direction) {
    double x, y;
    if (!rigUndistort(camera, u, v, &x, &y)) return false;
    const double* r = camera.rotation;
    // R^T (x, y, 1): the camera's axes are the rows of R.
    const Vec3 d{r[0] * x + r[3] * y + r[6], r[1] * x + r[4] * y + r[7], r[2] * x + r[5] * y + r[8]};
    *origin = camera.centre;
    *direction = normalized(d);
    return true;
}
