// slscan-calibrate against rendered photographs of a known rig: the rig comes
// back within the calibration's limits, bad folders are refused without a rig
// file, and the verdict says which is which. The axis fit and the reversed
// corner order are checked on their own with exact synthetic data.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Eigen/Geometry>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <opencv2/calib3d.hpp>
#include <string>
#include <vector>

#include "calibrate/calib_cameras.h"
#include "calibrate/calib_run.h"
#include "calibrate/calib_turntable.h"
#include "image/bmp_write.h"
#include "image/image.h"
#include "render/calibration_render.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

RigCamera lookingAt(Vec3 centre, Vec3 target, double rollDegrees, double fx, double fy, double cx,
                    double cy, std::vector<double> distortion) {
    RigCamera c;
    c.fx = fx;
    c.fy = fy;
    c.cx = cx;
    c.cy = cy;
    for (int i = 0; i < 5; ++i) c.distortion[i] = distortion[i];
    const Vec3 z = normalized(target - centre);
    const Vec3 x0 = normalized(cross(z, Vec3{0, 1, 0}));
    const double a = rollDegrees * kPi / 180;
    const Vec3 x = std::cos(a) * x0 + std::sin(a) * cross(z, x0);
    const Vec3 y = cross(z, x);
    const Vec3 rows[3] = {x, y, z};
    for (int r = 0; r < 3; ++r) {
        c.rotation[3 * r] = rows[r].x;
        c.rotation[3 * r + 1] = rows[r].y;
        c.rotation[3 * r + 2] = rows[r].z;
    }
    c.centre = centre;
    return c;
}

// Unlike the built-in rig in every way the calibration measures: the picture
// size, fx != fy, principal points off centre, two different lenses with
// distortion, cameras at different heights and distances, rolled, and a
// tilted turntable axis away from the world's origin.
Rig testRig() {
    Rig rig;
    rig.width = 640;
    rig.height = 480;
    rig.cameras[0] = lookingAt({70, 60, 200}, {3, 45, 5}, 2.0, 560, 556, 331.5, 236, {-0.12, 0.05, 0.001, -0.0008, 0});
    rig.cameras[1] = lookingAt({-50, 70, 210}, {-2, 40, 0}, -1.5, 575, 571, 314, 247, {-0.08, 0.02, -0.0005, 0.0007, 0});
    rig.turntable.present = true;
    rig.turntable.axisPoint = {4, -2, 6};
    rig.turntable.axisDirection = normalized({0.05, 1, -0.08});
    return rig;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A folder of this test process's own: CTest runs each test of a suite as
// a process of its own, several at once, and a shared name would let one
// process remove the photographs another is reading.
std::string processFolder(const std::string& name) {
    return ::testing::TempDir() + "calib_" + name + "_" + std::to_string(getpid());
}

// A copy of the rendered folder to change.
std::string copyOf(const std::string& source, const std::string& name) {
    const std::string dir = processFolder(name);
    std::system(("rm -rf '" + dir + "' && cp -r '" + source + "' '" + dir + "' && rm -f '" + dir +
                 "/rig.json'")
                    .c_str());
    return dir;
}

void writeGrey(const std::string& path, int width, int height, float value) {
    Image* image = imgCreate(width, height);
    for (size_t i = 0; i < imgFloatCount(image); ++i) image->pixels[i] = value;
    imgWriteBMP(path.c_str(), image);
    imgDestroy(image);
}

class CalibrateRendered : public ::testing::Test {
protected:
    static std::string dir;
    static CalibrationRenderOptions render;

    static void SetUpTestSuite() {
        dir = processFolder("rendered");
        std::system(("rm -rf '" + dir + "'").c_str());
        std::string error;
        ASSERT_TRUE(renderCalibration(testRig(), render, dir, &error)) << error;
    }

    // This process's rendering and every copy made of it.
    static void TearDownTestSuite() {
        std::system(("rm -rf '" + ::testing::TempDir() + "'calib_*_" + std::to_string(getpid()))
                        .c_str());
    }

    static CalibOptions options(const std::string& folder) {
        CalibOptions o;
        o.dir = folder;
        o.columns = render.columns;
        o.rows = render.rows;
        o.square = render.square;
        o.cornerHeight = renderCalibrationCornerHeight(render);
        return o;
    }
};

std::string CalibrateRendered::dir;
CalibrationRenderOptions CalibrateRendered::render;

TEST_F(CalibrateRendered, RecoversTheRigWithinTheLimits) {
    const std::string folder = copyOf(dir, "good");
    const CalibReport report = calibRun(options(folder));
    ASSERT_EQ(report.verdict, CalibVerdict::kGood) << calibFormatReport(report);
    EXPECT_TRUE(exists(folder + "/rig.json"));
    const Rig truth = testRig();
    const Rig& rig = report.rig;
    EXPECT_EQ(rig.width, 640);
    EXPECT_EQ(rig.height, 480);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE("camera " + std::to_string(c + 1));
        const RigCamera& t = truth.cameras[c];
        const RigCamera& r = rig.cameras[c];
        EXPECT_NEAR(r.fx, t.fx, 0.005 * t.fx);
        EXPECT_NEAR(r.fy, t.fy, 0.005 * t.fy);
        EXPECT_NEAR(r.cx, t.cx, 3.0);
        EXPECT_NEAR(r.cy, t.cy, 3.0);
        EXPECT_NEAR(r.distortion[0], t.distortion[0], 0.01);
        EXPECT_LE(report.cameras[c].rms, 0.3);
    }
    const double baseline = length(truth.cameras[0].centre - truth.cameras[1].centre);
    EXPECT_NEAR(length(rig.cameras[0].centre - rig.cameras[1].centre), baseline, 0.005 * baseline);
    EXPECT_NEAR(report.baseline, baseline, 0.005 * baseline);

    // The axis after the rigid motion that best lays the recovered cameras
    // (centres, and points 200 units along their optical axes) onto the true
    // ones: each rig has its own world frame.
    Eigen::Matrix<double, 3, 4> from, to;
    for (int c = 0; c < 2; ++c) {
        const RigCamera* cams[2] = {&rig.cameras[c], &truth.cameras[c]};
        Eigen::Matrix<double, 3, 4>* sets[2] = {&from, &to};
        for (int k = 0; k < 2; ++k) {
            const double* r = cams[k]->rotation;
            const Vec3 p = cams[k]->centre, q = p + 200.0 * Vec3{r[6], r[7], r[8]};
            sets[k]->col(2 * c) << p.x, p.y, p.z;
            sets[k]->col(2 * c + 1) << q.x, q.y, q.z;
        }
    }
    const Eigen::Matrix4d motion = Eigen::umeyama(from, to, false);
    const Eigen::Matrix3d turn = motion.block<3, 3>(0, 0);
    const auto moved = [&](Vec3 v) {
        const Eigen::Vector3d w = turn * Eigen::Vector3d(v.x, v.y, v.z) + motion.block<3, 1>(0, 3);
        return Vec3{w.x(), w.y(), w.z()};
    };
    const Vec3 a = rig.turntable.axisDirection;
    const Eigen::Vector3d axisE = turn * Eigen::Vector3d(a.x, a.y, a.z);
    const Vec3 axis{axisE.x(), axisE.y(), axisE.z()};
    const Vec3 trueAxis = truth.turntable.axisDirection;
    EXPECT_LT(std::acos(std::min(1.0, dot(trueAxis, axis))) * 180 / kPi, 0.2);
    // With the board's corner height given, the origin is the turntable's top.
    const Vec3 off = moved(rig.turntable.axisPoint) - truth.turntable.axisPoint;
    const double along = dot(off, trueAxis);
    EXPECT_LT(length(off - along * trueAxis), 0.5) << "the axis is away from the true one";
    EXPECT_LT(std::fabs(along), 0.5) << "the origin is off along the axis";
    EXPECT_FALSE(rig.turntable.clockwise);
    // Written in the turntable frame itself.
    EXPECT_EQ(rig.turntable.axisDirection.y, 1.0);
    ASSERT_EQ(report.turntablePhotos.size(), render.turntableAngles.size());
    for (const CalibTurntablePhoto& t : report.turntablePhotos) EXPECT_LT(std::fabs(t.difference), 0.2) << t.name;
}

// Each refusal: exit status 1, no rig file, the reason named.
TEST_F(CalibrateRendered, BadFoldersAreRefusedWithoutARigFile) {
    struct Case {
        const char* name;
        void (*spoil)(const std::string& dir, CalibOptions* o);
        const char* reason;
    };
    const Case cases[] = {
        {"no_board",
         [](const std::string& d, CalibOptions*) {
             for (int k = 1; k <= 15; ++k)
                 for (int c = 1; c <= 2; ++c) {
                     char name[64];
                     std::snprintf(name, sizeof name, "/stereo/cam%d_%02d.bmp", c, k);
                     writeGrey(d + name, 640, 480, 0.4f + 0.01f * k);
                 }
         },
         "was not found in"},
        {"wrong_board", [](const std::string&, CalibOptions* o) {
             o->columns = 10;
             o->rows = 7;
         },
         "was not found in"},
        {"mixed_sizes",
         [](const std::string& d, CalibOptions*) {
             for (int k = 1; k <= 6; ++k) {
                 char name[64];
                 std::snprintf(name, sizeof name, "/stereo/cam2_%02d.bmp", k);
                 writeGrey(d + name, 800, 600, 0.5f);
             }
         },
         "different sizes"},
        {"three_pairs",
         [](const std::string& d, CalibOptions*) {
             for (int k = 4; k <= 15; ++k)
                 for (int c = 1; c <= 2; ++c) {
                     char name[64];
                     std::snprintf(name, sizeof name, "/stereo/cam%d_%02d.bmp", c, k);
                     std::remove((d + name).c_str());
                 }
         },
         "too few usable pairs"},
        {"misnamed_turntable_photograph",
         [](const std::string& d, CalibOptions*) {
             // The photographs at 30 degrees named 45.
             for (int c = 1; c <= 2; ++c) {
                 const std::string from = d + "/turntable/cam" + std::to_string(c) + "_030.bmp";
                 const std::string to = d + "/turntable/cam" + std::to_string(c) + "_045.bmp";
                 std::remove(to.c_str());
                 std::rename(from.c_str(), to.c_str());
             }
         },
         "inconsistent with their names"},
        {"no_turntable_folder",
         [](const std::string& d, CalibOptions*) {
             std::system(("rm -rf '" + d + "/turntable'").c_str());
         },
         "turntable: no such folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = copyOf(dir, c.name);
        CalibOptions o = options(folder);
        c.spoil(folder, &o);
        const CalibReport report = calibRun(o);
        EXPECT_EQ(report.verdict, CalibVerdict::kRefused) << calibFormatReport(report);
        EXPECT_EQ(report.result.status, 1);
        EXPECT_NE(report.refusal.find(c.reason), std::string::npos) << report.refusal;
        EXPECT_FALSE(report.advice.empty());
        EXPECT_FALSE(exists(folder + "/rig.json"));
        std::printf("  %s refused in %.1f s: %s\n", c.name, report.seconds, report.refusal.c_str());
    }
}

// A photograph without its partner is named and the rest still calibrates,
// but the verdict is no longer "good"; the cameras alone need no turntable.
TEST_F(CalibrateRendered, VerdictWarnsAndCamerasOnlyHasNoTurntable) {
    const std::string folder = copyOf(dir, "partnerless");
    std::remove((folder + "/stereo/cam2_07.bmp").c_str());
    std::system(("rm -rf '" + folder + "/turntable'").c_str());
    CalibOptions o = options(folder);
    o.camerasOnly = true;
    o.output = folder + "/cameras.json";
    const CalibReport report = calibRun(o);
    ASSERT_EQ(report.verdict, CalibVerdict::kWarnings) << calibFormatReport(report);
    EXPECT_EQ(report.result.status, 0);
    EXPECT_TRUE(exists(folder + "/cameras.json"));
    EXPECT_FALSE(report.rig.turntable.present);
    bool named = false;
    for (const CalibPhoto& p : report.cameras[0].photos)
        named |= p.name == "stereo/cam1_07.bmp" && !p.used &&
                 p.reason.find("no photograph") != std::string::npos;
    EXPECT_TRUE(named) << calibFormatReport(report);
    EXPECT_NE(calibFormatReport(report).find("Verdict: usable, with warnings"), std::string::npos);
}

// The same photographs named with the angles negated: the turntable turns the
// other way as the names count, clockwise seen from above, and the measured
// angles follow the names.
TEST_F(CalibrateRendered, NamesCountingTheOtherWayMakeItClockwise) {
    const std::string folder = copyOf(dir, "clockwise");
    const std::string t = folder + "/turntable/cam";
    for (int c = 1; c <= 2; ++c)
        for (int a : {15, 30, 45}) {
            char low[32], high[32];
            std::snprintf(low, sizeof low, "%d_%03d.bmp", c, a);
            std::snprintf(high, sizeof high, "%d_%03d.bmp", c, 360 - a);
            std::rename((t + low).c_str(), (t + "tmp").c_str());
            std::rename((t + high).c_str(), (t + low).c_str());
            std::rename((t + "tmp").c_str(), (t + high).c_str());
        }
    CalibOptions o = options(folder);
    o.write = false;
    const CalibReport report = calibRun(o);
    ASSERT_EQ(report.verdict, CalibVerdict::kGood) << calibFormatReport(report);
    EXPECT_TRUE(report.rig.turntable.clockwise);
    for (const CalibTurntablePhoto& p : report.turntablePhotos) EXPECT_LT(std::fabs(p.difference), 0.2) << p.name;
    EXPECT_FALSE(exists(folder + "/rig.json"));
}

TEST(CalibrateBoard, ParsesInnerCornersOnly) {
    const struct {
        const char* text;
        bool ok;
        int columns, rows;
    } cases[] = {{"9x6", true, 9, 6},  {"3x3", true, 3, 3},  {"100x4", true, 100, 4},
                 {"9X6", false, 0, 0}, {"9x", false, 0, 0},  {"x6", false, 0, 0},
                 {"9x6x2", false, 0, 0}, {"2x6", false, 0, 0}, {"-9x6", false, 0, 0},
                 {"9 x6", false, 0, 0}, {"101x6", false, 0, 0}, {"9x6 ", false, 0, 0},
                 {"", false, 0, 0}};
    for (const auto& c : cases) {
        int columns = 0, rows = 0;
        EXPECT_EQ(calibParseBoard(c.text, &columns, &rows), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(columns, c.columns);
            EXPECT_EQ(rows, c.rows);
        }
    }
}

// Corners of a board turned about a known axis, with no noise: the fit gives
// back the axis, its point and every angle, in either sense of `up`.
TEST(CalibrateTurn, RecoversAKnownAxisFromAllCorners) {
    const Vec3 axis = normalized({0.1, 0.98, -0.05});
    const Vec3 point{12, -3, 140};
    const double angles[] = {-40, -20, 0, 15, 35};
    std::vector<Vec3> board;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 7; ++i) board.push_back({30.0 + 8 * i, 5.0 + 8 * j, 150.0 + 0.5 * i});
    std::vector<std::vector<Vec3>> poses;
    for (double a : angles) {
        const double t = a * kPi / 180;
        std::vector<Vec3> pose;
        for (Vec3 b : board) {
            const Vec3 v = b - point;
            pose.push_back(point + std::cos(t) * v + std::sin(t) * cross(axis, v) +
                           ((1 - std::cos(t)) * dot(axis, v)) * axis);
        }
        poses.push_back(pose);
    }
    for (double side : {1.0, -1.0}) {
        CalibTurnFit fit;
        std::string error;
        ASSERT_TRUE(calibFitTurn(poses, 2, side * Vec3{0, 1, 0}, &fit, &error)) << error;
        EXPECT_NEAR(dot(fit.direction, side * axis), 1.0, 1e-12);
        const Vec3 off = fit.point - point;
        EXPECT_NEAR(length(off - dot(off, axis) * axis), 0.0, 1e-6);
        for (size_t k = 0; k < poses.size(); ++k) EXPECT_NEAR(fit.degrees[k], side * angles[k], 1e-6);
        EXPECT_LT(fit.residual, 1e-6);
    }
}

// A board seen by camera 2 numbered from the other end (a half turn in its
// plane) is told apart from the others, whichever pairs it hits.
TEST(CalibrateStereo, FindsPairsWithReversedCorners) {
    const int columns = 9, rows = 6;
    const double square = 8;
    const cv::Matx33d relative = cv::Matx33d(0.96, 0, -0.28, 0, 1, 0, 0.28, 0, 0.96);
    const cv::Vec3d shift(-120, 5, 10);
    std::vector<cv::Mat> r1, t1, r2, t2;
    const std::vector<bool> flipped = {false, true, false, false, true, false, false, false};
    const cv::Matx33d half(-1, 0, 0, 0, -1, 0, 0, 0, 1);
    const cv::Vec3d centre(0.5 * (columns - 1) * square, 0.5 * (rows - 1) * square, 0);
    for (size_t k = 0; k < flipped.size(); ++k) {
        const cv::Vec3d rv(0.2 * std::sin(k * 1.3), 0.3 * std::cos(k * 0.7), 0.1 * k);
        cv::Mat m;
        cv::Rodrigues(rv, m);
        const cv::Matx33d board1(m);
        const cv::Vec3d tb1(-30 + 5.0 * k, -20, 250 + 3.0 * k);
        cv::Matx33d board2 = relative * board1;
        cv::Vec3d tb2 = relative * tb1 + shift;
        if (flipped[k]) {  // the numbering of the board turned half a turn
            tb2 = tb2 + board2 * (2.0 * centre);
            board2 = board2 * half;
        }
        cv::Mat v1, v2;
        cv::Rodrigues(cv::Mat(board1), v1);
        cv::Rodrigues(cv::Mat(board2), v2);
        r1.push_back(v1);
        t1.push_back(cv::Mat(tb1).clone());
        r2.push_back(v2);
        t2.push_back(cv::Mat(tb2).clone());
    }
    EXPECT_EQ(calibReversedPairs(r1, t1, r2, t2, columns, rows, square), flipped);
}

}  // namespace
