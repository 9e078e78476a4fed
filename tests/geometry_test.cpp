// The 4 x 4 algebra, the calibrated cameras and the triangulation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "geometry/algebra.h"
#include "geometry/camera.h"

namespace {

std::string printed(const Vector4& v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%f %f %f", v.x, v.y, v.z);
    return buf;
}

void expectNear(const Vector4& got, const Vector4& want, double tol = 1e-12) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
    EXPECT_NEAR(got.w, want.w, tol);
}

const Matrix4 kIdentity = matFromRows(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

// Triangulates with the calibrated cameras at the two pixels, capturing stdout.
Vector4 triangulate(double x1, double y1, double x2, double y2, std::string* out) {
    Camera c1 = camCamera1(), c2 = camCamera2();
    c1.pixelX = x1;
    c1.pixelY = y1;
    c2.pixelX = x2;
    c2.pixelY = y2;
    testing::internal::CaptureStdout();
    const Vector4 p = camTriangulate(c1, c2);
    *out = testing::internal::GetCapturedStdout();
    return p;
}

}  // namespace

TEST(Algebra, RotationCases) {
    const Matrix4 r90 = matRotation(90, 0, 0, 1);
    expectNear(matMulVec(r90, {1, 0, 0, 1}), {0, 1, 0, 1});
    expectNear(matMulVec(r90, {0, 1, 0, 0}), {-1, 0, 0, 0});
    // Turns about y: every angle of the whole run (driver_test.cpp).
}

TEST(Algebra, DeterminantAndSolve) {
    EXPECT_EQ(matDeterminant(kIdentity), 1.0);
    EXPECT_EQ(matDeterminant(matFromRows(1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 2, 7, 1, 8)), 0.0);
    EXPECT_DOUBLE_EQ(matDeterminant(matFromRows(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 5)),
                     120.0);

    const Vector4 b{1, -2, 3, 4};
    const auto scaled = [](double s) {
        return matFromRows(s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, s);
    };
    expectNear(matSolve(scaled(0.0099), b), {0, 0, 0, 0}, 0);  // det ~9.6e-9
    expectNear(matSolve(scaled(0.011), b), {1 / 0.011, -2 / 0.011, 3 / 0.011, 4 / 0.011}, 1e-9);

    const Matrix4 a = matFromRows(4, 1, 0, 2, 1, 3, 1, 0, 0, 1, 5, 1, 2, 0, 1, 6);
    const Vector4 x = matSolve(a, b);
    expectNear(matMulVec(a, x), b, 1e-12);
}

TEST(Camera, TriangulatedPointsAsPrinted) {
    struct Case {
        double x1, y1, x2, y2;
        const char* point;
        bool apart;
    } cases[] = {
        // (600, 300, 420, 310) and (530, 400, 480, 400): the whole run.
        {512, 384, 512, 384, "0.000034 -9.999892 0.000015", false},
        {100, 100, 900, 700, "1.095804 33.623653 147.678608", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        std::string out;
        const Vector4 p = triangulate(c.x1, c.y1, c.x2, c.y2, &out);
        EXPECT_EQ(printed(p), c.point);
        EXPECT_EQ(out, c.apart ? "ERRO:  RAIOS MUITO SEPARADOS\n" : "");
    }
}

TEST(Camera, CoincidingRaysGiveCameraOneCentre) {
    Camera c = camCamera1();
    c.pixelX = 600;
    c.pixelY = 300;
    testing::internal::CaptureStdout();
    const Vector4 p = camTriangulate(c, c);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(printed(p), "51.763800 50.000000 200.000000");
}

TEST(Camera, SeparationLineFollowsTheRatioOfSzToSxSy) {
    // A rig of plain numbers: camera 1 at the origin looking down -z, camera 2
    // with the identity rotation placed so that s comes out as chosen. Pixel
    // (0, 0) with principal point (0, 0) and focal length 1 gives d1 = (0, 0, -1);
    // camera 2's pixel (1, 0) gives e = (1, 0, -1) / sqrt 2, so k = (0, -1/sqrt 2, 0).
    const Camera c1{0, 0, 1, kIdentity, {0, 0, 0, 1}, 0, 0};
    const double r = 1 / std::sqrt(2.0);
    struct Case {
        double sx, sy, sz;
        bool apart;
    } cases[] = {{3, -4, 0.49, false}, {3, -4, 0.51, true}, {3, -4, -0.51, true}, {3, -4, 0, false}};
    for (const Case& c : cases) {
        Camera c2{1, 0, 1, kIdentity, {c.sy * r, -c.sz * r, -c.sx - c.sy * r, 1}, 0, 0};
        testing::internal::CaptureStdout();
        const Vector4 p = camTriangulate(c1, c2);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  c.apart ? "ERRO:  RAIOS MUITO SEPARADOS\n" : "")
            << c.sz;
        // The midpoint: the foot on ray 1 plus half of s.z k.
        expectNear(p, {0, -c.sz * r * 0.5, -c.sx, 1}, 1e-12);
    }
}
