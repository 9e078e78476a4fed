// The solid of revolution (scene/lathe.h) against shapes whose answers are
// closed-form: a cylinder and a cone frustum turned from two-vertex
// profiles; the vase against its stated size, against both cameras at every
// angle, and scanned whole.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "eval/report.h"
#include "geometry/camera_model.h"
#include "scene/lathe.h"
#include "scene/scene.h"
#include "tools_util.h"

namespace {

constexpr double kAxisX = 2, kAxisZ = -1;

// A cylinder of radius 5 from y = -3 to y = 4 about (kAxisX, kAxisZ).
Lathe cylinder() {
    Lathe l;
    EXPECT_TRUE(latheMake(kAxisX, kAxisZ, {5, 5}, {-3, 4}, &l));
    return l;
}

// A frustum from radius 6 at y = 0 to radius 2 at y = 3: its side's slant is
// 5 long and its outward normal in the half-plane is (0.6, 0.8).
Lathe frustum() {
    Lathe l;
    EXPECT_TRUE(latheMake(kAxisX, kAxisZ, {6, 2}, {0, 3}, &l));
    return l;
}

// The point at radius r and height y off the axis, in the direction
// (0.6, 0.8) of the horizontal plane, which no test relies on.
Vec3 at(double r, double y) { return {kAxisX + 0.6 * r, y, kAxisZ + 0.8 * r}; }

}  // namespace

TEST(Lathe, DistanceToACylinderAndAFrustum) {
    struct Case {
        const char* what;
        bool cone;
        double r, y, distance;
    };
    const Case cases[] = {
        {"beside the side", false, 8, 0, 3},
        {"on the side", false, 5, 1, 0},
        {"above the top disc", false, 2, 6, 2},
        {"below the bottom disc", false, 1, -4, 1},
        {"beyond the top rim", false, 8, 8, 5},   // 3-4-5 from the rim circle
        {"on the axis, nearest the bottom", false, 0, 0, -3},
        {"inside, nearest the side", false, 4.5, 0.5, -0.5},
        {"inside, nearest the top", false, 1, 3.25, -0.75},
        // The frustum side's midpoint (4, 1.5) moved along its normal.
        {"off the slant side", true, 4 + 2 * 0.6, 1.5 + 2 * 0.8, 2},
        {"inside the slant side", true, 4 - 0.5 * 0.6, 1.5 - 0.5 * 0.8, -0.5},
        {"above the small top", true, 1, 5, 2},
        {"beyond the bottom rim", true, 9, -4, 5},
    };
    const Lathe cyl = cylinder(), cone = frustum();
    for (const Case& c : cases)
        EXPECT_NEAR(latheDistance(c.cone ? cone : cyl, at(c.r, c.y)), c.distance, 1e-12) << c.what;
}

TEST(Lathe, RaysMeetTheClosedFormSurface) {
    struct Case {
        const char* what;
        bool cone;
        Vec3 origin, direction;  // origin relative to the axis at y = 0
        double t;                // 0: no entry
        Vec3 normal;
    };
    const double s7 = std::sqrt(7.0);
    const Case cases[] = {
        // x^2 + 3^2 = 5^2 on the cylinder's side.
        {"level ray off centre", false, {-20, 1, 3}, {1, 0, 0}, 16, {-0.8, 0, 0.6}},
        {"straight down onto the top", false, {3, 10, 0}, {0, -1, 0}, 6, {0, 1, 0}},
        {"straight up into the bottom", false, {1, -10, 0}, {0, 1, 0}, 7, {0, -1, 0}},
        // Down a 2:1 slope from (-20, 11): meets x = -5 at y = 3.5.
        {"sloping ray", false, {-20, 11, 0}, {2 / std::sqrt(5.0), -1 / std::sqrt(5.0), 0},
         0.75 * std::sqrt(500.0), {-1, 0, 0}},
        {"over the top", false, {-20, 5, 0}, {1, 0, 0}, 0, {0, 0, 0}},
        {"from inside", false, {0, 0, 0}, {1, 0, 0}, 0, {0, 0, 0}},
        // Radius 6 - 4 y / 3 = 14 / 3 at y = 1.
        {"at the cone through the axis", true, {10, 1, 0}, {-1, 0, 0}, 10 - 14.0 / 3, {0.6, 0.8, 0}},
        // Radius 4 at y = 1.5, met 3 off the axis: x = -sqrt(7).
        {"at the cone off centre", true, {-20, 1.5, 3}, {1, 0, 0}, 20 - s7,
         {-0.6 * s7 / 4, 0.8, 0.6 * 3 / 4}},
    };
    const Lathe cyl = cylinder(), cone = frustum();
    for (const Case& c : cases) {
        const Vec3 origin = c.origin + Vec3{kAxisX, 0, kAxisZ};
        double t = -1;
        Vec3 n{0, 0, 0};
        const bool hit = latheIntersect(c.cone ? cone : cyl, origin, c.direction, 1e-6, 1e9, &t, &n);
        EXPECT_EQ(hit, c.t > 0) << c.what;
        if (!hit || c.t <= 0) continue;
        EXPECT_NEAR(t, c.t, 1e-10) << c.what;
        EXPECT_NEAR(n.x, c.normal.x, 1e-12) << c.what;
        EXPECT_NEAR(n.y, c.normal.y, 1e-12) << c.what;
        EXPECT_NEAR(n.z, c.normal.z, 1e-12) << c.what;
        // Not before tMin, not at or beyond tMax.
        EXPECT_FALSE(latheIntersect(c.cone ? cone : cyl, origin, c.direction, 1e-6, c.t - 1e-6, &t, &n))
            << c.what;
    }
}

TEST(Lathe, AreaAndEvenSamples) {
    // Cylinder: side 2 pi 5 7, discs 2 pi 25; frustum: side pi (6 + 2) 5,
    // discs pi (36 + 4), its lower half of the side pi (6 + 4) 2.5.
    const Lathe cyl = cylinder(), cone = frustum();
    EXPECT_NEAR(latheArea(cyl), 120 * kPi, 1e-9);
    EXPECT_NEAR(latheArea(cone), 80 * kPi, 1e-9);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int n = 40000;
    long onDiscs = 0, lowerSide = 0, side = 0;
    double worst = 0;
    for (int i = 0; i < n; ++i) {
        const double u1 = unit(rng), u2 = unit(rng), u3 = unit(rng);
        const Vec3 p = lathePoint(cyl, u1, u2, u3), q = lathePoint(cone, u1, u2, u3);
        worst = std::max({worst, std::fabs(latheDistance(cyl, p)), std::fabs(latheDistance(cone, q))});
        onDiscs += p.y == -3 || p.y == 4;
        if (q.y > 0 && q.y < 3) {
            ++side;
            lowerSide += q.y < 1.5;
        }
    }
    EXPECT_LT(worst, 1e-12);
    // Shares within about four standard deviations.
    EXPECT_NEAR(static_cast<double>(onDiscs) / n, 50.0 / 120, 0.01);
    EXPECT_NEAR(static_cast<double>(side) / n, 40.0 / 80, 0.01);
    EXPECT_NEAR(static_cast<double>(lowerSide) / side, 25.0 / 40, 0.012);
}

TEST(Lathe, BadProfilesRefused) {
    struct Case {
        const char* what;
        std::vector<double> r, y;
    };
    const Case cases[] = {
        {"one vertex", {5}, {0}},
        {"heights falling", {5, 4, 3}, {0, 2, 1}},
        {"a flat step", {5, 4}, {1, 1}},
        {"a radius of zero", {5, 0}, {0, 1}},
        {"a negative radius", {-1, 2}, {0, 1}},
        {"not a number", {5, std::nan("")}, {0, 1}},
        {"lengths differ", {5, 4}, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        Lathe l = cylinder();
        EXPECT_FALSE(latheMake(0, 0, c.r, c.y, &l)) << c.what;
        EXPECT_EQ(l.r.size(), 4u) << c.what;  // untouched
    }
}

// The vase of its stated size: on y = -45 with a bottom disc of radius 9,
// 69 high with a top disc of radius 11, within 20 of the axis.
TEST(Vase, StatedSizeAndEveryRayMetExactly) {
    SceneObject vase;
    ASSERT_TRUE(sceneMakeObject("vase", &vase));
    EXPECT_NEAR(sceneDistance(vase, {0, -50, 0}), 5, 1e-12);
    EXPECT_NEAR(sceneDistance(vase, {4, -47, -3}), 2, 1e-12);
    EXPECT_NEAR(sceneDistance(vase, {0, 29, 0}), 5, 1e-12);
    EXPECT_NEAR(sceneDistance(vase, {-3, 27, 4}), 3, 1e-12);
    EXPECT_LT(sceneDistance(vase, {0, -10, 0}), -5);
    EXPECT_GT(sceneDistance(vase, {20.5, -10, 0}), 0);
    EXPECT_GT(sceneDistance(vase, {0, -10, 20.5}), 0);

    // Rays of camera 1 over the whole picture, at an angle: a hit lies on
    // the surface to 1e-9 and the ray is outside the vase all the way to it;
    // a miss stays outside everywhere. The distance and the intersection are
    // worked out independently of each other.
    const Camera camera = camCamera1();
    long hits = 0;
    for (double py = 0.5; py < 768; py += 9.7) {
        for (double px = 0.5; px < 1024; px += 11.3) {
            Vec3 o, d;
            cameraRay(camera, px, py, &o, &d);
            o = turntableToObject(o, 75);
            d = turntableToObject(d, 75);
            Hit hit;
            const bool met = sceneIntersect(vase, o, d, 1e-6, 1e9, &hit);
            const double end = met ? hit.t : 400;
            if (met) {
                ++hits;
                ASSERT_LT(std::fabs(sceneDistance(vase, o + hit.t * d)), 1e-9) << px << "," << py;
                // The shading normal leans from the segment's by half the
                // angle between neighbours (about 0.05 radians at most).
                const Vec3 x = o + hit.t * d;
                EXPECT_GT(dot(hit.normal, sceneNormal(vase, x)), std::cos(0.05)) << px << "," << py;
            }
            for (double t = 0; t < end - 1e-3;) {
                const double dist = sceneDistance(vase, o + t * d);
                ASSERT_GT(dist, 0) << px << "," << py << " at " << t;
                t += std::max(0.5 * dist, 1e-3);
            }
        }
    }
    EXPECT_GT(hits, 250);
}

// The whole vase lies within both cameras' pictures and the projector's, with
// a margin: its every point is seen and lit at every angle (the turn moves no
// point of a solid of revolution, so angle 0 stands for all).
TEST(Vase, WholeInBothPicturesAndInTheProjectorsLight) {
    const Lathe vase = latheVase();
    long points = 0;
    for (size_t i = 0; i < vase.r.size(); i += 3)
        for (int k = 0; k < 72; ++k) {
            const double a = k * kPi / 36;
            const Vec3 q{vase.r[i] * std::cos(a), vase.y[i], vase.r[i] * std::sin(a)};
            for (const Camera& camera : {camCamera1(), camCamera2()}) {
                double px, py;
                ASSERT_TRUE(cameraProject(camera, q, &px, &py));
                EXPECT_TRUE(px > 20 && px < 1004 && py > 20 && py < 748) << i << " " << k;
            }
            const ProjectorPixel p = projectorProject(q);
            EXPECT_TRUE(p.inFront && p.column > 5 && p.column < 1019 && p.row > 0.5 && p.row < 767.5)
                << i << " " << k << ": " << p.column << " " << p.row;
            ++points;
        }
    EXPECT_GT(points, 10000);
}

// A scan of the vase at the twelve angles decodes to points on it, from its
// foot to its lip, at every angle.
TEST(VaseScan, TwelveAnglesDecodeToPointsOnTheVase) {
    TempDir dir;
    ASSERT_EQ(renderScan("--object vase --aa 1", dir.path()), 0);
    const EvalReport r = scanAndEvaluate(dir.path());
    ASSERT_EQ(r.perAngle.size(), 12u);
    for (const auto& [angle, points] : r.perAngle) EXPECT_GT(points, 200) << angle;
    EXPECT_LT(r.median, 0.2);
    EXPECT_GT(r.within1, 0.97);
    std::ifstream all(dir.file("pontos.txt"));
    double low = 1e9, high = -1e9;
    for (Vec3 p; all >> p.x >> p.y >> p.z;) {
        low = std::min(low, p.y);
        high = std::max(high, p.y);
    }
    EXPECT_LT(low, -35);
    EXPECT_GT(high, 20);
}
