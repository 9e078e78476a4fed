// The contrast mask: its statistic and automatic threshold on small views
// whose truth the tests make, byte-exact masking as the scanner's reader sees
// it, the folder rules, and a small noisy scan from renderer to report.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>

#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "geometry/rig_file.h"
#include "image/scan_layout.h"
#include "mask/mask_contrast.h"
#include "mask/mask_run.h"
#include "tools_util.h"

namespace {

// The stored rows of a picture (blue, green, red; padded), bottom-up or top-down.
std::vector<unsigned char> storedRows(int w, int h, bool topDown, const std::function<int(int, int, int)>& byte) {
    const size_t stride = (3 * static_cast<size_t>(w) + 3) / 4 * 4;
    std::vector<unsigned char> rows(stride * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                rows[(topDown ? h - 1 - y : y) * stride + 3 * x + 2 - c] = static_cast<unsigned char>(byte(x, y, c));
    return rows;
}

// Writes the eight photographs of every view of a w x h scan into dir/cavalo.
// byte(view, read, x, y, c), views 0 to 23 in the order angle, camera.
void writeScan(const std::string& dir, int w, int h, const std::function<int(int, int, int, int, int)>& byte) {
    mkdir((dir + "/cavalo").c_str(), 0755);
    for (int angle = 0; angle <= 330; angle += 30)
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read) {
                const int view = angle / 30 * 2 + camera - 1;
                writeFile(dir + "/" + scanPhotographPath(read, camera, angle),
                          imgBMPBytes(w, h, storedRows(w, h, false, [&](int x, int y, int c) {
                                          return byte(view, read, x, y, c);
                                      })));
            }
}

// A 240 x 160 view: stripes on the right half (none if `stripes` is false) on
// a grey of 20, dark background on the left, all over a black level and with
// Gaussian sensor noise of `sigma` on every byte.
constexpr int kViewWidth = 240, kViewHeight = 160;
std::vector<std::vector<unsigned char>> noisyView(double sigma, double black, bool stripes) {
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0, 1);
    std::vector<std::vector<unsigned char>> out(8, std::vector<unsigned char>(3 * kViewWidth * kViewHeight));
    for (int read = 1; read <= 8; ++read)
        for (int y = 0; y < kViewHeight; ++y)
            for (int x = 0; x < kViewWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    // Stripe colour (x / 4) % 3 lit in the positive, the other two in the negative.
                    const bool lit = ((x / 4 + (read - 1) / 2) % 3 == c) == (read % 2 == 1);
                    const double signal = stripes && x >= kViewWidth / 2 ? 20 + (lit ? 120 : 0) : 0;
                    const double v = std::round(black + signal + (sigma > 0 ? sigma * gauss(random) : 0.0));
                    out[read - 1][3 * (y * kViewWidth + x) + c] = static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
                }
    return out;
}

MaskOptions quietOptions(int threshold = -1) {
    MaskOptions options;
    options.threshold = threshold;
    options.progress = false;
    return options;
}

// Pairs over packed rows (stride = 3 * width, a multiple of 4 here).
std::vector<MaskPair> pairsOf(std::vector<std::vector<unsigned char>>& photographs, int w, int h) {
    ImgBmpLayout layout;
    layout.width = w;
    layout.height = h;
    layout.stride = 3 * static_cast<uint64_t>(w);
    std::vector<MaskPair> pairs;
    for (int k = 0; k < 4; ++k)
        pairs.push_back({photographs[2 * k].data(), layout, photographs[2 * k + 1].data(), layout});
    return pairs;
}

}  // namespace

TEST(MaskContrast, SmallestOverPairsOfLargestChannel) {
    struct Case {
        const char* what;
        int positive[4][3], negative[4][3];
        int contrast;
    };
    const Case cases[] = {
        {"equal exposures", {{9, 9, 9}, {9, 9, 9}, {0, 0, 0}, {255, 255, 255}},
         {{9, 9, 9}, {9, 9, 9}, {0, 0, 0}, {255, 255, 255}}, 0},
        {"largest channel per pair, smallest pair", {{10, 0, 0}, {5, 9, 0}, {20, 0, 0}, {0, 0, 30}},
         {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 9},
        {"a difference counts either way", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
         {{0, 40, 3}, {50, 0, 0}, {0, 0, 60}, {45, 45, 45}}, 40},
        {"one pair without signal masks all", {{200, 0, 0}, {0, 200, 0}, {7, 7, 7}, {0, 0, 200}},
         {{0, 90, 90}, {90, 0, 90}, {7, 7, 7}, {90, 90, 0}}, 0},
        {"full range", {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}},
         {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 255},
    };
    for (const Case& k : cases) {
        std::vector<std::vector<unsigned char>> photographs(8, std::vector<unsigned char>(12, 0));
        for (int p = 0; p < 4; ++p)
            for (int c = 0; c < 3; ++c) {
                photographs[2 * p][c] = static_cast<unsigned char>(k.positive[p][c]);
                photographs[2 * p + 1][c] = static_cast<unsigned char>(k.negative[p][c]);
            }
        // A 4 x 1 view whose first pixel is the case and the others equal.
        std::vector<MaskPair> pairs = pairsOf(photographs, 4, 1);
        uint8_t contrast[4];
        maskContrast(pairs.data(), 4, contrast);
        EXPECT_EQ(contrast[0], k.contrast) << k.what;
        EXPECT_EQ(contrast[1], 0) << k.what;
        EXPECT_EQ(contrast[3], 0) << k.what;
    }
}

// Views whose background and stripes the test knows: the automatic threshold
// masks the background (all of it but stray pixels) and none of the stripes;
// without noise it is 1 and changes no byte.
TEST(MaskAutoThreshold, MasksNoiseAndKeepsStripes) {
    struct Case {
        const char* what;
        double sigma, black;
        bool stripes;
    };
    const Case cases[] = {
        {"noise 1, clipped at black", 1, 0, true},   {"noise 2, black level 16", 2, 16, true},
        {"noise 4, clipped at black", 4, 0, true},   {"noise 8, black level 16", 8, 16, true},
        {"noise 0.5, black level 16", 0.5, 16, true}, {"noise only, sigma 3", 3, 16, false},
        {"noise only, sigma 8", 8, 16, false},       {"noise-free", 0, 0, true},
    };
    for (const Case& k : cases) {
        std::vector<std::vector<unsigned char>> photographs = noisyView(k.sigma, k.black, k.stripes);
        std::vector<MaskPair> pairs = pairsOf(photographs, kViewWidth, kViewHeight);
        std::vector<uint8_t> contrast(kViewWidth * kViewHeight);
        maskContrast(pairs.data(), 4, contrast.data());
        uint64_t histogram[256];
        maskHistogram(contrast.data(), contrast.size(), histogram);
        const int threshold = maskAutoThreshold(histogram);
        long backgroundKept = 0, stripesMasked = 0;
        for (int y = 0; y < kViewHeight; ++y)
            for (int x = 0; x < kViewWidth; ++x) {
                const bool kept = contrast[y * kViewWidth + x] >= threshold;
                if (k.stripes && x >= kViewWidth / 2) {
                    stripesMasked += !kept;
                } else {
                    backgroundKept += kept;
                }
            }
        const long background = kViewHeight * (k.stripes ? kViewWidth / 2 : kViewWidth);
        EXPECT_LE(backgroundKept, background / 1000) << k.what << ", threshold " << threshold;
        EXPECT_EQ(stripesMasked, 0) << k.what << ", threshold " << threshold;
        if (k.sigma == 0) {
            EXPECT_EQ(threshold, 1);
            for (const MaskPair& pair : pairs) EXPECT_EQ(maskApply(pair, contrast.data(), threshold), 0u);
        }
    }
    uint64_t empty[256] = {};
    EXPECT_EQ(maskAutoThreshold(empty), 0);
}

// A whole scan folder: masked bytes land where the scanner's reader reads
// them, in any of the layouts it accepts, and nothing else changes.
TEST(MaskRun, MasksExactlyWhatTheReaderSees) {
    TempDir scan, out;
    const int w = 10, h = 6;  // rows of 30 bytes, padded to 32
    // Stripes (contrast 100) in columns 5 to 9, equal light plus a little
    // noise (contrast under 10) elsewhere.
    const auto byte = [](int view, int read, int x, int y, int c) {
        const int noise = (view * 7 + read * 3 + x * 5 + y * 11 + c) % 9;
        if (x < 5) return 30 + noise;
        const bool lit = ((x + y + (read - 1) / 2) % 3 == c) == (read % 2 == 1);
        return 40 + (lit ? 100 : 0) + noise;
    };
    writeScan(scan.path(), w, h, byte);
    // View (0, 1): the positive of pair 1 top-down behind a longer header,
    // its negative with the old 12-byte core header.
    const std::string pos = scan.path() + "/" + scanPhotographPath(1, 1, 0);
    const std::string neg = scan.path() + "/" + scanPhotographPath(2, 1, 0);
    writeFile(pos, imgBMPBytes(w, -h, storedRows(w, h, true, [&](int x, int y, int c) { return byte(0, 1, x, y, c); }), 24, 138));
    std::vector<unsigned char> core(26, 0);
    core[0] = 'B', core[1] = 'M', core[10] = 26, core[14] = 12, core[18] = w, core[20] = h, core[22] = 1, core[24] = 24;
    const std::vector<unsigned char> coreRows = storedRows(w, h, false, [&](int x, int y, int c) { return byte(0, 2, x, y, c); });
    core.insert(core.end(), coreRows.begin(), coreRows.end());
    writeFile(neg, core);
    const std::string originalNegative = readFile(neg);
    writeText(scan.path() + "/scene.txt", "object sphere\n");

    MaskOptions options = quietOptions(20);
    MaskRunReport report;
    ASSERT_EQ((report = maskRun(scan.path(), out.path(), options)).result.status, 0);
    EXPECT_EQ(readFile(neg), originalNegative);  // the original is untouched
    EXPECT_EQ(readFile(out.path() + "/scene.txt"), "object sphere\n");  // the truth goes along
    for (const MaskViewReport& v : report.views) {
        EXPECT_TRUE(v.masked);
        EXPECT_EQ(v.threshold, 20);
        EXPECT_DOUBLE_EQ(v.share, 0.5);
    }
    for (int angle : {0, 150}) {
        for (int read = 1; read <= 8; read += 2) {
            const std::string p = scanPhotographPath(read, 1, angle), n = scanPhotographPath(read + 1, 1, angle);
            ImagePtr p0(imgReadBMP((scan.path() + "/" + p).c_str())), n0(imgReadBMP((scan.path() + "/" + n).c_str()));
            ImagePtr p1(imgReadBMP((out.path() + "/" + p).c_str())), n1(imgReadBMP((out.path() + "/" + n).c_str()));
            ASSERT_TRUE(p0 && n0 && p1 && n1) << n;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c) {
                        EXPECT_EQ(px(p1.get(), x, y, c), px(p0.get(), x, y, c));
                        // Masked: the difference is exactly zero; kept: the
                        // negative is what it was.
                        EXPECT_EQ(px(n1.get(), x, y, c), x < 5 ? px(p0.get(), x, y, c) : px(n0.get(), x, y, c))
                            << n << " " << x << "," << y;
                    }
            struct stat a, b;  // positives are the originals themselves
            EXPECT_TRUE(stat((scan.path() + "/" + p).c_str(), &a) == 0 && stat((out.path() + "/" + p).c_str(), &b) == 0 &&
                        a.st_ino == b.st_ino);
        }
    }
    // A second run over the first one's links writes nothing through them.
    // A scan without scene.txt leaves none of another scan in OUT_DIR.
    const std::string originalPositive = readFile(pos);
    options.threshold = 256;
    std::remove((scan.path() + "/scene.txt").c_str());
    ASSERT_EQ((report = maskRun(scan.path(), out.path(), options)).result.status, 0);
    EXPECT_FALSE(std::filesystem::exists(out.path() + "/scene.txt"));
    EXPECT_EQ(readFile(pos), originalPositive);
    EXPECT_EQ(readFile(neg), originalNegative);
    EXPECT_EQ(report.views[0].share, 1.0);
}

TEST(MaskRun, FaultsAreNamedAndTheirViewsPassThrough) {
    struct Case {
        const char* what;
        std::function<void(const std::string& scanDir)> spoil;  // at angle 30, camera 2
        int status;
    };
    const std::string victim = scanPhotographPath(4, 2, 30);
    const Case cases[] = {
        {"clean", [](const std::string&) {}, 0},
        {"missing photograph", [&](const std::string& d) { unlink((d + "/" + victim).c_str()); }, 1},
        {"not a picture", [&](const std::string& d) { writeFile(d + "/" + victim, {'h', 'i'}); }, 1},
        {"a FIFO, never waited on",
         [&](const std::string& d) {
             unlink((d + "/" + victim).c_str());
             mkfifo((d + "/" + victim).c_str(), 0600);
         }, 1},
        {"picture of another size",
         [&](const std::string& d) { writeFile(d + "/" + victim, imgBMPBytes(4, 2, std::vector<unsigned char>(24, 9))); }, 1},
    };
    for (const Case& k : cases) {
        TempDir scan, out;
        writeScan(scan.path(), 8, 4, [](int, int read, int x, int, int c) {
            return x < 4 ? 10 : (read + c) % 3 == 0 ? 200 : 20;
        });
        k.spoil(scan.path());
        const MaskOptions options = quietOptions();
        MaskRunReport report;
        EXPECT_EQ((report = maskRun(scan.path(), out.path(), options)).result.status, k.status) << k.what;
        for (const MaskViewReport& v : report.views)
            EXPECT_EQ(v.masked, k.status == 0 || v.angle != 30 || v.camera != 2) << k.what;
        // The spoiled view's photographs are passed on as they are.
        const std::string other = scanPhotographPath(2, 2, 30);
        if (k.status != 0) {
            EXPECT_EQ(readFile(out.path() + "/" + other), readFile(scan.path() + "/" + other)) << k.what;
        }
        struct stat st;
        EXPECT_EQ(stat((out.path() + "/" + victim).c_str(), &st) == 0,
                  stat((scan.path() + "/" + victim).c_str(), &st) == 0) << k.what;
    }
}

TEST(MaskRun, RefusesToWriteOverTheOriginals) {
    TempDir scan;
    writeScan(scan.path(), 4, 2, [](int, int read, int, int, int) { return read * 20; });
    const std::string photograph = scan.path() + "/" + scanPhotographPath(2, 1, 0);
    const std::string before = readFile(photograph);
    const MaskOptions options = quietOptions();
    MaskRunReport report;
    EXPECT_EQ((report = maskRun(scan.path(), scan.path(), options)).result.status, 2);
    EXPECT_EQ((report = maskRun(scan.path(), scan.path() + "/.", options)).result.status, 2);
    TempDir out;  // OUT_DIR/cavalo a link to SCAN_DIR/cavalo
    ASSERT_EQ(symlink((scan.path() + "/cavalo").c_str(), (out.path() + "/cavalo").c_str()), 0);
    EXPECT_EQ((report = maskRun(scan.path(), out.path(), options)).result.status, 2);
    EXPECT_EQ(readFile(photograph), before);
    TempDir empty;
    EXPECT_EQ((report = maskRun(empty.path(), out.path() + "/x", options)).result.status, 2);  // no cavalo/
    EXPECT_NE(report.result.reason.find("cavalo"), std::string::npos) << report.result.reason;
}

// OUT_DIR's missing parents are made, as mkdir -p would.
TEST(MaskRun, MakesTheMissingParentsOfOutDir) {
    TempDir scan, out;
    writeScan(scan.path(), 4, 2, [](int, int read, int, int, int) { return read * 20; });
    const MaskOptions options = quietOptions();
    const MaskRunReport report = maskRun(scan.path(), out.path() + "/a/b", options);
    EXPECT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_TRUE(std::filesystem::exists(out.path() + "/a/b/" + scanPhotographPath(1, 1, 0)));
}

// A smaller scan of the horse (the 660 columns of the picture that hold it;
// the scanner splits the rows at half the height, so all 768 stay), given
// sensor noise over a black level here, masked, scanned and measured against
// the truth and against the noise-free scan.
TEST(EndToEnd, MaskedNoisyScanKeepsTheCleanScansPoints) {
    TempDir clean, noisy, masked;
    ASSERT_EQ(renderScan("--aa 1 --size 660x768", clean.path()), 0);
    // Noise of sigma 3 over a black level of 16, from a table of rounded
    // normal numbers picked by a cheap generator (the test must stay fast;
    // a byte plus a rounded offset is the rounded noisy value).
    std::mt19937 random(11);
    std::normal_distribution<double> gauss(16, 3);
    std::vector<int> offsets(65536);
    for (int& o : offsets) o = static_cast<int>(std::lround(gauss(random)));
    mkdir((noisy.path() + "/cavalo").c_str(), 0755);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int angle = 0; angle <= 330; angle += 30)
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read) {
                const std::string name = scanPhotographPath(read, camera, angle);
                const std::string bytes = readFile(clean.path() + "/" + name);
                std::vector<unsigned char> out(bytes.begin(), bytes.end());
                for (size_t i = 54; i < out.size(); ++i) {
                    if ((i & 3) == 2) state ^= state << 13, state ^= state >> 7, state ^= state << 17;
                    const int v = out[i] + offsets[(state >> (16 * (i & 3))) & 65535];
                    out[i] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
                }
                writeFile(noisy.path() + "/" + name, out);
            }
    const std::string scene = readFile(clean.path() + "/scene.txt");
    for (const TempDir* d : {&noisy, &masked}) writeFile(d->path() + "/scene.txt", {scene.begin(), scene.end()});
    const MaskOptions options = quietOptions();
    MaskRunReport report;
    ASSERT_EQ((report = maskRun(noisy.path(), masked.path(), options)).result.status, 0);

    const EvalReport truth = scanAndEvaluate(clean.path());
    const EvalReport raw = scanAndEvaluate(noisy.path());
    const EvalReport r = scanAndEvaluate(masked.path());
    // The noise-free scan: the rig, the program and the report agree on the truth.
    ASSERT_GE(truth.points, 2000);
    EXPECT_LT(truth.median, 0.25);
    EXPECT_GE(truth.within1, 0.95);
    EXPECT_LT(truth.beyond5, 0.01);
    EXPECT_TRUE(truth.turnOk) << truth.turnProblem;
    for (const auto& [angle, n] : truth.perAngle) EXPECT_GT(n, 0) << angle;
    EXPECT_LT(raw.within1, 0.5);  // unmasked, the noise makes the points
    EXPECT_GE(r.points * r.within1, 0.9 * truth.points * truth.within1);
    EXPECT_GE(r.within1, 0.96);
    EXPECT_LE(r.beyond5, 0.003);
    EXPECT_TRUE(r.turnOk) << r.turnProblem;
}

// Ctrl-C while a masked negative is written leaves no part file behind.
TEST(MaskRun, InterruptedRunLeavesNoPartFile) {
    TempDir scan, out;
    // 200 x 120 photographs (72 kB, more than a pipe holds); every negative
    // differs from its positive, so threshold 256 changes all of them.
    writeScan(scan.path(), 200, 120, [](int, int read, int x, int, int c) { return (x + c + read) % 2 ? 200 : 10; });
    mkdir((out.path() + "/cavalo").c_str(), 0755);
    const std::string part = out.path() + "/" + scanPhotographPath(2, 1, 0) + ".slscan-mask-part";
    const int status = interruptWhileWriting(
        {std::string(SLSCAN_TOOLS_DIR) + "/slscan-mask", "--threads=1", "--threshold=256", scan.path(), out.path()},
        part);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    for (const auto& entry : std::filesystem::directory_iterator(out.path() + "/cavalo"))
        EXPECT_EQ(entry.path().string().find(".slscan-mask-part"), std::string::npos) << entry.path();
}

// With a rig file, every photograph must have the rig's picture size: views
// of another size are named with both sizes and passed through; the folder's
// rig.json goes along with the photographs; an angle set other than twelve
// of 30 degrees is masked as it is.
TEST(MaskRun, ARigFilesPictureSizeAndAnyAngles) {
    TempDir scan, out;
    writeScan(scan.path(), 8, 4, [](int, int read, int x, int, int c) {
        return x < 4 ? 10 : (read + c) % 3 == 0 ? 200 : 20;
    });
    for (int angle = 30; angle < 360; angle += 30)  // keep angle 0 only
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read)
                std::filesystem::remove(scan.path() + "/" + scanPhotographPath(read, camera, angle));
    MaskRunReport report = maskRun(scan.path(), out.path(), quietOptions());
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_EQ(report.views.size(), 2u);
    EXPECT_EQ(report.rig, "the built-in rig");

    std::string error;
    ASSERT_TRUE(rigFileWrite(scan.path() + "/rig.json", rigBuiltIn(), &error)) << error;
    report = maskRun(scan.path(), out.path(), quietOptions());
    EXPECT_EQ(report.result.status, 1);
    EXPECT_EQ(report.rig, scan.path() + "/rig.json");
    ASSERT_FALSE(report.result.warnings.empty());
    EXPECT_NE(report.result.warnings[0].find("8 x 4"), std::string::npos) << report.result.warnings[0];
    EXPECT_NE(report.result.warnings[0].find("1024 x 768"), std::string::npos) << report.result.warnings[0];
    EXPECT_EQ(readFile(out.path() + "/rig.json"), readFile(scan.path() + "/rig.json"));
    for (const MaskViewReport& v : report.views) EXPECT_FALSE(v.masked);
}
