// The conditioning of masked views: the response estimated from a view whose
// mixing the test makes, clipped highlights masked, a pattern-2 switch one
// pixel early put back on pattern 1's, a stale change let go, a boundary on
// a masked pixel kept, a clean view
// left as it is, the renderer's crosstalk, and a small scan with strong
// crosstalk through mask and scanner.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "decode/boundary.h"
#include "image/difference.h"
#include "image/scan_layout.h"
#include "mask/mask_condition.h"
#include "mask/mask_highlight.h"
#include "mask/mask_run.h"
#include "mask/mask_unmix.h"
#include "render/render.h"
#include "tools_util.h"

namespace {

// The stripe colour (1 to 3) of pattern 1 or 2 at line position t for
// stripes `width` pixels wide; pattern 2's boundaries `early` pixels sooner.
int stripeAt(int pattern, int t, int width, int early = 0) {
    const int s = pattern == 1 ? t / width : (t + early) / width;
    return (pattern == 1 ? kStripePattern1 : kStripePattern2)[s % 37];
}

// A view of vertical (pairs 0, 1) and horizontal (pairs 2, 3) stripes, as
// stored bytes (blue, green, red; rows packed): the positive lights the
// stripe's primary, the negative the other two; camera channel c sees
// mix[3c + p] of primary p, over an albedo that varies across the picture.
struct View {
    int w, h;
    std::vector<std::vector<unsigned char>> photographs;
    std::vector<MaskPair> pairs;
};
View makeView(int w, int h, const double mix[9], int width, int early = 0) {
    View v{w, h, std::vector<std::vector<unsigned char>>(8, std::vector<unsigned char>(3 * w * h)), {}};
    for (int read = 1; read <= 8; ++read)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool vertical = read <= 4;
                const int colour = stripeAt((read - 1) / 2 % 2 + 1, vertical ? x : y, width, early);
                const double albedo[3] = {0.6 + 0.3 * std::sin(0.05 * x), 0.7 + 0.2 * std::cos(0.07 * y),
                                          0.8 - 0.2 * std::sin(0.03 * (x + y))};
                for (int c = 0; c < 3; ++c) {
                    double light = 20;
                    for (int p = 0; p < 3; ++p)
                        light += mix[3 * c + p] * albedo[p] * ((colour == p + 1) == (read % 2 == 1) ? 150 : 0);
                    v.photographs[read - 1][3 * (y * w + x) + 2 - c] =
                        static_cast<unsigned char>(std::lround(std::min(light, 255.0)));
                }
            }
    ImgBmpLayout layout;
    layout.width = w;
    layout.height = h;
    layout.stride = 3 * static_cast<uint64_t>(w);
    for (int k = 0; k < 4; ++k)
        v.pairs.push_back({v.photographs[2 * k].data(), layout, v.photographs[2 * k + 1].data(), layout});
    return v;
}

// The boundary codes the decoder marks along row y of the vertical stripes.
std::vector<int> rowCodes(const View& v, int y) {
    Image* d[2];
    for (int k = 0; k < 2; ++k) {
        ImagePtr p(imgCreate(v.w, v.h)), n(imgCreate(v.w, v.h));
        for (int i = 0; i < 3 * v.w * v.h; ++i) {  // the reader's rule: byte / 255 in double
            const int stored = i / 3 * 3 + 2 - i % 3;
            p->pixels[i] = static_cast<float>(v.photographs[2 * k][stored] / 255.0);
            n->pixels[i] = static_cast<float>(v.photographs[2 * k + 1][stored] / 255.0);
        }
        d[k] = imgDifference(p.get(), n.get());
    }
    ImagePtr b(bcslDecodeVertical(d[0], d[1]));
    imgDestroy(d[0]);
    imgDestroy(d[1]);
    std::vector<int> codes;
    for (int x = 0; x < v.w; ++x) {
        const float* m = b->pixels + 3 * (static_cast<size_t>(y) * v.w + x);
        if (m[0] > 0.001f) codes.push_back(static_cast<int>(m[2] * 255 + 0.5));
    }
    return codes;
}

const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

}  // namespace

TEST(MaskUnmix, EstimatesTheViewsResponseAndUndoesIt) {
    const struct {
        const char* what;
        double mix[9];
    } cases[] = {
        {"no crosstalk", {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"symmetric", {1, 0.25, 0.25, 0.25, 1, 0.25, 0.25, 0.25, 1}},
        {"unequal, as a Bayer filter leaks", {0.9, 0.5, 0.1, 0.3, 1.0, 0.4, 0.05, 0.45, 0.8}},
        {"cyclic", {1, 0.45, 0, 0, 1, 0.45, 0.45, 0, 1}},
    };
    for (const auto& k : cases) {
        const View v = makeView(120, 96, k.mix, 6);
        std::vector<std::vector<float>> d(4, std::vector<float>(3 * v.w * v.h));
        MaskDiffs diffs{{}, {true, true, false, false}, 4, v.w, v.h};
        for (int p = 0; p < 4; ++p) {
            for (size_t i = 0; i < d[p].size(); ++i)
                d[p][i] = static_cast<float>(v.photographs[2 * p][i / 3 * 3 + 2 - i % 3]) -
                          v.photographs[2 * p + 1][i / 3 * 3 + 2 - i % 3];
            diffs.d[p] = d[p].data();
        }
        const std::vector<uint8_t> usable(4 * v.w * v.h, 1);
        double unmix[9], response[9];
        ASSERT_TRUE(maskEstimateUnmix(diffs, usable.data(), unmix, response)) << k.what;
        // The mixing with each primary's column scaled to 1 on the diagonal
        // (the albedo's mean scales the columns, which the estimate cannot
        // tell from the camera's).
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(response[3 * r + c], k.mix[3 * r + c] / k.mix[4 * c], 0.04)
                    << k.what << ", row " << r << " column " << c;
        // Unmixed, every pixel of every pair shows what the projector sent:
        // its stripe's primary positive, the other two negative.
        int wrong = 0;
        for (int p = 0; p < 4; ++p)
            for (int y = 0; y < v.h; ++y)
                for (int x = 0; x < v.w; ++x) {
                    float px[3];
                    std::copy_n(d[p].data() + 3 * (y * v.w + x), 3, px);
                    maskApply3(unmix, px);
                    const int colour = stripeAt(p % 2 + 1, p < 2 ? x : y, 6);
                    for (int c = 0; c < 3; ++c) wrong += (px[c] > 0) != (c + 1 == colour);
                }
        EXPECT_EQ(wrong, 0) << k.what;
    }
}

TEST(MaskHighlights, TwoChannelsClippedInBothExposuresAreMasked) {
    const struct {
        unsigned char positive[3], negative[3];  // stored: blue, green, red
        bool masked;
    } cases[] = {
        {{10, 255, 255}, {200, 255, 255}, true},   // red and green clipped in both
        {{255, 255, 255}, {255, 255, 255}, true},  // all three
        {{10, 10, 255}, {200, 200, 255}, false},   // red only: green and blue still differ
        {{10, 255, 255}, {200, 255, 200}, false},  // red clipped in the positive only
        {{40, 40, 40}, {200, 200, 200}, false},
    };
    const int n = sizeof cases / sizeof cases[0];
    std::vector<unsigned char> p(4 * 3 * n, 0), q(4 * 3 * n, 0);  // a 4-byte-aligned row
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) p[3 * i + c] = cases[i].positive[c], q[3 * i + c] = cases[i].negative[c];
    ImgBmpLayout layout;
    layout.width = n;
    layout.height = 1;
    layout.stride = p.size();
    const MaskPair pair{p.data(), layout, q.data(), layout};
    std::vector<uint8_t> contrast(n, 50);
    EXPECT_EQ(maskHighlights(&pair, 1, contrast.data()), 2u);
    for (int i = 0; i < n; ++i) EXPECT_EQ(contrast[i] == 0, cases[i].masked) << "case " << i;
}

TEST(MaskCondition, PatternTwoOnePixelEarlyIsPutBack) {
    View v = makeView(96, 16, kIdentity, 6, 1);
    // Pattern 2 changes one pixel before pattern 1 at every boundary: the
    // decoder files each crossing under the next boundary's code, or loses it.
    const std::vector<int> before = rowCodes(v, 8);
    std::vector<int> truth;
    for (int k = 0; k < 15; ++k) truth.push_back(k);
    EXPECT_NE(before, truth);
    MaskConditionWork work;
    MaskConditionReport report;
    bool changed[4];
    maskCondition(v.pairs.data(), &work, &report, changed);
    EXPECT_EQ(rowCodes(v, 8), truth);
    // Every boundary of every row, and of every column (two in 16 rows).
    EXPECT_EQ(report.aligned, 15u * 16 + 2u * 96);
    EXPECT_TRUE(changed[1] && changed[3]);
    EXPECT_FALSE(changed[0] || changed[2]);
}

TEST(MaskCondition, StaleChangeIsLetGo) {
    View v = makeView(96, 16, kIdentity, 6);
    // Pattern 2 shows no colour at the boundary between stripes 1 and 2
    // (x = 12): the decoder keeps stripe 1's colour through stripe 2 and
    // files the next boundary under a code made of it.
    for (int y = 0; y < v.h; ++y)
        for (int x = 11; x <= 12; ++x)
            std::copy_n(&v.photographs[2][3 * (y * v.w + x)], 3, &v.photographs[3][3 * (y * v.w + x)]);
    std::vector<int> truth = {0};
    for (int k = 2; k < 15; ++k) truth.push_back(k);
    EXPECT_NE(rowCodes(v, 5), truth);
    MaskConditionWork work;
    MaskConditionReport report;
    bool changed[4];
    maskCondition(v.pairs.data(), &work, &report, changed);
    EXPECT_EQ(rowCodes(v, 5), truth);  // boundary 1 stays lost, the rest are right
    EXPECT_EQ(report.cut, 16u);
    EXPECT_TRUE(changed[0]);
}

TEST(MaskCondition, BoundaryOnAMaskedPixelIsKept) {
    View v = makeView(96, 16, kIdentity, 6);
    // The pixel before boundary 2 (x = 17) has no colour in either pattern,
    // nor the one before boundary 5 (x = 35) in pattern 2 only.
    for (int y = 0; y < v.h; ++y) {
        for (int k = 0; k < 2; ++k)
            std::copy_n(&v.photographs[2 * k][3 * (y * v.w + 17)], 3, &v.photographs[2 * k + 1][3 * (y * v.w + 17)]);
        std::copy_n(&v.photographs[2][3 * (y * v.w + 35)], 3, &v.photographs[3][3 * (y * v.w + 35)]);
    }
    std::vector<int> truth;
    for (int k = 0; k < 15; ++k) truth.push_back(k);
    EXPECT_NE(rowCodes(v, 3), truth);
    MaskConditionWork work;
    MaskConditionReport report;
    bool changed[4];
    maskCondition(v.pairs.data(), &work, &report, changed);
    EXPECT_EQ(rowCodes(v, 3), truth);
    EXPECT_EQ(report.bridged, 3u * 16);  // pixels: two at x = 17, one at x = 35, every row
}

TEST(MaskCondition, CleanViewKeepsItsBytes) {
    View v = makeView(96, 64, kIdentity, 5);
    const std::vector<std::vector<unsigned char>> before = v.photographs;
    MaskConditionWork work;
    MaskConditionReport report;
    bool changed[4];
    maskCondition(v.pairs.data(), &work, &report, changed);
    EXPECT_TRUE(report.unmixed);
    EXPECT_EQ(report.rewritten, 0u);
    EXPECT_EQ(report.aligned, 0u);
    EXPECT_EQ(report.cut, 0u);
    EXPECT_EQ(report.bridged, 0u);
    EXPECT_TRUE(v.photographs == before);
}

// The renderer's crosstalk: each camera channel sees the matrix's share of
// every primary, so a view rendered with it is the matrix times the view
// rendered without (the renderer's light is linear in the primaries).
TEST(Rig, CrosstalkMixesThePrimaries) {
    SceneObject horse;
    ASSERT_TRUE(sceneMakeObject("horse", &horse));
    RenderOptions options;
    options.antialias = 1;
    options.texture = true;
    options.width = 600;  // the lower left of the picture, where the horse is
    options.height = 420;
    const Photographs plain = renderPhotographs(horse, options, 2, 150);
    const double mix[9] = {0.9, 0.5, 0.1, 0.3, 1.0, 0.4, 0.05, 0.45, 0.8};
    std::copy_n(mix, 9, options.effects.crosstalk);
    const Photographs mixed = renderPhotographs(horse, options, 2, 150);
    double worst = 0, largest = 0;
    for (int i = 0; i < 8; ++i)
        for (size_t p = 0; p < imgFloatCount(plain[i].get()); p += 3)
            for (int c = 0; c < 3; ++c) {
                const float* v = plain[i]->pixels + p;
                const double want = mix[3 * c] * v[0] + mix[3 * c + 1] * v[1] + mix[3 * c + 2] * v[2];
                worst = std::max(worst, std::fabs(mixed[i]->pixels[p + c] - want));
                largest = std::max(largest, want);
            }
    EXPECT_LT(worst, 1e-5);
    EXPECT_GT(largest, 0.3);  // the horse is in the picture
}

// A smaller scan of the textured horse (see the mask's end-to-end test) whose
// photographs are mixed with a strong, unequal crosstalk (cyclic: each camera
// channel sees 0.4 of the next primary): the contrast mask alone loses many
// crossings; conditioned, the scan keeps the clean scan's.
TEST(EndToEnd, ConditionedCrosstalkScanKeepsTheCleanScansPoints) {
    TempDir clean, mixed, plain, conditioned;
    ASSERT_EQ(renderScan("--aa 1 --blur 0.7 --texture --size 660x768", clean.path()), 0);
    mkdir((mixed.path() + "/cavalo").c_str(), 0755);
    for (int angle = 0; angle <= 330; angle += 30)
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read) {
                const std::string name = scanPhotographPath(read, camera, angle);
                const std::string bytes = readFile(clean.path() + "/" + name);
                std::vector<unsigned char> out(bytes.begin(), bytes.end());
                for (size_t i = 54; i + 2 < out.size(); i += 3)  // rows of 660 pixels: no padding
                    for (int c = 0; c < 3; ++c) {  // stored blue, green, red
                        const int v = std::lround(static_cast<unsigned char>(bytes[i + 2 - c]) +
                                                  0.4 * static_cast<unsigned char>(bytes[i + 2 - (c + 1) % 3]));
                        out[i + 2 - c] = static_cast<unsigned char>(std::min(v, 255));
                    }
                writeFile(mixed.path() + "/" + name, out);
            }
    const std::string scene = readFile(clean.path() + "/scene.txt");
    for (const TempDir* d : {&mixed, &plain, &conditioned}) writeText(d->path() + "/scene.txt", scene);
    MaskOptions options;
    options.progress = false;
    MaskRunReport report;
    ASSERT_EQ((report = maskRun(mixed.path(), conditioned.path(), options)).result.status, 0);
    for (const MaskViewReport& view : report.views) {
        EXPECT_TRUE(view.unmixed);
        EXPECT_NEAR(view.response[1], 0.4, 0.05);  // camera red sees green
        EXPECT_NEAR(view.response[2], 0.0, 0.05);
    }
    options.condition = false;
    ASSERT_EQ((report = maskRun(mixed.path(), plain.path(), options)).result.status, 0);

    const EvalReport truth = scanAndEvaluate(clean.path());
    const EvalReport lost = scanAndEvaluate(plain.path());
    const EvalReport r = scanAndEvaluate(conditioned.path());
    const double good = truth.points * truth.within1;
    // The mask alone: about 0.84 of the good points, 1 % beyond 5 units.
    EXPECT_LT(lost.points * lost.within1, 0.9 * good);
    EXPECT_GT(lost.beyond5, 0.006);
    EXPECT_GE(r.points * r.within1, 0.97 * good);
    EXPECT_GE(r.within1, 0.96);
    EXPECT_LE(r.beyond5, 0.004);
}
