// The cloud tool: colour against the renderer's albedo, normals, the outlier
// rule on planted strays, the PLY read back by a reader of its own, and the
// whole tool on a rendered scan.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cloud/cloud_run.h"
#include "cloud/colour.h"
#include "cloud/neighbours.h"
#include "cloud/normals.h"
#include "cloud/outliers.h"
#include "common/ply.h"
#include "common/scan_points.h"
#include "eval/cloud_report.h"
#include "eval/eval_run.h"
#include "geometry/rig_file.h"
#include "preview/preview_run.h"
#include "image/bmp_write.h"
#include "image/scan_layout.h"
#include "render/render.h"
#include "tools_util.h"

namespace {

// A PLY reader written from the format's description, independent of
// plyRead: the header's lines, then 27-byte little-endian vertices.
struct ReadVertex {
    float v[6];
    int rgb[3];
};
std::vector<ReadVertex> readPlyIndependently(const std::string& path) {
    const std::string data = readFile(path);
    const size_t body = data.find("end_header\n") + 11;
    const std::string header = data.substr(0, body);
    EXPECT_EQ(header.rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u);
    EXPECT_NE(header.find("property float x\nproperty float y\nproperty float z\nproperty float nx\n"
                          "property float ny\nproperty float nz\nproperty uchar red\n"
                          "property uchar green\nproperty uchar blue\nend_header\n"),
              std::string::npos);
    size_t count = 0;
    const size_t element = header.find("element vertex ");
    EXPECT_TRUE(element != std::string::npos && std::sscanf(header.c_str() + element, "element vertex %zu", &count) == 1);
    EXPECT_EQ(data.size() - body, 27 * count);
    std::vector<ReadVertex> out(count);
    for (size_t i = 0; i < count && body + 27 * (i + 1) <= data.size(); ++i) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data()) + body + 27 * i;
        for (int k = 0; k < 6; ++k) {
            const uint32_t bits = p[4 * k] | p[4 * k + 1] << 8 | p[4 * k + 2] << 16 | uint32_t{p[4 * k + 3]} << 24;
            std::memcpy(&out[i].v[k], &bits, 4);
        }
        for (int k = 0; k < 3; ++k) out[i].rgb[k] = p[24 + k];
    }
    return out;
}

}  // namespace

TEST(CloudPly, WrittenFileReadsBackWithAnotherReader) {
    TempDir dir;
    const std::vector<PlyVertex> vertices = {{1.5f, -2.25f, 1e6f, 0, 0, 1, 0, 128, 255},
                                             {-0.0f, 3e-7f, 42, 0.6f, -0.8f, 0, 17, 34, 51}};
    std::string error;
    ASSERT_TRUE(plyWrite(dir.file("c.ply"), vertices, "test", &error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.ply.tmp")));
    const std::vector<ReadVertex> back = readPlyIndependently(dir.file("c.ply"));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].v[2], 1e6f);
    EXPECT_EQ(back[1].v[1], 3e-7f);
    EXPECT_EQ(back[1].v[4], -0.8f);
    EXPECT_EQ(back[0].rgb[2], 255);
    EXPECT_EQ(back[1].rgb[0], 17);
    std::vector<PlyVertex> own;
    ASSERT_TRUE(plyRead(dir.file("c.ply"), &own, &error)) << error;
    EXPECT_EQ(own.size(), 2u);

    // A folder in the way: nothing written, nothing left behind.
    std::filesystem::create_directory(dir.file("d.ply"));
    EXPECT_FALSE(plyWrite(dir.file("d.ply"), vertices, "", &error));
    EXPECT_NE(error.find("d.ply"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("d.ply.tmp")));
    EXPECT_FALSE(plyWrite(dir.file("none/c.ply"), vertices, "", &error));
    // A body cut short is refused.
    const std::string whole = readFile(dir.file("c.ply"));
    writeText(dir.file("cut.ply"), whole.substr(0, whole.size() - 1));
    EXPECT_FALSE(plyRead(dir.file("cut.ply"), &own, &error));
}

TEST(CloudScanPoints, RefusesFilesThatDoNotBelongTogether) {
    // Angle 30: (10, 0, 0) turned by -30 degrees is (8.660254, 0, 5).
    struct Case {
        std::string all, angle30, fault;  // fault empty: accepted
    } cases[] = {
        {"1.0 2.0 3.0\n8.660254 0.000000 5.000000\n", "10.0 0.0 0.0\n", ""},
        {"1.0 2.0 3.0\n8.660254 0.000000 -5.000000\n", "10.0 0.0 0.0\n", "turned back"},
        {"1.0 2.0 3.0\n", "10.0 0.0 0.0\n", "more points"},
        {"1.0 2.0 3.0\n8.660254 0.000000 5.000000\n9 9 9\n", "10.0 0.0 0.0\n", "holds 3"},
        {"1.0 2.0 3.0\n8.660254 0.000000 5.000000\n", "10.0 zero 0.0\n", "pontos_30.txt:1"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (int a = 60; a <= 330; a += 30) writeText(dir.file("pontos_" + std::to_string(a) + ".txt"), "");
        writeText(dir.file("pontos_0.txt"), "1.0 2.0 3.0\n");
        writeText(dir.file("pontos_30.txt"), c.angle30);
        writeText(dir.file("pontos.txt"), c.all);
        ScanPoints points;
        std::string error;
        const bool ok = scanReadPoints(dir.path(), &points, &error);
        EXPECT_EQ(ok, c.fault.empty()) << c.all << error;
        if (ok) {
            EXPECT_EQ(points.angle, (std::vector<int>{0, 30}));
        } else {
            EXPECT_NE(error.find(c.fault), std::string::npos) << error;
        }
    }
}

// The neighbour lists, worked out on the cores in blocks, against a plain
// search of every pair: the same distances, nearest first, for every point
// of a cloud of several blocks, and for queries off the cloud.
TEST(CloudNeighbours, SameAsSearchingEveryPair) {
    std::vector<Vec3> cloud;
    uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1 << 24);
    };
    for (int i = 0; i < 1500; ++i) cloud.push_back({20 * next(), 20 * next(), 20 * next()});
    cloud.push_back(cloud[7]);  // an equal point: its own nearest, at 0
    const int k = 6;
    const NeighbourTable table = neighboursFind(cloud, k);
    ASSERT_EQ(table.k, k);
    std::vector<Vec3> queries = {{-5, 0, 0}, {10, 10, 10}, {25, 3, 19}};
    const NeighbourTable near = neighboursNearest(cloud, queries, k);
    ASSERT_EQ(near.k, k);
    const auto plain = [&cloud, k](Vec3 q, size_t skip) {
        std::vector<double> d;
        for (size_t j = 0; j < cloud.size(); ++j)
            if (j != skip) d.push_back(length(cloud[j] - q));
        std::sort(d.begin(), d.end());
        d.resize(k);
        return d;
    };
    long wrong = 0;
    for (size_t i = 0; i < cloud.size(); ++i) {
        const std::vector<double> expected = plain(cloud[i], i);
        for (int j = 0; j < k; ++j) {
            const double d = table.distance[i * k + j];
            wrong += std::fabs(d - expected[j]) > 1e-12 ||
                     std::fabs(length(cloud[table.index[i * k + j]] - cloud[i]) - d) > 1e-12 ||
                     table.index[i * k + j] == i;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(table.distance[7 * k], 0);
    for (size_t q = 0; q < queries.size(); ++q) {
        const std::vector<double> expected = plain(queries[q], cloud.size());
        for (int j = 0; j < k; ++j) EXPECT_NEAR(near.distance[q * k + j], expected[j], 1e-12);
    }
}

TEST(CloudOutliers, PlantedStraysAndTheWorkingVolume) {
    // A 40 x 40 grid of spacing 1 on the plane z = 5, strays 4 units above it,
    // two points outside the cylinder, one not a number.
    std::vector<Vec3> points;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j) points.push_back({i - 20.0, j - 20.0, 5.0});
    const std::vector<Vec3> planted = {{0.5, 0.5, 9}, {10.5, -7.5, 1}, {-15.5, 12.5, 9.5}};
    for (Vec3 p : planted) points.push_back(p);
    points.push_back({59.8, 0, 5});  // radius just over 60 with z
    points.push_back({0, 65.5, 0});
    points.push_back({std::nan(""), 0, 0});
    const OutlierResult r = outliersFind(points, OutlierOptions{});
    EXPECT_EQ(r.sparse, 3);
    EXPECT_EQ(r.outsideVolume, 2);
    EXPECT_EQ(r.notFinite, 1);
    for (size_t i = 0; i < 1600; ++i) EXPECT_TRUE(r.keep[i]) << i;
    for (size_t i = 1600; i < points.size(); ++i) EXPECT_FALSE(r.keep[i]) << i;
    // Grid neighbours: 4 at 1, 4 at sqrt 2, 4 at 2, 4 at sqrt 5 inside the grid.
    EXPECT_NEAR(r.centre, (4 + 4 * std::sqrt(2.0) + 8 + 4 * std::sqrt(5.0)) / 16, 1e-9);

    const OutlierOptions o;
    struct Edge {
        Vec3 p;
        bool in;
    } edges[] = {{{60, 0, 0}, true}, {{0, 0, -60.001}, false}, {{0, -65, 0}, true},
                 {{0, 65.001, 0}, false}, {{42.4, 64, 42.4}, true}, {{42.5, 0, 42.5}, false}};
    for (const Edge& e : edges) EXPECT_EQ(outliersInVolume(e.p, o), e.in) << e.p.x << " " << e.p.y;
}

TEST(CloudNormals, SmallestEigenvectorAndFacingTheCameras) {
    // Eigenvalues 1 (along (1, -1, 0)), 3 and 5.
    const double tilted[9] = {2, 1, 0, 1, 2, 0, 0, 0, 5};
    const Vec3 v = normalsSmallestEigenvector(tilted);
    EXPECT_NEAR(std::fabs(v.x - v.y), 2 / std::sqrt(2.0), 1e-12);

    // At camera 1's centre (where the scanner puts the point of two parallel
    // rays) the direction is still a number: camera 2's.
    const Vec3 atCamera = normalsTowardCameras(toolRigBuiltIn(), {51.7638, 50, 200}, 0);
    EXPECT_NEAR(atCamera.x, -1, 1e-9);

    // A thin board sampled as the stripes sample it, densely along columns
    // (0.3 apart in y, 1.2 apart in x): its front (z = 0.3) seen at angle 0,
    // its back (z = -0.3) at 180. Fitted across both faces, a column's points
    // would make the normal point along x.
    std::vector<Vec3> board;
    std::vector<int> angles;
    for (int face = 0; face < 2; ++face)
        for (int column = 0; column < 4; ++column)
            for (int row = 0; row < 100; ++row) {
                board.push_back({1.2 * column, 0.3 * row, face == 0 ? 0.3 : -0.3});
                angles.push_back(face == 0 ? 0 : 180);
            }
    const std::vector<Vec3> n = normalsEstimate(toolRigBuiltIn(), board, angles, 16);
    for (size_t i = 0; i < n.size(); ++i) EXPECT_GT((board[i].z > 0 ? 1 : -1) * n[i].z, 0.99) << i;
}

TEST(CloudColour, CombineRule) {
    const double level[3] = {0.4, 0.2, 0.1};
    struct Case {
        int pairs1, pairs2;
        double camera2Scale;  // camera 2 sees this times camera 1's colour
        double spoilt;        // camera 1's first pair off by this
        double squareness2;   // camera 1's is 0.5
        double expected[3];   // full-light values
        long ColourStats::*counter;
    } cases[] = {
        {4, 4, 1.0, 0.0, 0.5, {0.4, 0.2, 0.1}, &ColourStats::bothAgree},
        {4, 4, 1.1, 0.9, 0.5, {0.42, 0.21, 0.105}, &ColourStats::bothAgree},  // one pair outvoted
        {4, 4, 0.2, 0.0, 0.3, {0.4, 0.2, 0.1}, &ColourStats::disagree},      // camera 1 more square
        {4, 4, 0.2, 0.0, 0.9, {0.08, 0.04, 0.02}, &ColourStats::disagree},
        {0, 3, 2.0, 0.0, 0.0, {0.8, 0.4, 0.2}, &ColourStats::oneCamera},
        {2, 0, 2.0, 0.0, 0.9, {0.4, 0.2, 0.1}, &ColourStats::oneCamera},
        {0, 0, 1.0, 0.0, 0.5, {0.5, 0.5, 0.5}, &ColourStats::noCamera},
    };
    for (const Case& c : cases) {
        ColourSamples samples;
        samples.pairs[0] = c.pairs1;
        samples.pairs[1] = c.pairs2;
        for (int k = 0; k < 4; ++k)
            for (int ch = 0; ch < 3; ++ch) {
                samples.sums[0][k][ch] = level[ch] + (k == 0 ? c.spoilt : 0);
                samples.sums[1][k][ch] = c.camera2Scale * level[ch];
            }
        const double squareness[2] = {0.5, c.squareness2};
        ColourStats stats;
        const ColourRgb rgb = colourCombine(samples, squareness, &stats);
        const int got[3] = {rgb.r, rgb.g, rgb.b};
        for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(got[ch], 255 * c.expected[ch], 0.51) << ch;
        EXPECT_EQ(stats.*c.counter, 1);
    }
}

// Points of the board seen by both cameras at angle 0 (from the exact scene),
// written as a scan of one angle with its rendered photographs: a grey
// object gives grey points of the renderer's full-light brightness, also
// where a mask silenced camera 1's pixels.
TEST(CloudColour, GreyBoardGivesItsGreyNeverStripes) {
    TempDir dir;
    SceneObject board;
    ASSERT_TRUE(sceneMakeObject("board", &board));
    RenderOptions options;
    options.object = "board";
    options.antialias = 1;
    std::filesystem::create_directory(dir.file("cavalo"));
    const Photographs photos[2] = {renderPhotographs(board, options, 1, 0), renderPhotographs(board, options, 2, 0)};
    ScanPoints scan;
    std::vector<double> expected;  // full light: albedo (2 ambient + 0.8 cos)
    for (int y = 200; y < 600; y += 23)
        for (int x = 300; x < 700; x += 29) {
            Vec3 o, d;
            Hit hit;
            cameraRay(camCamera1(), x + 0.3, y + 0.6, &o, &d);
            if (!sceneIntersect(board, o, d, 0, 1e9, &hit) || hit.normal.z < 0.5) continue;
            const Vec3 p = o + hit.t * d;
            const ProjectorPixel lit = projectorProject(p);
            if (std::fabs(p.x) > 28 || std::fabs(p.y + 10) > 28 ||
                projectorColour(1, false, lit.column, lit.row) == 0)  // dark band: never lit
                continue;
            const Vec3 light = normalized(projectorCentre() - p);
            scan.object.push_back(p);
            scan.rig.push_back(p);
            scan.angle.push_back(0);
            expected.push_back(0.85 * (2 * options.ambient + 0.8 * dot(hit.normal, light)));
        }
    ASSERT_GT(scan.rig.size(), 50u);
    const std::vector<char> keep(scan.rig.size(), 1);
    const std::vector<Vec3> normals(scan.rig.size(), Vec3{0, 0, 1});
    std::vector<ColourRgb> colours;
    std::string error;
    for (bool silenced : {false, true}) {
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read) {
                Image* image = photos[camera - 1][read - 1].get();
                if (silenced && camera == 1 && read % 2 == 0)  // negative := positive
                    std::memcpy(image->pixels, photos[0][read - 2]->pixels, imgFloatCount(image) * 4);
                ASSERT_TRUE(imgWriteBMP(dir.file(scanPhotographPath(read, camera, 0)).c_str(), image));
            }
        ColourStats stats;
        ASSERT_TRUE(colourPoints(dir.path(), toolRigBuiltIn(), scan, keep, normals, &colours, &stats, &error)) << error;
        EXPECT_EQ(silenced ? stats.oneCamera : stats.bothAgree, static_cast<long>(scan.rig.size()));
        for (size_t i = 0; i < colours.size(); ++i) {
            EXPECT_LE(std::abs(colours[i].r - colours[i].g), 1) << i;
            EXPECT_LE(std::abs(colours[i].g - colours[i].b), 1) << i;
            EXPECT_NEAR(colours[i].g, 255 * expected[i], 2.5) << i;
        }
    }
    std::filesystem::remove(dir.file(scanPhotographPath(3, 2, 0)));
    ColourStats stats;
    EXPECT_FALSE(colourPoints(dir.path(), toolRigBuiltIn(), scan, keep, normals, &colours, &stats, &error));
    EXPECT_NE(error.find("no photograph"), std::string::npos) << error;
    EXPECT_NE(error.find("Positivo 2 Camera 2"), std::string::npos) << error;
}

// The whole tool on a rendered scan of the textured sphere (anti-aliased,
// so the decoder leaves strays): the PLY read back independently, every
// point's colour against the renderer's albedo, normals against the exact
// surface, and the strays gone.
TEST(CloudEndToEnd, TexturedSphereScan) {
    TempDir dir;
    ASSERT_EQ(renderScan("--object sphere --texture", dir.path()), 0);
    ASSERT_EQ(runCommand("cd '" + dir.path() + "' && '" SLSCAN_EXE "' > console.txt"), 0);
    CloudRunOptions run;
    run.dir = dir.path();
    const CloudRunReport report = cloudRun(run);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    SceneObject sphere;
    ASSERT_TRUE(sceneMakeObject("sphere", &sphere));
    RenderOptions options;
    options.texture = true;
    long scanWithin1 = 0, keptWithin1 = 0, keptBeyond5 = 0, colourOff = 0, normalOff = 0;
    std::ifstream all(dir.file("pontos.txt"));
    for (Vec3 p; all >> p.x >> p.y >> p.z;) scanWithin1 += std::fabs(sceneDistance(sphere, p)) <= 1;
    const std::vector<ReadVertex> cloud = readPlyIndependently(dir.file("cloud.ply"));
    ASSERT_GT(cloud.size(), 3000u);
    for (const ReadVertex& v : cloud) {
        const Vec3 p{v.v[0], v.v[1], v.v[2]};
        const double d = sceneDistance(sphere, p);
        keptBeyond5 += std::fabs(d) > 5;
        if (std::fabs(d) > 1) continue;
        ++keptWithin1;
        const Vec3 outward = normalized(p - Vec3{0, -10, 0});
        normalOff += dot(outward, Vec3{v.v[3], v.v[4], v.v[5]}) < 0.9;  // 26 degrees
        double albedo[3];
        renderAlbedo(options, p - d * outward, albedo);
        // Stated tolerance: chromaticity (a channel over the sum) within 0.05 a channel.
        const double a = albedo[0] + albedo[1] + albedo[2], c = v.rgb[0] + v.rgb[1] + v.rgb[2];
        bool off = false;
        for (int k = 0; k < 3; ++k) off |= std::fabs(albedo[k] / a - v.rgb[k] / c) > 0.05;
        colourOff += off;
    }
    EXPECT_LE(keptBeyond5, static_cast<long>(0.001 * cloud.size()));
    EXPECT_GE(keptWithin1, static_cast<long>(0.97 * scanWithin1));
    EXPECT_LE(colourOff, static_cast<long>(0.01 * keptWithin1));
    EXPECT_LE(normalOff, static_cast<long>(0.03 * keptWithin1));
    EXPECT_EQ(report.written, static_cast<long>(cloud.size()));
    EXPECT_EQ(report.pointsRead - report.outliers.notFinite - report.outliers.outsideVolume -
                  report.outliers.sparse,
              report.written);
    EXPECT_EQ(report.colour.bothAgree + report.colour.disagree + report.colour.oneCamera +
                  report.colour.noCamera,
              report.written);
}

TEST(CloudTool, RefusesAScanItCannotRead) {
    TempDir dir;
    CloudRunOptions options;
    options.dir = dir.path();
    const CloudRunReport report = cloudRun(options);
    EXPECT_EQ(report.result.status, 1);
    EXPECT_NE(report.result.reason.find("pontos.txt"), std::string::npos);
    EXPECT_EQ(report.result.reason.find('\n'), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("cloud.ply")));
    EXPECT_EQ(runCommand(toolCommand("slscan-cloud") + "--radius -3 '" + dir.path() + "' 2> /dev/null"), 2);
}

// Ctrl-C while cloud.ply is written leaves no temporary file behind.
TEST(CloudTool, InterruptedRunLeavesNoTemporaryFile) {
    TempDir dir;
    mkdir(dir.file("cavalo").c_str(), 0755);
    ImagePtr black(zeroImage(8, 8));
    for (int camera = 1; camera <= 2; ++camera)
        for (int read = 1; read <= 8; ++read)
            ASSERT_TRUE(imgWriteBMP(dir.file(scanPhotographPath(read, camera, 0)).c_str(), black.get()));
    // 4,000 points of a plane at angle 0: a PLY of 108 kB, more than a pipe holds.
    std::string points;
    char line[64];
    for (int i = 0; i < 4000; ++i) {
        std::snprintf(line, sizeof line, "%.6f %.6f 0.000000\n", i % 80 * 0.5 - 20, i / 80 * 0.5 - 10);
        points += line;
    }
    writeText(dir.file("pontos.txt"), points);
    writeText(dir.file("pontos_0.txt"), points);
    for (int angle = 30; angle <= 330; angle += 30) writeText(dir.file("pontos_" + std::to_string(angle) + ".txt"), "");
    const int status = interruptWhileWriting(
        {std::string(SLSCAN_TOOLS_DIR) + "/slscan-cloud", "--keep-all", dir.path()}, dir.file("cloud.ply.tmp"));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_FALSE(std::filesystem::exists(dir.file("cloud.ply.tmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("cloud.ply")));
}

// A rig unlike the built-in one (a moved, clockwise turntable, unequal focal
// lengths, an off-centre principal point, lens distortion, eight angles of
// 45 degrees), rendered with its rig.json beside cavalo/: slscan --rig makes
// the points, and the cloud tool, finding rig.json by itself, colours them
// from the right pixels, turns the normals toward the rig's cameras and takes
// its working volume from the rig, not the built-in numbers.
TEST(CloudEndToEnd, AnotherRigFoundBesideThePhotographs) {
    TempDir dir, files;
    Rig rig = rigBuiltIn();
    rig.halfRule = RigHalfRule::kEpipolar;
    rig.turntable.axisPoint = {4, -12, 3};
    rig.turntable.clockwise = true;
    rig.cameras[0].fy = rig.cameras[0].fx * 1.02;
    rig.cameras[0].cx += 14;
    rig.cameras[1].cy -= 11;
    rig.cameras[1].distortion[0] = -0.04;
    std::string error;
    ASSERT_TRUE(rigFileWrite(files.file("rig.json"), rig, &error)) << error;
    ASSERT_EQ(renderScan("--object sphere --texture --aa 1 --rig '" + files.file("rig.json") +
                             "' --angles 0,45,90,135,180,225,270,315",
                         dir.path()),
              0);
    ASSERT_TRUE(std::filesystem::exists(dir.file("rig.json")));
    ASSERT_EQ(runCommand("cd '" + dir.path() + "' && '" SLSCAN_EXE "' --rig rig.json > console.txt"), 0);
    CloudRunOptions options;
    options.dir = dir.path();
    const CloudRunReport report = cloudRun(options);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_EQ(report.rig, dir.file("rig.json"));
    EXPECT_NE(report.radius, OutlierOptions{}.radius);  // from the rig
    EXPECT_GT(report.radius, 25);                       // the sphere's 25 fits
    EXPECT_GT(report.written, 1000);
    CloudReport measured;
    ASSERT_TRUE(evalCloud(dir.path(), &measured, &error)) << error;
    EXPECT_LE(measured.keptBeyond5, 0.002);
    EXPECT_GE(measured.within1Kept, 0.95);
    EXPECT_GE(measured.normalsOutward, 0.97);
    EXPECT_LE(measured.chroma95, 0.06);
    EXPECT_GE(report.colour.bothAgree, report.written / 2);

    // The same folder through the report and the preview: the turn check holds
    // in the rig's sense, and the rig is named.
    EvalRunOptions eval;
    eval.dir = dir.path();
    const EvalRunReport points = evalRun(eval);
    ASSERT_EQ(points.result.status, 0) << points.result.reason;
    EXPECT_TRUE(points.points.turnOk) << points.points.turnProblem;
    EXPECT_EQ(points.points.perAngle.size(), 8u);
    EXPECT_NE(evalRunText(eval, points, false).find("rig: " + dir.file("rig.json")), std::string::npos);
    PreviewRunOptions preview;
    preview.dir = dir.path();
    EXPECT_EQ(previewRun(preview).result.status, 0);

    // --rig overrides the folder's file: the built-in rig turns the other way,
    // so the point files no longer agree and the cloud is refused.
    ASSERT_TRUE(rigFileWrite(files.file("built-in.json"), rigBuiltIn(), &error)) << error;
    options.rigPath = files.file("built-in.json");
    const CloudRunReport wrong = cloudRun(options);
    EXPECT_EQ(wrong.result.status, 1);
    EXPECT_NE(wrong.result.reason.find("turned back"), std::string::npos) << wrong.result.reason;
}
