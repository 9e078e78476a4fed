#include "geometry/rig.h"

#include "geometry/camera_model.h"

Rig rigBuiltIn() {
    // The built-in records turned into OpenCV's convention: rows counted from
    // the top (v = 767 - row, so cy = 767 - 384), and the camera's y and z
    // axes reversed (the rotation's second and third rows negated).
    Rig rig;
    rig.unit = "unit";
    rig.width = 1024;
    rig.height = 768;
    for (int i = 0; i < 2; ++i) {
        const Camera c = i == 0 ? camCamera1() : camCamera2();
        RigCamera& r = rig.cameras[i];
        r.fx = r.fy = c.focalLength;
        r.cx = c.principalX;
        r.cy = (rig.height - 1) - c.principalY;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col)
                r.rotation[3 * row + col] = row == 0 ? matAt(c.rotation, row, col)
                                                     : -matAt(c.rotation, row, col);
        r.centre = {c.position.x, c.position.y, c.position.z};
    }
    rig.turntable.present = true;
    rig.turntable.axisPoint = {0, 0, 0};
    rig.turntable.axisDirection = {0, 1, 0};
    rig.turntable.clockwise = false;
    // The built-in projector's dark band lies on the middle row of both
    // cameras' pictures.
    rig.halfRule = RigHalfRule::kMiddleRow;

    // The projector at (0, 50, 200) looking at (0, -10, 0), focal length 2200,
    // 1024 x 768 pixels, its picture's centre on the optical axis: the rows of
    // its rotation are its right, down and forward axes.
    RigProjector& p = rig.projector;
    p.present = true;
    p.width = 1024;
    p.height = 768;
    p.fx = p.fy = 2200.0;
    p.cx = 511.5;
    p.cy = 383.5;
    p.centre = {0, 50, 200};
    const Vec3 forward = normalized(Vec3{0, -10, 0} - p.centre);
    const Vec3 right = normalized(cross(forward, {0, 1, 0}));
    const Vec3 up = cross(right, forward);
    const Vec3 rows[3] = {right, -1.0 * up, forward};
    for (int row = 0; row < 3; ++row) {
        p.rotation[3 * row] = rows[row].x;
        p.rotation[3 * row + 1] = rows[row].y;
        p.rotation[3 * row + 2] = rows[row].z;
    }
    return rig;
}

void rigPlaceProjector(Rig* rig) {
    const RigProjector builtIn = rigBuiltIn().projector;
    RigProjector& p = rig->projector;
    p = builtIn;
    p.centre = 0.5 * (rig->cameras[0].centre + rig->cameras[1].centre);
    const Vec3 forward = normalized(rig->turntable.axisPoint - p.centre);
    const Vec3 right = normalized(cross(forward, rig->turntable.axisDirection));
    const Vec3 down = cross(forward, right);
    const Vec3 rows[3] = {right, down, forward};
    for (int row = 0; row < 3; ++row) {
        p.rotation[3 * row] = rows[row].x;
        p.rotation[3 * row + 1] = rows[row].y;
        p.rotation[3 * row + 2] = rows[row].z;
    }
}

namespace {

bool sameVec(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

bool sameArray(const double* a, const double* b, int n) {
    for (int i = 0; i < n; ++i)
        if (!(a[i] == b[i])) return false;
    return true;
}

}  // namespace

bool rigSameGeometry(const Rig& a, const Rig& b) {
    if (a.width != b.width || a.height != b.height || a.halfRule != b.halfRule) return false;
    for (int i = 0; i < 2; ++i) {
        const RigCamera &p = a.cameras[i], &q = b.cameras[i];
        if (p.fx != q.fx || p.fy != q.fy || p.cx != q.cx || p.cy != q.cy ||
            !sameArray(p.distortion, q.distortion, 5) || !sameArray(p.rotation, q.rotation, 9) ||
            !sameVec(p.centre, q.centre))
            return false;
    }
    const RigTurntable &s = a.turntable, &t = b.turntable;
    if (s.present != t.present || !sameVec(s.axisPoint, t.axisPoint) ||
        !sameVec(s.axisDirection, t.axisDirection) || s.clockwise != t.clockwise)
        return false;
    const RigProjector &p = a.projector, &q = b.projector;
    if (p.present != q.present) return false;
    return !p.present || (p.width == q.width && p.height == q.height && p.fx == q.fx &&
                          p.fy == q.fy && p.cx == q.cx && p.cy == q.cy &&
                          sameArray(p.rotation, q.rotation, 9) && sameVec(p.centre, q.centre));
}

bool rigHasDistortion(const RigCamera& camera) {
    for (double k : camera.distortion)
        if (k != 0.0) return true;
    return false;
}

Camera rigTriangulationCamera(const Rig& rig, int index) {
    const RigCamera& r = rig.cameras[index];
    const double* m = r.rotation;
    // Negation is exact, so the built-in rig's rows come back bit for bit.
    return Camera{0.0,
                  0.0,
                  r.fx,
                  matFromRows(m[0], m[1], m[2], 0.0,     //
                              -m[3], -m[4], -m[5], 0.0,  //
                              -m[6], -m[7], -m[8], 0.0,  //
                              0.0, 0.0, 0.0, 1.0),
                  Vector4{r.centre.x, r.centre.y, r.centre.z, 1.0},
                  r.cx,
                  (rig.height - 1) - r.cy};
}

bool rigTriangulationPixel(const Rig& rig, int index, double u, double v, double* px,
                           double* py) {
    const RigCamera& r = rig.cameras[index];
    const double lastRow = rig.height - 1;
    if (!rigHasDistortion(r) && r.fx == r.fy) {
        *px = u;
        *py = lastRow - v;
        return true;
    }
    // The undistorted ray (x, y, 1) of OpenCV's frame is (x, -y, -1) in the
    // triangulation's; scaled by fx it is the ray of an ideal pinhole with the
    // record's focal length and principal point.
    double x, y;
    if (!rigUndistort(r, u, v, &x, &y)) return false;
    *px = r.cx + r.fx * x;
    *py = (lastRow - r.cy) - r.fx * y;
    return true;
}

RigFrame rigTurntableFrame(const Rig& rig) {
    const RigTurntable& t = rig.turntable;
    const Vec3 y = normalized(t.axisDirection);
    const Vec3 mid = 0.5 * (rig.cameras[0].centre + rig.cameras[1].centre);
    const Vec3 toward = mid - t.axisPoint;
    const Vec3 z = normalized(toward - dot(toward, y) * y);
    const Vec3 x = cross(y, z);
    RigFrame frame{t.axisPoint, x, y, z, false};
    frame.identity = t.axisPoint.x == 0 && t.axisPoint.y == 0 && t.axisPoint.z == 0 &&
                     x.x == 1 && x.y == 0 && x.z == 0 && y.x == 0 && y.y == 1 && y.z == 0 &&
                     z.x == 0 && z.y == 0 && z.z == 1;
    return frame;
}

Vec3 rigToTurntable(const RigFrame& frame, Vec3 world) {
    if (frame.identity) return world;
    const Vec3 d = world - frame.origin;
    return {dot(frame.x, d), dot(frame.y, d), dot(frame.z, d)};
}

Vec3 rigFromTurntable(const RigFrame& frame, Vec3 local) {
    if (frame.identity) return local;
    return frame.origin + local.x * frame.x + local.y * frame.y + local.z * frame.z;
}
