// The synthetic rig, the accuracy report and the preview, and one whole scan
// from rendered photographs to the report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "common/ply.h"
#include "common/scan_folder.h"
#include "common/scan_points.h"
#include "common/spatial_grid.h"
#include "eval/report_fields.h"
#include "eval/cloud_report.h"
#include "eval/report.h"
#include "preview/preview.h"
#include "render/render.h"
#include "tools_util.h"

TEST(Rig, HitPointsProjectBackToTheirPixel) {
    SceneObject sphere;
    ASSERT_TRUE(sceneMakeObject("sphere", &sphere));
    for (const Camera& camera : {camCamera1(), camCamera2()}) {
        for (double px : {470.0, 512.0, 551.25}) {
            for (double py : {350.5, 384.0, 420.0}) {
                Vec3 o, d;
                cameraRay(camera, px, py, &o, &d);
                Hit hit;
                ASSERT_TRUE(sceneIntersect(sphere, o, d, 0, 1e9, &hit)) << px << "," << py;
                const Vec3 x = o + hit.t * d;
                EXPECT_NEAR(sceneDistance(sphere, x), 0, 1e-9);
                double bx, by;
                cameraProject(camera, x, &bx, &by);
                // Rays leave along R^T, points project through R; the
                // calibrated rotations are orthonormal to six decimals only.
                EXPECT_NEAR(bx, px, 2e-3);
                EXPECT_NEAR(by, py, 2e-3);
            }
        }
    }
}

TEST(Rig, ProjectorPatternsAndDarkBand) {
    EXPECT_EQ(projectorColour(1, true, 0, 100), kPattern1[0]);
    EXPECT_EQ(projectorColour(2, true, 1023.9, 100), kPattern2[36]);
    EXPECT_EQ(projectorColour(1, true, 1024 / 37.0 * 5 + 0.01, 0), kPattern1[5]);
    EXPECT_EQ(projectorColour(1, true, 1024 / 37.0 * 6 - 0.01, 0), kPattern1[5]);  // stripes 1024 / 37 wide
    EXPECT_EQ(projectorColour(1, false, 10, 380), 0);  // dark band
    EXPECT_EQ(projectorColour(1, false, 10, 367.9), kPattern1[36]);
    EXPECT_EQ(projectorColour(2, false, 10, 400), kPattern2[0]);
    EXPECT_EQ(projectorColour(1, true, -1, 10), 0);
    EXPECT_EQ(projectorColour(1, false, 10, 768), 0);
    // Straight ahead of the projector is its centre pixel.
    const ProjectorPixel centre = projectorProject({0, -10, 0});
    EXPECT_NEAR(centre.column, 512, 1e-9);
    EXPECT_NEAR(centre.row, 384, 1e-9);
}

TEST(Rig, RenderingIsTheSameOnAnyNumberOfThreads) {
    SceneObject horse;
    ASSERT_TRUE(sceneMakeObject("horse", &horse));
    RenderOptions options;
    options.noise = 3;
    options.texture = true;
    options.width = 600;  // the lower left of the picture, where the horse is
    options.height = 420;
    const Photographs one = renderPhotographs(horse, options, 2, 150, 1);
    const Photographs three = renderPhotographs(horse, options, 2, 150, 3);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(std::memcmp(one[i]->pixels, three[i]->pixels, imgFloatCount(one[i].get()) * sizeof(float)), 0) << i;
}

// The sensor's black level lies under the noise, so dark pixels are not
// clipped; the optics blur is the normalised Gaussian spot (edges repeated),
// worked out here on the picture rendered without it; the description tells
// scans with either apart.
TEST(Rig, BlackLevelAndOpticsBlur) {
    SceneObject horse;
    ASSERT_TRUE(sceneMakeObject("horse", &horse));
    RenderOptions options;
    options.antialias = 1;
    options.width = 600;  // the lower left of the picture: background and part of the horse
    options.height = 420;
    options.black = 16;
    const Photographs sharp = renderPhotographs(horse, options, 1, 0);
    EXPECT_EQ(px(sharp[3].get(), 0, 0, 1), static_cast<float>(16 / 255.0));  // background: black level only
    options.noise = 3;
    const Photographs noisy = renderPhotographs(horse, options, 1, 0);
    long below = 0;
    double mean = 0;
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y) {
            below += px(noisy[0].get(), x, y, 0) < 16 / 255.0;
            mean += px(noisy[0].get(), x, y, 0) / 1e4;
        }
    EXPECT_GT(below, 4000);  // about half the background is darker than the level
    EXPECT_NEAR(mean * 255, 16, 0.2);

    options.noise = 0;
    options.blur = 0.8;
    const Photographs blurred = renderPhotographs(horse, options, 1, 0);
    const int radius = 3;  // ceil(3 * 0.8)
    double kernel[2 * radius + 1], total = 0;
    for (int k = -radius; k <= radius; ++k) total += kernel[k + radius] = std::exp(-k * k / (2 * 0.64));
    const auto at = [](const ImagePtr& image, int x, int y, int c) {
        return static_cast<double>(px(image.get(), std::clamp(x, 0, image->width - 1), std::clamp(y, 0, image->height - 1), c));
    };
    double worst = 0;
    for (int read = 0; read < 8; read += 3)
        for (int y = 0; y < options.height; y += 7)
            for (int x = 0; x < options.width; x += 3)
                for (int c = 0; c < 3; ++c) {
                    double v = 0;
                    for (int j = -radius; j <= radius; ++j)
                        for (int i = -radius; i <= radius; ++i)
                            v += kernel[i + radius] * kernel[j + radius] / (total * total) *
                                 (at(sharp[read], x + i, y + j, c) - 16 / 255.0);
                    worst = std::max(worst, std::fabs(v + 16 / 255.0 - at(blurred[read], x, y, c)));
                }
    EXPECT_LT(worst, 1e-6);
    const RenderOptions plain;
    EXPECT_NE(renderDescription(plain), renderDescription(options));  // blur
    options.blur = 0;
    EXPECT_NE(renderDescription(plain), renderDescription(options));  // black level
}

TEST(Report, DistancesSharesAndTurnCheck) {
    TempDir dir;
    writeText(dir.file("scene.txt"), "slscan-render 1\nobject sphere\n");
    // Sphere of radius 25 about (0, -10, 0): distances 0, 1, 0.5 and 6.
    writeText(dir.file("pontos_0.txt"), "0.000000 15.000000 0.000000\n0.000000 -10.000000 26.000000\n");
    writeText(dir.file("pontos_30.txt"), "25.500000 -10.000000 0.000000\n");
    for (int a = 60; a <= 330; a += 30) writeText(dir.file("pontos_" + std::to_string(a) + ".txt"), "");
    // 30 degrees: (25.5, -10, 0) turned by -30 about y.
    const std::string turned = "22.083647 -10.000000 12.750000\n";
    writeText(dir.file("pontos.txt"), "0.000000 15.000000 0.000000\n0.000000 -10.000000 26.000000\n" +
                                          turned + "0.000000 21.000000 0.000000\n");
    EvalReport r;
    std::string error;
    ASSERT_TRUE(evalScan(dir.path(), &r, &error)) << error;
    EXPECT_EQ(r.points, 4);
    ASSERT_EQ(r.perAngle.size(), 12u);
    EXPECT_EQ(r.perAngle[0], std::make_pair(0, 2L));
    EXPECT_EQ(r.perAngle[1], std::make_pair(30, 1L));
    EXPECT_NEAR(r.median, 0.5, 1e-5);
    EXPECT_NEAR(r.max, 6, 1e-5);
    EXPECT_DOUBLE_EQ(r.within1, 0.75);
    EXPECT_DOUBLE_EQ(r.beyond5, 0.25);
    EXPECT_FALSE(r.turnOk);  // one line more than the angle files
    EXPECT_NE(evalJson(r).find("\"turn_ok\": false"), std::string::npos);

    writeText(dir.file("pontos_30.txt"), "25.500000 -10.000000 0.000000\n0.000000 21.000000 0.000000\n");
    ASSERT_TRUE(evalScan(dir.path(), &r, &error));
    EXPECT_TRUE(r.turnOk) << r.turnProblem;

    writeText(dir.file("pontos.txt"), "0.000000 15.000000 0.000000\n0.000000 -10.000000 26.000000\n"
                                      "25.500000 -10.000000 0.000000\n0.000000 21.000000 0.000000\n");
    ASSERT_TRUE(evalScan(dir.path(), &r, &error));
    EXPECT_FALSE(r.turnOk);  // angle 30 not turned

    writeText(dir.file("scene.txt"), "object teapot\n");
    EXPECT_FALSE(evalScan(dir.path(), &r, &error));
}

TEST(Report, CloudAgainstTheSphere) {
    // Sphere of radius 25 about (0, -10, 0). The scan: A on the surface, B 1
    // out, C 6 out, D 0.5 out; the cloud keeps A (grey, normal out), B (red
    // tint 200/100/100, normal in) and C.
    TempDir dir;
    writeText(dir.file("scene.txt"), "slscan-render 1\nobject sphere\ntexture 0\n");
    writeText(dir.file("pontos.txt"), "0 15 0\n0 -10 26\n0 21 0\n25.5 -10 0\n");
    std::string error;
    ASSERT_TRUE(plyWrite(dir.file("cloud.ply"),
                         {{0, 15, 0, 0, 1, 0, 100, 100, 100},
                          {0, -10, 26, 0, 0, -1, 200, 100, 100},
                          {0, 21, 0, 0, 1, 0, 0, 0, 0}},
                         "", &error));
    CloudReport r;
    ASSERT_TRUE(evalCloud(dir.path(), &r, &error)) << error;
    EXPECT_EQ(r.scanPoints, 4);
    EXPECT_EQ(r.keptPoints, 3);
    EXPECT_DOUBLE_EQ(r.keptBeyond5, 1.0 / 3);
    EXPECT_DOUBLE_EQ(r.within1Kept, 2.0 / 3);  // A and B of A, B and D
    EXPECT_DOUBLE_EQ(r.normalsOutward, 2.0 / 3);
    EXPECT_EQ(r.colourPoints, 2);
    // Grey albedo: chromaticity 1/3 each; B's is (1/2, 1/4, 1/4).
    EXPECT_NEAR(r.chromaMean, (0.5 - 1.0 / 3) / 2, 1e-9);
    EXPECT_NEAR(r.chroma95, 0.5 - 1.0 / 3, 1e-9);
    std::remove(dir.file("cloud.ply").c_str());
    EXPECT_FALSE(evalCloud(dir.path(), &r, &error));
}

TEST(Preview, PlyHoldsEveryPointWithItsAngleColour) {
    const std::vector<CloudPoint> cloud = {{{1, 2, 3}, 0}, {{-1, 0.5, 2}, 90}, {{0, 0, 0}, -1}};
    const std::string ply = previewPly(cloud);
    EXPECT_EQ(ply.rfind("ply\nformat ascii 1.0\n", 0), 0u);
    EXPECT_NE(ply.find("element vertex 3\n"), std::string::npos);
    const Rgb c90 = previewAngleColour(90);
    char line[100];
    std::snprintf(line, sizeof line, "-1.000000 0.500000 2.000000 %d %d %d\n", c90.r, c90.g, c90.b);
    EXPECT_NE(ply.find(line), std::string::npos);
    EXPECT_NE(ply.find("0.000000 0.000000 0.000000 160 160 160\n"), std::string::npos);
    int w = 0, h = 0;
    const size_t bytes = previewDraw(cloud, &w, &h).size();
    EXPECT_EQ(bytes, 3u * w * h);
}

TEST(Preview, PointsWithTheirOwnColourAreDrawnInItAndNeedNoKey) {
    // One point in the middle of the views, in a colour no angle has; the
    // key's swatches (angle colours) appear only for points coloured by angle.
    const Rgb own{201, 17, 99};
    int w = 0, h = 0;
    // Pixels of colour c in the leftmost `columns` columns of the picture.
    const auto count = [&](const std::vector<unsigned char>& rgb, Rgb c, int columns = 1 << 30) {
        long n = 0;
        for (size_t i = 0; i + 2 < rgb.size(); i += 3)
            n += static_cast<int>(i / 3 % w) < columns && rgb[i] == c.r && rgb[i + 1] == c.g && rgb[i + 2] == c.b;
        return n;
    };
    std::vector<CloudPoint> cloud = {{{0, 0, 0}, 30, true, own}, {{1, 1, 1}, 30, true, own}};
    const std::vector<unsigned char> coloured = previewDraw(cloud, &w, &h);
    EXPECT_EQ(count(coloured, own), 2 * 3 * 9);  // two 3 x 3 dots in each of three views
    EXPECT_EQ(count(coloured, previewAngleColour(0)), 0);
    cloud[1].ownColour = false;  // one point by its angle: the key returns, with that angle only
    const std::vector<unsigned char> mixed = previewDraw(cloud, &w, &h);
    EXPECT_EQ(count(mixed, previewAngleColour(0)), 0);
    EXPECT_EQ(count(mixed, previewAngleColour(30)), 14 * 14 + 3 * 4);
    // A normal along -z: seen from the side and the top, not from the front.
    cloud[0].normal = {-0.5, 0.5, -1};
    const std::vector<unsigned char> turned = previewDraw(cloud, &w, &h);
    EXPECT_EQ(count(turned, own), 2 * 9);
    EXPECT_EQ(count(turned, own, w / 3), 0);
}

// One field list gives the text and the JSON: each value once, a share as a
// fraction in JSON and in percent in the text, names escaped in JSON.
TEST(ReportFields, TextAndJsonFromOneList) {
    const std::vector<ReportField> fields = {
        fieldCount("points", "points", 5931), fieldNumber("median", "median", 0.11149, 3),
        fieldShare("within1", "within 1 unit", 0.98512, 2), fieldYesNo("ok", "closed", false),
        fieldText("object", "object", "say \"horse\"")};
    EXPECT_EQ(reportJson(fields),
              "{\"points\": 5931, \"median\": 0.111490, \"within1\": 0.985120, \"ok\": false, "
              "\"object\": \"say \\\"horse\\\"\"}\n");
    EXPECT_EQ(reportText("Title", fields),
              "Title\n  points: 5931\n  median: 0.111\n  within 1 unit: 98.51 %\n  closed: NO\n"
              "  object: say \"horse\"\n");
}

TEST(Report, ChromaErrorOfTheLargestChannel) {
    double e = -1;
    const double grey[3] = {1, 1, 1}, reddish[3] = {0.5, 0.25, 0.25}, black[3] = {0, 0, 0};
    ASSERT_TRUE(evalChromaError(reddish, grey, &e));
    EXPECT_NEAR(e, 0.5 - 1.0 / 3, 1e-12);  // red: 1/2 against 1/3
    ASSERT_TRUE(evalChromaError(grey, grey, &e));
    EXPECT_EQ(e, 0);
    EXPECT_FALSE(evalChromaError(black, grey, &e));  // black has no chromaticity
    double mean = -1, p95 = -1;
    evalChromaSummary({}, &mean, &p95);
    EXPECT_EQ(mean, 0);
    EXPECT_EQ(p95, 0);
}

// The grid finds, for every query, exactly the points a search of all of
// them finds within the cell's reach, negative coordinates and cell borders
// included.
TEST(SpatialGrid, NearPointsAsAFullSearchFindsThem) {
    std::vector<Vec3> points;
    for (int i = 0; i < 400; ++i)
        points.push_back({std::fmod(i * 7.31, 10.0) - 5, std::fmod(i * 3.17, 6.0) - 3, (i % 9) * 0.5 - 2});
    SpatialGrid grid = gridMake(0.5);
    for (uint32_t i = 0; i < points.size(); ++i) gridInsert(&grid, points[i], i);
    for (const Vec3& q : {Vec3{0, 0, 0}, Vec3{-2.5, 1.0, -0.5}, Vec3{4.9, -2.9, 2.0}}) {
        std::vector<uint32_t> found, truth;
        const GridCell c = gridCellOf(grid, q);
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy)
                for (int64_t dz = -1; dz <= 1; ++dz)
                    if (const std::vector<uint32_t>* ids = gridAt(grid, {c[0] + dx, c[1] + dy, c[2] + dz}))
                        for (uint32_t id : *ids)
                            if (length(points[id] - q) <= 0.5) found.push_back(id);
        for (uint32_t i = 0; i < points.size(); ++i)
            if (length(points[i] - q) <= 0.5) truth.push_back(i);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, truth);
    }
    // A box lands in every cell it touches, and only there.
    SpatialGrid boxes = gridMake(1.0);
    gridInsertBox(&boxes, {-0.5, 0.2, 0.0}, {0.5, 0.8, 1.0}, 7);
    EXPECT_EQ(boxes.cells.size(), 4u);  // x cells -1, 0; y cell 0; z cells 0, 1
    EXPECT_NE(gridAt(boxes, {-1, 0, 1}), nullptr);
    EXPECT_EQ(gridAt(boxes, {0, 1, 0}), nullptr);
}

// A folder of camera files that are not BMP is named, with the command that
// converts them; BMP among them, or no photographs at all, pass.
TEST(ScanFolder, PhotographsInAnotherFormatAreNamed) {
    struct Case {
        std::vector<std::string> files;
        bool bmp;
        const char* named;
    } cases[] = {
        {{"a.JPG", "b.jpg"}, false, "JPEG"},
        {{"Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.png"}, false, "PNG"},
        {{"a.jpg", "b.bmp"}, true, ""},
        {{}, true, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::filesystem::create_directory(dir.file("cavalo"));
        for (const std::string& f : c.files) writeText(dir.file("cavalo/" + f), "x");
        std::string error;
        EXPECT_EQ(folderPhotographsAreBmp(dir.path(), &error), c.bmp) << error;
        if (c.bmp) continue;
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_NE(error.find("mogrify -format bmp"), std::string::npos) << error;
        EXPECT_NE(error.find(dir.file("cavalo")), std::string::npos) << error;
    }
}

// A scan of any angle set: the angle files present are read in rising order
// (names other than pontos_<angle>.txt with a plain angle 0 to 359 are not
// angle files), and each line is turned back in the rig's sense: a clockwise
// turntable turns the per-angle point by +angle about y.
TEST(ScanPoints, AnyAnglesAndTheTurntablesSense) {
    TempDir dir;
    writeText(dir.file("pontos_0.txt"), "0.000000 15.000000 0.000000\n");
    writeText(dir.file("pontos_45.txt"), "25.500000 -10.000000 0.000000\n");
    for (const char* other : {"pontos_045.txt", "pontos_360.txt", "pontos_x.txt"})
        writeText(dir.file(other), "1.000000 2.000000 3.000000\n");
    // (25.5, -10, 0) turned by +45 degrees about y: x cos 45, -x sin 45.
    writeText(dir.file("pontos.txt"), "0.000000 15.000000 0.000000\n18.031223 -10.000000 -18.031223\n");
    EXPECT_EQ(scanPointFileAngles(dir.path()), (std::vector<int>{0, 45}));
    ScanPoints points;
    std::string error;
    ASSERT_TRUE(scanReadPoints(dir.path(), &points, &error, true)) << error;
    EXPECT_EQ(points.angle, (std::vector<int>{0, 45}));
    EXPECT_FALSE(scanReadPoints(dir.path(), &points, &error, false));  // the other sense
    EXPECT_NE(error.find("pontos_45.txt"), std::string::npos) << error;
    EvalReport r;
    ASSERT_FALSE(evalScan(dir.path(), &r, &error, true));  // no scene.txt
    writeText(dir.file("scene.txt"), "slscan-render 1\nobject sphere\n");
    ASSERT_TRUE(evalScan(dir.path(), &r, &error, true)) << error;
    EXPECT_TRUE(r.turnOk) << r.turnProblem;
    EXPECT_EQ(r.perAngle, (std::vector<std::pair<int, long>>{{0, 1}, {45, 1}}));
}
