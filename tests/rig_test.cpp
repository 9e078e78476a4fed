// The rig's camera model: the built-in rig converts back bit for bit, the
// lens model inverts, and the turntable frame is what its definition says.
#include <gtest/gtest.h>

#include <cstring>

#include "geometry/camera_model.h"
#include "geometry/rig.h"

namespace {

bool sameBits(const Camera& a, const Camera& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Rig, BuiltInConvertsBackBitForBit) {
    const Rig rig = rigBuiltIn();
    EXPECT_TRUE(sameBits(rigTriangulationCamera(rig, 0), camCamera1()));
    EXPECT_TRUE(sameBits(rigTriangulationCamera(rig, 1), camCamera2()));
    // OpenCV's rows count from the top: the stored row 0 is v = 767.
    EXPECT_EQ(rig.cameras[0].cy, 383.0);
    double px, py;
    ASSERT_TRUE(rigTriangulationPixel(rig, 0, 600, 767 - 300, &px, &py));
    EXPECT_EQ(px, 600.0);
    EXPECT_EQ(py, 300.0);
    EXPECT_TRUE(rigTurntableFrame(rig).identity);
}

TEST(Rig, BuiltInRayLooksAtTheSameWorldPointAsTheRecord) {
    // The principal rays of both built-in cameras pass within 0.0002 of
    // (0, -10, 0), about 215.13 from each centre.
    const Rig rig = rigBuiltIn();
    for (int i = 0; i < 2; ++i) {
        Vec3 o, d;
        ASSERT_TRUE(rigRay(rig.cameras[i], rig.cameras[i].cx, rig.cameras[i].cy, &o, &d));
        const Vec3 p = o + 215.13 * d;
        EXPECT_NEAR(p.x, 0.0, 0.01);
        EXPECT_NEAR(p.y, -10.0, 0.01);
        EXPECT_NEAR(p.z, 0.0, 0.01);
    }
}

TEST(Rig, LensModelInvertsOverThePicture) {
    // A strong barrel lens with tangential terms, as a cheap wide lens has.
    RigCamera c;
    c.fx = 800;
    c.fy = 810;
    c.cx = 330.5;
    c.cy = 250.25;
    const double k[5] = {-0.28, 0.09, 0.0012, -0.0008, -0.012};
    std::memcpy(c.distortion, k, sizeof k);
    for (double u = 0; u <= 640; u += 64)
        for (double v = 0; v <= 480; v += 48) {
            double x, y, u2, v2;
            ASSERT_TRUE(rigUndistort(c, u, v, &x, &y)) << u << " " << v;
            rigDistort(c, x, y, &u2, &v2);
            EXPECT_NEAR(u2, u, 1e-9);
            EXPECT_NEAR(v2, v, 1e-9);
        }
    // One value by hand: x = 0.1, y = 0 gives r2 = 0.01, radial
    // 1 - 0.0028 + 0.000009 - 0.000000012 = 0.997208988, tangential
    // p2 (r2 + 2 x^2) = -0.0008 * 0.03 in x and p1 r2 = 0.000012 in y.
    double u, v;
    rigDistort(c, 0.1, 0.0, &u, &v);
    EXPECT_NEAR(u, 330.5 + 800 * (0.0997208988 - 0.000024), 1e-9);
    EXPECT_NEAR(v, 250.25 + 810 * 0.000012, 1e-9);
}

TEST(Rig, ProjectionAndRayAgree) {
    Rig rig = rigBuiltIn();
    rig.cameras[0].distortion[0] = -0.2;
    rig.cameras[0].fy = 940;
    const Vec3 world{3, -7, 12};
    double u, v;
    ASSERT_TRUE(rigProject(rig.cameras[0], world, &u, &v));
    Vec3 o, d;
    ASSERT_TRUE(rigRay(rig.cameras[0], u, v, &o, &d));
    const Vec3 back = world - o;
    const Vec3 off = back - dot(back, d) * d;
    // The built-in rotation is orthonormal to about six decimals only, so
    // its transpose inverts it to about 1e-6 of the 200 units to the point.
    EXPECT_LT(length(off), 5e-4);
    // A point behind the camera is not seen.
    EXPECT_FALSE(rigProject(rig.cameras[0], Vec3{0, 100, 500}, &u, &v));
}

TEST(Rig, TurntableFrameOfATiltedAxis) {
    Rig rig = rigBuiltIn();
    rig.turntable.axisPoint = {10, -5, 3};
    rig.turntable.axisDirection = normalized(Vec3{0.1, 1, 0});
    const RigFrame f = rigTurntableFrame(rig);
    EXPECT_FALSE(f.identity);
    EXPECT_NEAR(dot(f.x, f.y), 0, 1e-15);
    EXPECT_NEAR(dot(f.y, f.z), 0, 1e-15);
    EXPECT_NEAR(length(f.x), 1, 1e-15);
    // The axis point is the origin; a point one unit up the axis is (0, 1, 0).
    const Vec3 up = rigToTurntable(f, rig.turntable.axisPoint + rig.turntable.axisDirection);
    EXPECT_NEAR(up.x, 0, 1e-12);
    EXPECT_NEAR(up.y, 1, 1e-12);
    EXPECT_NEAR(up.z, 0, 1e-12);
    // The cameras lie towards +z.
    EXPECT_GT(rigToTurntable(f, rig.cameras[0].centre).z, 0);
    const Vec3 p{1, 2, 3};
    const Vec3 q = rigFromTurntable(f, rigToTurntable(f, p));
    EXPECT_NEAR(length(q - p), 0, 1e-12);
}

}  // namespace
