// A scan with a rig of its own, end to end: a rig unlike the built-in one in
// every respect is rendered, scanned with slscan --rig, and the points are
// measured against the true surface; and the refusals of slscan --rig.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/rig_file.h"
#include "image/scan_layout.h"
#include "patterns/patterns.h"
#include "render/render_run.h"
#include "tools_util.h"

namespace {

// The rotation rows (right, down, forward) of a camera at `centre` looking at
// `target` with `up` up in its picture, rolled by `roll` degrees.
void lookAt(Vec3 centre, Vec3 target, Vec3 up, double roll, double* r) {
    const Vec3 f = normalized(target - centre);
    const Vec3 right = normalized(cross(f, up));
    const Vec3 down = cross(f, right);
    const double c = std::cos(roll * M_PI / 180), s = std::sin(roll * M_PI / 180);
    const Vec3 rows[3] = {c * right + s * down, c * down - s * right, f};
    for (int i = 0; i < 3; ++i) {
        r[3 * i] = rows[i].x;
        r[3 * i + 1] = rows[i].y;
        r[3 * i + 2] = rows[i].z;
    }
}

// Another picture size, fx != fy, the principal point off the centre, barrel
// distortion, asymmetric cameras, the turntable axis tilted and off the
// origin, turning clockwise, and a rolled projector above the cameras with
// its dark band far from the pictures' middle rows.
Rig oddRig(int width, int height) {
    const double s = width / 400.0;
    Rig rig;
    rig.unit = "mm";
    rig.width = width;
    rig.height = height;
    rig.turntable.present = true;
    rig.turntable.axisPoint = {4, -6, 3};
    rig.turntable.axisDirection = normalized({0.06, 1, -0.04});
    rig.turntable.clockwise = true;
    const Vec3 axis = rig.turntable.axisDirection;
    const Vec3 target = rig.turntable.axisPoint + 8.0 * axis;
    RigCamera& a = rig.cameras[0];
    a.fx = 700 * s;
    a.fy = 706 * s;
    a.cx = 210.3 * s;
    a.cy = 141.9 * s;
    const double ka[5] = {-0.12, 0.05, 0.0007, -0.0004, 0};
    std::copy(ka, ka + 5, a.distortion);
    a.centre = {62, 48, 192};
    lookAt(a.centre, target, axis, 2, a.rotation);
    RigCamera& b = rig.cameras[1];
    b.fx = 690 * s;
    b.fy = 695 * s;
    b.cx = 196.2 * s;
    b.cy = 155.4 * s;
    const double kb[5] = {-0.09, 0.03, -0.0005, 0.0006, 0};
    std::copy(kb, kb + 5, b.distortion);
    b.centre = {-44, 58, 206};
    lookAt(b.centre, target + Vec3{1, 2, 0}, axis, -3, b.rotation);
    RigProjector& p = rig.projector;
    p.present = true;
    p.width = 1024;
    p.height = 768;
    p.fx = 2100;
    p.fy = 2110;
    p.cx = 530;
    p.cy = 700;
    p.centre = {6, 95, 185};
    lookAt(p.centre, target - Vec3{0, 4, 0}, axis, 9, p.rotation);
    return rig;
}

std::vector<Vec3> readPoints(const std::string& path) {
    std::vector<Vec3> points;
    std::ifstream in(path);
    for (Vec3 p; in >> p.x >> p.y >> p.z;) points.push_back(p);
    return points;
}

struct Accuracy {
    size_t points = 0;
    double median = 0, within1 = 0, beyond5 = 0;
};

Accuracy measure(const std::vector<Vec3>& points, const std::string& objectName) {
    SceneObject object;
    sceneMakeObject(objectName, &object);
    std::vector<double> d;
    for (const Vec3& p : points) d.push_back(std::fabs(sceneDistance(object, p)));
    Accuracy a;
    a.points = d.size();
    if (d.empty()) return a;
    std::sort(d.begin(), d.end());
    a.median = d[d.size() / 2];
    a.within1 = static_cast<double>(std::count_if(d.begin(), d.end(), [](double v) { return v <= 1; })) / d.size();
    a.beyond5 = static_cast<double>(std::count_if(d.begin(), d.end(), [](double v) { return v > 5; })) / d.size();
    return a;
}

std::string slscanIn(const std::string& dir, const std::string& args) {
    return "cd '" + dir + "' && '" SLSCAN_EXE "' " + args + " > out.txt 2> err.txt";
}

// One render shared by the tests below (a few seconds on one core).
class RigScan : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        RenderRun run;
        run.render.object = "horse";
        run.render.antialias = 1;
        run.render.rig = oddRig(400, 300);
        run.render.width = 400;
        run.render.height = 300;
        run.dir = dir_->path();
        run.threads = 2;
        run.angles = {0, 45, 90, 135, 180, 225, 270, 315};
        ASSERT_EQ(renderRun(run).status, 0);
    }
    static void TearDownTestSuite() {
        if (std::getenv("KEEP")) return;
        delete dir_;
        dir_ = nullptr;
    }
    static TempDir* dir_;
};
TempDir* RigScan::dir_ = nullptr;

TEST_F(RigScan, PointsLieOnTheTrueSurface) {
    const std::string dir = dir_->path();
    // The rig was written beside the photographs.
    Rig rig;
    std::string error;
    ASSERT_TRUE(rigFileRead(dir + "/rig.json", &rig, &error)) << error;
    ASSERT_TRUE(rigSameGeometry(rig, oddRig(400, 300)));
    ASSERT_EQ(runCommand(slscanIn(dir, "--rig rig.json")), 0) << readFile(dir + "/err.txt");
    const std::vector<Vec3> all = readPoints(dir + "/pontos.txt");
    const Accuracy a = measure(all, "horse");
    std::printf("rig scan: %zu points, median %.4f, within 1 %.2f %%, beyond 5 %.3f %%\n", a.points,
                a.median, 100 * a.within1, 100 * a.beyond5);
    EXPECT_GT(a.points, 8u * 120);
    EXPECT_LT(a.median, 0.15);
    EXPECT_GT(a.within1, 0.97);
    EXPECT_LT(a.beyond5, 0.005);
    // Each angle's file holds its points turned by the angle: clockwise, so
    // the all-points line is the per-angle point turned by +angle about y.
    size_t at = 0;
    for (int angle : {0, 45, 90, 135, 180, 225, 270, 315}) {
        const std::vector<Vec3> view = readPoints(dir + "/pontos_" + std::to_string(angle) + ".txt");
        ASSERT_LE(at + view.size(), all.size());
        const double c = std::cos(angle * M_PI / 180), s = std::sin(angle * M_PI / 180);
        for (const Vec3& p : view) {
            const Vec3 q = all[at++];
            EXPECT_NEAR(q.x, c * p.x + s * p.z, 2e-6);
            EXPECT_NEAR(q.y, p.y, 2e-6);
            EXPECT_NEAR(q.z, -s * p.x + c * p.z, 2e-6);
        }
    }
    EXPECT_EQ(at, all.size());
}

TEST_F(RigScan, TheMiddleRowLosesCrossingsTheEpipolarRuleKeeps) {
    // The same rig told to split the copies at the middle row: its band lies
    // elsewhere, so the two copies of a code share a cell in each camera and
    // one of them is lost (or paired with the wrong one).
    const std::string dir = dir_->path();
    Rig rig = oddRig(400, 300);
    rig.halfRule = RigHalfRule::kMiddleRow;
    std::string error;
    ASSERT_TRUE(rigFileWrite(dir + "/middle.json", rig, &error)) << error;
    runCommand("rm -f '" + dir + "'/pontos*.txt");
    ASSERT_EQ(runCommand(slscanIn(dir, "--rig middle.json --angles 0,90")), 0);
    const Accuracy middle = measure(readPoints(dir + "/pontos.txt"), "horse");
    // Only the angles asked for were scanned.
    struct stat st;
    EXPECT_NE(stat((dir + "/pontos_45.txt").c_str(), &st), 0);
    ASSERT_EQ(runCommand(slscanIn(dir, "--rig rig.json --angles 0,90")), 0);
    const Accuracy epipolar = measure(readPoints(dir + "/pontos.txt"), "horse");
    std::printf("angles 0 and 90: middle row %zu points, epipolar %zu points\n", middle.points,
                epipolar.points);
    EXPECT_LT(middle.points, 0.85 * epipolar.points);
    EXPECT_LT(epipolar.beyond5, 0.005);
}

TEST_F(RigScan, RefusalsWriteNothing) {
    const std::string dir = dir_->path();
    Rig small = oddRig(320, 240);
    Rig noTurntable = oddRig(400, 300);
    noTurntable.turntable.present = false;
    std::string error;
    ASSERT_TRUE(rigFileWrite(dir + "/small.json", small, &error));
    ASSERT_TRUE(rigFileWrite(dir + "/cams.json", noTurntable, &error));
    writeText(dir + "/bad.json", rigFileFormat(oddRig(400, 300)).replace(2, 8, "\"formats"));
    const struct {
        const char* args;
        std::string err;
    } cases[] = {
        {"--rig small.json",
         "slscan: \"cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp\" is 400 x 300 "
         "pixels, but the rig small.json is for 320 x 240 pixels; nothing written.\n"},
        {"--rig cams.json", "slscan: " + rigMissingTurntableMessage("cams.json") + "\n"},
        {"--rig bad.json", "slscan: bad.json: \"format\": missing\n"},
        {"--rig none.json", "slscan: none.json: cannot read: No such file or directory\n"},
        {"--rig bad.json --print-rig", "slscan: bad.json: \"format\": missing\n"},
        {"--rig rig.json --angles 0,400",
         "slscan: --angles \"0,400\": \"400\" is not a whole number of degrees from 0 to 359 "
         "(e.g. --angles 0,45,90)\n"},
    };
    for (const auto& c : cases) {
        std::remove((dir + "/pontos.txt").c_str());
        EXPECT_EQ(runCommand(slscanIn(dir, c.args)), 2) << c.args;
        EXPECT_EQ(readFile(dir + "/err.txt"), c.err);
        EXPECT_EQ(readFile(dir + "/out.txt"), "");
        struct stat st;
        EXPECT_NE(stat((dir + "/pontos.txt").c_str(), &st), 0) << c.args;
    }
}

}  // namespace

namespace {

// The projector's pictures: the stripes the scanner decodes, at any size.
TEST(Patterns, StripesBandAndExposures) {
    const int w = 74, h = 96;  // two pixels a vertical stripe; band rows 46 to 49
    const std::vector<PatternPicture> pictures = patternPictures(w, h);
    ASSERT_EQ(pictures.size(), 10u);
    EXPECT_EQ(pictures[0].name, "1 Positivo 1 Vertical.png");
    EXPECT_EQ(pictures[7].name, "8 Negativo 2 Horizontal.png");
    EXPECT_EQ(pictures[8].name, "9 Branco.png");
    EXPECT_EQ(pictures[9].name, "10 Preto.png");
    const auto at = [&](int picture, int x, int y, int c) {
        return pictures[picture].rgb[3 * (static_cast<size_t>(y) * w + x) + c];
    };
    for (const PatternPicture& p : pictures) ASSERT_EQ(p.rgb.size(), 3u * w * h);
    // Vertical pattern 1, positive: stripe k lights primary kPattern1[k] - 1.
    for (int k = 0; k < 37; ++k)
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(at(0, 2 * k, 10, c), c == kPattern1[k] - 1 ? 255 : 0) << k;
            EXPECT_EQ(at(3, 2 * k + 1, 90, c), c == kPattern2[k] - 1 ? 0 : 255) << k;
        }
    // Horizontal: the lower copy's first stripe at the bottom row, the upper
    // copy's last stripe at the top row, the band dark in both exposures.
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(at(4, 5, h - 1, c), c == kPattern1[0] - 1 ? 255 : 0);
        EXPECT_EQ(at(4, 5, 0, c), c == kPattern1[36] - 1 ? 255 : 0);
        for (int y = 46; y <= 49; ++y) {
            EXPECT_EQ(at(4, 5, y, c), 0) << y;
            EXPECT_EQ(at(5, 5, y, c), 0) << y;
        }
        EXPECT_EQ(at(5, 5, 45, c) + at(4, 5, 45, c), 255);
        EXPECT_EQ(at(4, 5, 50, c) + at(5, 5, 50, c), 255);
        EXPECT_EQ(at(8, 7, 7, c), 255);
        EXPECT_EQ(at(9, 7, 7, c), 0);
    }
}

TEST(Patterns, ToolWritesPngOfTheSize) {
    TempDir dir;
    ASSERT_EQ(runCommand(toolCommand("slscan-patterns") + "--size 1280x800 '" + dir.path() +
                         "/p' > /dev/null"),
              0);
    const std::string png = readFile(dir.path() + "/p/5 Positivo 1 Horizontal.png");
    ASSERT_GT(png.size(), 24u);
    // The PNG header: width and height, big-endian, at bytes 16 and 20.
    const auto be32 = [&](size_t i) {
        return (static_cast<unsigned char>(png[i]) << 24) | (static_cast<unsigned char>(png[i + 1]) << 16) |
               (static_cast<unsigned char>(png[i + 2]) << 8) | static_cast<unsigned char>(png[i + 3]);
    };
    EXPECT_EQ(be32(16), 1280u);
    EXPECT_EQ(be32(20), 800u);
    EXPECT_EQ(runCommand(toolCommand("slscan-patterns") + "--size 12x '" + dir.path() +
                         "/q' 2> /dev/null"),
              2);
}

}  // namespace

namespace {

// The built-in rig as a file changes nothing: slscan --rig of what
// slscan --print-rig writes gives the very bytes of plain slscan (point
// files, console, status), and slscan-render --rig of it the very
// photographs. (A full-size render of twelve angles: slow.)
TEST(RigScanSlow, BuiltInRigAsAFileIsByteForByte) {
    TempDir dir;
    const std::string d = dir.path();
    ASSERT_EQ(renderScan("--aa 1", d), 0);
    ASSERT_EQ(runCommand("cd '" + d + "' && '" SLSCAN_EXE "' --print-rig > r.json"), 0);
    for (const char* sub : {"plain", "rig"})
        ASSERT_EQ(runCommand("mkdir '" + d + "/" + sub + "' && ln -s ../cavalo '" + d + "/" + sub +
                             "/cavalo'"),
                  0);
    const int plain = runCommand(slscanIn(d + "/plain", ""));
    const int rig = runCommand(slscanIn(d + "/rig", "--rig ../r.json"));
    EXPECT_EQ(plain, 0);
    EXPECT_EQ(rig, plain);
    std::vector<std::string> files = {"out.txt", "err.txt", "pontos.txt"};
    for (int angle = 0; angle < 360; angle += 30) files.push_back("pontos_" + std::to_string(angle) + ".txt");
    for (const std::string& f : files) {
        const std::string a = readFile(d + "/plain/" + f);
        EXPECT_FALSE(f != "err.txt" && a.empty()) << f;
        EXPECT_TRUE(a == readFile(d + "/rig/" + f)) << f;
    }
    // The render through the rig file: the same photographs.
    TempDir again;
    ASSERT_EQ(renderScan("--aa 1 --angles 0,30 --rig '" + d + "/r.json'", again.path()), 0);
    int compared = 0;
    for (int angle : {0, 30})
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read) {
                const std::string name = scanPhotographPath(read, camera, angle);
                EXPECT_TRUE(readFile(d + "/" + name) == readFile(again.path() + "/" + name)) << name;
                ++compared;
            }
    EXPECT_EQ(compared, 32);
    struct stat st;
    EXPECT_NE(stat((again.path() + "/rig.json").c_str(), &st), 0);  // the built-in rig needs none
}

}  // namespace
