// The dense mode's parts on inputs whose answer is known independently:
// sub-pixel boundaries on synthetic rows with edges at chosen positions, the
// epipolar meeting on boundaries projected from a known plane of light,
// twice-met lines, and the light-plane check with false boundaries and with
// too few points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "decode/dense_marks.h"
#include "geometry/algebra.h"
#include "geometry/camera_model.h"
#include "geometry/dense_points.h"
#include "geometry/dense_view.h"
#include "geometry/epipolar.h"
#include "geometry/light_plane.h"
#include "geometry/rig.h"
#include "image/scan_layout.h"
#include "test_util.h"

namespace {

// A row of a pattern difference and of its total light: stripe k covers
// [edge[k - 1], edge[k]) of the continuous column (pixel x covers
// [x - 0.5, x + 0.5]); each pixel is the box integral of the positive
// exposure (1 in the stripe's channel) minus the negative (1 in the other
// two), and of their sum, blurred by a Gaussian of `sigma` pixels (0: none),
// over `albedo` per channel, which swings by the share `texture` either way
// over 20 pixels along the row (a textured or shaded surface: 0.3 changes it
// by up to 9 % a pixel).
struct SyntheticRow {
    std::vector<float> channel[3];
    std::vector<float> total[3];
    std::vector<unsigned char> positive, negative;  // as stored: blue, green, red
};

SyntheticRow renderRow(const int* pattern, const std::vector<double>& edges, int width,
                       double sigma, const double albedo[3], double texture = 0) {
    SyntheticRow row;
    for (auto& c : row.channel) c.assign(width, 0.0f);
    for (auto& c : row.total) c.assign(width, 0.0f);
    const int sub = 32;  // subsamples a pixel
    const int reach = sigma > 0 ? static_cast<int>(std::ceil(4 * sigma * sub)) : 0;
    auto stripeAt = [&](double x) {
        int k = 0;
        while (k < 36 && x >= edges[k]) ++k;
        return k;
    };
    for (int x = 0; x < width; ++x) {
        double sum[3] = {0, 0, 0}, light[3] = {0, 0, 0}, weight = 0;
        for (int i = -reach; i < sub + reach; ++i) {
            const double at = x - 0.5 + (i + 0.5) / sub;
            double w = 1;
            if (sigma > 0) {
                // Box of the pixel convolved with the Gaussian: weight each
                // subsample by the Gaussian's mass over the pixel's box.
                const double lo = (x - 0.5 - at) / (sigma * std::sqrt(2.0));
                const double hi = (x + 0.5 - at) / (sigma * std::sqrt(2.0));
                w = 0.5 * (std::erf(hi) - std::erf(lo));
            } else if (i < 0 || i >= sub) {
                continue;
            }
            const int colour = pattern[stripeAt(at)];
            const double scale = 1 + texture * std::sin(2 * kPi * at / 20);
            for (int c = 0; c < 3; ++c) {
                sum[c] += w * scale * (colour == c + 1 ? albedo[c] : -albedo[c]);
                light[c] += w * scale * albedo[c];
            }
            weight += w;
        }
        for (int c = 0; c < 3; ++c) {
            row.channel[c][x] = static_cast<float>(sum[c] / weight);
            row.total[c][x] = static_cast<float>(light[c] / weight);
        }
    }
    // The photographs: positive (total + difference) / 2, negative (total -
    // difference) / 2, as bytes (scaled by 1 / 1.5 so a textured surface's
    // brightest stays below 255; only the ratio of totals matters).
    // With 16 bytes to spare past the last pixel, as the photographs' rows
    // come from the reader (16 bytes may be loaded from any pixel).
    row.positive.resize(3 * static_cast<size_t>(width) + 16);
    row.negative.resize(3 * static_cast<size_t>(width) + 16);
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
            const double t = row.total[c][x], d = row.channel[c][x];
            const size_t i = 3 * static_cast<size_t>(x) + (2 - c);
            row.positive[i] = static_cast<unsigned char>(std::lround(255 / 1.5 * 0.5 * (t + d)));
            row.negative[i] = static_cast<unsigned char>(std::lround(255 / 1.5 * 0.5 * (t - d)));
        }
    }
    return row;
}

// The row as the decoder reads it, with or without its photographs' rows.
DenseRow viewOf(const SyntheticRow& row, bool photographs = true) {
    DenseRow view{{row.channel[0].data(), row.channel[1].data(), row.channel[2].data()}};
    if (photographs) {
        view.positive = row.positive.data();
        view.negative = row.negative.data();
    }
    return view;
}

// Edges 36 boundaries of stripes `width` pixels wide from column `start`.
std::vector<double> evenEdges(double start, double width) {
    std::vector<double> edges;
    for (int k = 0; k < 36; ++k) edges.push_back(start + width * (k + 1));
    return edges;
}

}  // namespace

// A flat board's edges, sharp and under optics blur, at many sub-pixel
// phases: every boundary found with its code, within a tenth of a pixel. With
// unequal albedo per channel the two patterns' classes flip at different
// shares of a pixel, so that pattern 2 can switch a pixel before pattern 1:
// the walk alone would lose that boundary or file it under the next one's
// code, and the row's repairs keep it.
TEST(DenseMarks, BoardEdgesWithinATenthOfAPixel) {
    const double grey[3] = {0.8, 0.8, 0.8}, tinted[3] = {0.9, 0.35, 0.6};
    for (double sigma : {0.0, 0.7, 1.0}) {
        for (const double* albedo : {grey, tinted}) {
            for (int phase = 0; phase < 10; ++phase) {
                const std::vector<double> edges = evenEdges(7.0 + phase * 0.1, 9.37);
                const SyntheticRow p1 = renderRow(kPattern1, edges, 360, sigma, albedo);
                const SyntheticRow p2 = renderRow(kPattern2, edges, 360, sigma, albedo);
                DenseRowWork work;
                std::vector<DenseMark> marks;
                denseRowMarks(viewOf(p1), viewOf(p2), 360, &work, &marks);
                ASSERT_EQ(marks.size(), 36u) << "sigma " << sigma << " phase " << phase;
                for (size_t i = 0; i < marks.size(); ++i) {
                    EXPECT_EQ(marks[i].code, static_cast<int>(i)) << "sigma " << sigma;
                    EXPECT_LT(std::fabs(marks[i].u - edges[i]), 0.1)
                        << "sigma " << sigma << " code " << i;
                }
            }
        }
    }
}

// The area position on hand-worked samples: a sharp edge 0.7 of the way
// into the pixel it crosses, the same edge spread evenly over two pixels,
// and a level reached late.
TEST(DenseMarks, AreaPositionOfWorkedSamples) {
    const struct {
        double s[6];
        double position;
    } cases[] = {
        {{2, 2, 0.8, -2, -2, -2}, 2.2},   // pixel 2 is 0.7 left side: 1.5 + 0.7
        {{2, 2, 1, -1, -2, -2}, 2.5},     // symmetric about the pixel border
        {{2, 2, 2, 2, 2, -2}, 4.5},       // the border between pixels 4 and 5
        {{2, 2.5, -2, -2, -2, -2}, 1.5},  // an overshoot counts as the level
    };
    for (const auto& c : cases) EXPECT_NEAR(denseAreaPosition(c.s, 6), c.position, 1e-12);
}

// The estimators on rows of known edges, sharp and blurred, plain and on a
// textured surface whose light changes by up to 9 % a pixel. With the total
// light (the area position, moved back by the blur's shading shift) an edge
// on a plain surface is placed within 0.01 pixel on average at every blur,
// and on the textured one within 0.03; without it (the linear zero crossing)
// a sharp edge is 0.05 pixel off on average, and under blur the texture moves
// the edge by up to a tenth of a pixel.
TEST(DenseMarks, AreaPositionPlacesSharpAndBlurredEdges) {
    const double tinted[3] = {0.9, 0.35, 0.6};
    for (double sigma : {0.0, 0.5, 0.7, 1.0, 1.3}) {
        for (double texture : {0.0, 0.3}) {
            double error[2] = {0, 0};
            int count[2] = {0, 0};
            for (int phase = 0; phase < 10; ++phase) {
                const std::vector<double> edges = evenEdges(7.0 + phase * 0.1, 11.3);
                const SyntheticRow p1 = renderRow(kPattern1, edges, 420, sigma, tinted, texture);
                const SyntheticRow p2 = renderRow(kPattern2, edges, 420, sigma, tinted, texture);
                for (int totals = 0; totals < 2; ++totals) {
                    DenseRowWork work;
                    std::vector<DenseMark> marks;
                    denseRowMarks(viewOf(p1, totals), viewOf(p2, totals), 420, &work, &marks);
                    for (const DenseMark& m : marks) {
                        const double e = std::fabs(m.u - edges[m.code]);
                        if (e > 2) continue;  // a misread code (tinted rows)
                        error[totals] += e;
                        ++count[totals];
                    }
                }
            }
            ASSERT_GT(count[0], 300);
            ASSERT_GT(count[1], 300);
            const double linear = error[0] / count[0], area = error[1] / count[1];
            EXPECT_LT(area, texture == 0 ? 0.01 : 0.03)
                << "sigma " << sigma << " texture " << texture;
            if (sigma == 0) {
                EXPECT_GT(linear, 0.05) << "texture " << texture;
            }
            if (texture > 0 && sigma >= 0.7) {
                EXPECT_GT(linear, 0.04) << "sigma " << sigma;
                EXPECT_LT(area, linear / 3) << "sigma " << sigma;
            }
        }
    }
}

// The blur's spread on hand-worked falls: a sharp edge (nothing to undo), one
// spread evenly over two pixel borders (variance 1/4 about their middle, less
// the 1/12 of whole pixels), over three, and with a rise that counts as no
// fall; and the shift it gives, held to half a pixel.
TEST(DenseMarks, EdgeSpreadAndShadingShiftOfWorkedSamples) {
    const struct {
        double s[6];
        double spread;
    } cases[] = {
        {{2, 2, 2, -2, -2, -2}, 0.0},
        {{2, 2, 0, -2, -2, -2}, 0.25 - 1.0 / 12},
        {{2, 2, 1, -1, -2, -2}, 0.5 - 1.0 / 12},      // falls 1, 2, 1 a border apart
        // The rise drops out: falls 1.5, 2, 1 about 43/18, variance 44/81.
        {{2, 2.5, 1, -1, -2, -2}, 44.0 / 81 - 1.0 / 12},
        {{2, 2.1, 2, -2, -2, -2}, 0.0},  // a ripple on a sharp edge: below 1/12
    };
    for (const auto& c : cases) EXPECT_NEAR(denseEdgeSpread(c.s, 6), c.spread, 1e-12);
    EXPECT_NEAR(denseShadingShift(1.0, 0.1), 0.1, 1e-15);
    EXPECT_NEAR(denseShadingShift(0.5, -0.2), -0.1, 1e-15);
    EXPECT_EQ(denseShadingShift(2.0, 0.4), 0.5);
    EXPECT_EQ(denseShadingShift(2.0, -0.4), -0.5);
}

namespace {

// The boundary of the plane of light x = planeX on the wall z = wallZ + 0.1 y
// as camera `index` of `rig` sees it: one mark of code `code` a row where the
// curve crosses the row.
DenseMarks projectBoundary(const Rig& rig, int index, double planeX, double wallZ, int code,
                           double yLow, double yHigh) {
    DenseMarks marks;
    marks.width = rig.width;
    marks.height = rig.height;
    marks.rowStart.assign(rig.height + 1, 0);
    std::vector<std::vector<DenseMark>> rows(rig.height);
    const RigCamera& camera = rig.cameras[index];
    auto rowOf = [&](double y) {
        double u = 0, v = 0;
        rigProject(camera, Vec3{planeX, y, wallZ + 0.1 * y}, &u, &v);
        return v;
    };
    for (int stored = 0; stored < rig.height; ++stored) {
        const double v = (rig.height - 1) - stored;
        // v falls as y rises; bisect for the world height seen on row v.
        double lo = yLow, hi = yHigh;
        if (!(rowOf(lo) >= v && rowOf(hi) <= v)) continue;
        for (int i = 0; i < 60; ++i) {
            const double mid = 0.5 * (lo + hi);
            (rowOf(mid) >= v ? lo : hi) = mid;
        }
        double u = 0, vv = 0;
        rigProject(camera, Vec3{planeX, lo, wallZ + 0.1 * lo}, &u, &vv);
        rows[stored].push_back(DenseMark{static_cast<float>(u), code});
    }
    for (int y = 0; y < rig.height; ++y) {
        marks.rowStart[y] = static_cast<int32_t>(marks.marks.size());
        marks.marks.insert(marks.marks.end(), rows[y].begin(), rows[y].end());
    }
    marks.rowStart[rig.height] = static_cast<int32_t>(marks.marks.size());
    return marks;
}

Rig distortedRig() {
    Rig rig = rigBuiltIn();
    const double k[2][5] = {{-0.12, 0.05, 0.001, -0.0005, 0}, {0.08, -0.02, -0.001, 0.0004, 0}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 5; ++j) rig.cameras[i].distortion[j] = k[i][j];
    rig.cameras[1].fy = rig.cameras[1].fx * 1.01;
    return rig;
}

}  // namespace

// Four boundaries of one view: one that bends (a parabola across the rows)
// read with an alternating error of 0.15 pixel, one that runs slanted down
// the picture read in steps of half a pixel, as a picture of 2 x 2 samples a
// pixel reads it, and two read alike that run nearly straight down it, one
// straight and one bending. Smoothing takes the alternating error out and
// follows the bend, which a straight line over eleven rows would cut by 0.2
// pixel; it averages the steps over more rows where a boundary that straight
// allows it; it averages the rare steps of the upright boundary over many
// rows; and it follows the upright bend, which a straight line over as many
// rows would miss by up to 0.6 pixel.
TEST(DenseView, SmoothingFollowsBendsAndAveragesSteps) {
    const Rig rig = rigBuiltIn();
    DenseMarks marks;
    marks.width = rig.width;
    marks.height = rig.height;
    auto bend = [](int y) { return 400 + 0.02 * (y - 200) * (y - 200); };
    auto slanted = [](int y) { return 600.1 + 0.03 * (y - 200); };
    auto upright = [](int y) { return 800.2 + 0.004 * (y - 200); };
    auto uprightBend = [](int y) { return 300.1 + 0.0008 * (y - 420) * (y - 420); };
    auto steps = [](double u) { return static_cast<float>(std::round(2 * u) / 2); };
    for (int y = 0; y < rig.height; ++y) {
        marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
        if (y >= 320 && y <= 520) marks.marks.push_back(DenseMark{steps(uprightBend(y)), 5});
        if (y >= 150 && y <= 250) {
            const double error = y % 2 == 0 ? 0.15 : -0.15;
            marks.marks.push_back(DenseMark{static_cast<float>(bend(y) + error), 9});
        }
        if (y >= 100 && y <= 300) marks.marks.push_back(DenseMark{steps(slanted(y)), 20});
        if (y >= 50 && y <= 350) marks.marks.push_back(DenseMark{steps(upright(y)), 30});
    }
    marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
    DenseView view;
    denseViewBuild(marks, rig.cameras[0], &view);
    // Mean absolute error of the smoothed and the read columns, by code.
    double smoothed[40] = {}, read[40] = {};
    int count[40] = {};
    for (int y = 0; y < rig.height; ++y) {
        for (int32_t m = view.rowStart[y]; m < view.rowStart[y + 1]; ++m) {
            const int code = view.code[m];
            double truth = 0;
            if (code == 9 && y >= 155 && y <= 245) {
                EXPECT_NEAR(view.u[m], bend(y), 0.03) << "row " << y;
                continue;
            }
            if (code == 20 && y >= 112 && y <= 288) truth = slanted(y);
            else if (code == 30 && y >= 98 && y <= 302) truth = upright(y);
            else if (code == 5 && y >= 368 && y <= 472) truth = uprightBend(y);
            else continue;
            EXPECT_NEAR(view.u[m], truth, 0.25) << "code " << code << ", row " << y;
            smoothed[code] += std::fabs(view.u[m] - truth);
            read[code] += std::fabs(marks.marks[m].u - truth);
            ++count[code];
        }
    }
    ASSERT_EQ(count[20], 177);
    ASSERT_EQ(count[30], 205);
    ASSERT_EQ(count[5], 105);
    for (int code : {20, 30, 5}) EXPECT_LT(smoothed[code], 0.5 * read[code]) << "code " << code;
}

// The wider fits' limit on residuals stays above the scatter of half-pixel
// steps when every other boundary of the view reads smoothly (as a blurred
// picture's do): the upright boundary's rare steps are still averaged.
TEST(DenseView, StepsAveragedAmongSmoothBoundaries) {
    const Rig rig = rigBuiltIn();
    DenseMarks marks;
    marks.width = rig.width;
    marks.height = rig.height;
    auto upright = [](int y) { return 800.2 + 0.004 * (y - 200); };
    for (int y = 0; y < rig.height; ++y) {
        marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
        if (y < 50 || y > 350) continue;
        for (int code = 1; code <= 10; ++code)
            marks.marks.push_back(DenseMark{static_cast<float>(40.0 * code + 0.2 * y), code});
        marks.marks.push_back(DenseMark{static_cast<float>(std::round(2 * upright(y)) / 2), 30});
    }
    marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
    DenseView view;
    denseViewBuild(marks, rig.cameras[0], &view);
    double smoothed = 0, read = 0;
    int count = 0;
    for (int y = 98; y <= 302; ++y) {
        for (int32_t m = view.rowStart[y]; m < view.rowStart[y + 1]; ++m) {
            if (view.code[m] != 30) continue;
            smoothed += std::fabs(view.u[m] - upright(y));
            read += std::fabs(marks.marks[m].u - upright(y));
            ++count;
        }
    }
    ASSERT_EQ(count, 205);
    EXPECT_LT(smoothed, 0.5 * read);
}

// Marks projected from a known curve (a plane of light on a tilted wall) in
// both cameras meet along their epipolar lines and triangulate back onto the
// curve, with and without lens distortion.
TEST(DenseMeeting, ProjectedBoundaryTriangulatesOntoTheCurve) {
    for (const Rig& rig : {rigBuiltIn(), distortedRig()}) {
        DenseView views[2];
        for (int i = 0; i < 2; ++i)
            denseViewBuild(projectBoundary(rig, i, 5.0, 10.0, 17, -40.0, 20.0), rig.cameras[i],
                           &views[i]);
        std::vector<DensePoint> points;
        densePoints(rig, views, false, &points);
        // Both cameras' marks over some 150 rows each.
        EXPECT_GT(points.size(), 300u);
        double worst = 0;
        for (const DensePoint& p : points) {
            EXPECT_EQ(p.stripe, 17.0);
            worst = std::max(worst, std::fabs(p.world.x - 5.0));
            worst = std::max(worst, std::fabs(p.world.z - (10.0 + 0.1 * p.world.y)));
        }
        EXPECT_LT(worst, 0.005);
    }
}

namespace {

// The boundaries of several planes of light x = planes[i] (code first + i)
// on the same wall, merged row by row in column order.
DenseMarks projectBoundaries(const Rig& rig, int index, const std::vector<double>& planes,
                             int first, double wallZ) {
    std::vector<DenseMarks> each;
    for (size_t i = 0; i < planes.size(); ++i)
        each.push_back(projectBoundary(rig, index, planes[i], wallZ, first + static_cast<int>(i),
                                       -40.0, 20.0));
    DenseMarks marks;
    marks.width = rig.width;
    marks.height = rig.height;
    for (int y = 0; y < rig.height; ++y) {
        marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
        std::vector<DenseMark> row;
        for (const DenseMarks& m : each)
            row.insert(row.end(), m.marks.begin() + m.rowStart[y], m.marks.begin() + m.rowStart[y + 1]);
        std::sort(row.begin(), row.end(),
                  [](const DenseMark& a, const DenseMark& b) { return a.u < b.u; });
        marks.marks.insert(marks.marks.end(), row.begin(), row.end());
    }
    marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
    return marks;
}

}  // namespace

// Fill between four boundaries on a flat wall: every filled pixel lies on the
// wall, between its two planes of light, in both cameras' rows; a pixel is
// filled only between the middle two of four successive boundaries.
TEST(DenseFill, PixelsBetweenBoundariesLieOnTheWall) {
    const Rig rig = rigBuiltIn();
    DenseView views[2];
    for (int i = 0; i < 2; ++i)
        denseViewBuild(projectBoundaries(rig, i, {0.0, 2.5, 5.0, 7.5}, 20, 10.0),
                       rig.cameras[i], &views[i]);
    std::vector<DensePoint> points;
    densePoints(rig, views, true, &points);
    size_t filled = 0;
    double worst = 0;
    for (const DensePoint& p : points) {
        worst = std::max(worst, std::fabs(p.world.z - (10.0 + 0.1 * p.world.y)));
        if (p.stripe == std::floor(p.stripe)) continue;
        ++filled;
        ASSERT_GT(p.stripe, 21.0);
        ASSERT_LT(p.stripe, 22.0);
        // Evenly spaced parallel planes on a plane: the stripe coordinate is
        // nearly linear in x.
        EXPECT_NEAR(p.world.x, 2.5 + 2.5 * (p.stripe - 21), 0.05);
    }
    EXPECT_LT(worst, 0.02);
    // About 5 pixels a stripe, some 150 rows, two cameras.
    EXPECT_GT(filled, 1000u);
}

// Where the four boundaries straddle an occlusion (the stripe beyond seen
// much wider by one camera than its neighbours), the stripe is not filled.
TEST(DenseFill, StripesAcrossAnOcclusionSkipped) {
    const Rig rig = rigBuiltIn();
    DenseView views[2];
    for (int i = 0; i < 2; ++i) {
        DenseMarks marks = projectBoundaries(rig, i, {0.0, 2.5, 5.0, 7.5}, 20, 10.0);
        // Camera 2 sees the last boundary 25 pixels further right, as if it
        // fell on a far surface.
        if (i == 1)
            for (DenseMark& m : marks.marks)
                if (m.code == 23) m.u += 25;
        denseViewBuild(marks, rig.cameras[i], &views[i]);
    }
    std::vector<DensePoint> points;
    densePoints(rig, views, true, &points);
    for (const DensePoint& p : points) EXPECT_EQ(p.stripe, std::floor(p.stripe));
}

namespace {

// A view of `height` rows whose code-`code` boundaries are vertical lines at
// the given columns.
DenseView verticalBoundaries(const Rig& rig, const std::vector<double>& columns, int code) {
    DenseMarks marks;
    marks.width = rig.width;
    marks.height = rig.height;
    for (int y = 0; y < rig.height; ++y) {
        marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
        for (double u : columns) marks.marks.push_back(DenseMark{static_cast<float>(u), code});
    }
    marks.rowStart.push_back(static_cast<int32_t>(marks.marks.size()));
    DenseView view;
    denseViewBuild(marks, rig.cameras[1], &view);
    return view;
}

}  // namespace

// An epipolar line crossing one boundary meets it once, at the crossing; a
// line crossing two boundaries of its code (an occlusion or a false
// boundary) meets it twice and the mark gets no partner.
TEST(DenseMeeting, TwiceMetLineHasNoPartner) {
    const Rig rig = rigBuiltIn();
    const DenseEssential essential = denseEssential(rig, 0, 1);
    // Camera 1's principal point sees a world point near (0, -10, 0); its
    // epipolar line in camera 2 passes through that point's image.
    double x1 = 0, y1 = 0;
    ASSERT_TRUE(rigUndistort(rig.cameras[0], 512.0, 383.0, &x1, &y1));
    double line[3];
    denseEpipolarLine(essential, x1, y1, line);
    double u2 = 0, v2 = 0;
    ASSERT_TRUE(rigProject(rig.cameras[1], Vec3{0.0, -10.0, 0.0}, &u2, &v2));

    const DenseView once = verticalBoundaries(rig, {u2}, 9);
    double x = 0, y = 0;
    ASSERT_EQ(denseMeet(once, rig.cameras[1], line, 9, &x, &y), 1);
    EXPECT_NEAR(rig.cameras[1].fx * x + rig.cameras[1].cx, u2, 1e-4);
    EXPECT_NEAR(rig.cameras[1].fy * y + rig.cameras[1].cy, v2, 0.05);
    EXPECT_EQ(denseMeet(once, rig.cameras[1], line, 10, &x, &y), 0);  // another code

    const DenseView twice = verticalBoundaries(rig, {u2 - 100, u2 + 100}, 9);
    EXPECT_EQ(denseMeet(twice, rig.cameras[1], line, 9, &x, &y), 2);
    DenseView views[2] = {verticalBoundaries(rig, {512.0}, 9), twice};
    views[0].nx.assign(views[0].nx.size(), x1);  // every mark of camera 1 on that pixel's ray
    views[0].ny.assign(views[0].ny.size(), y1);
    std::vector<DensePoint> points;
    densePoints(rig, views, false, &points);
    // Camera 2's marks each meet camera 1's single boundary once; camera 1's
    // marks none.
    for (const DensePoint& p : points) EXPECT_GT(std::fabs(p.world.x), 1.0);
}

namespace {

// Points on the plane normal . X = offset (normal unit), spread over a
// 40 x 40 patch, with a small deterministic jitter across the plane.
std::vector<Vec3> planePoints(Vec3 normal, double offset, int count) {
    const Vec3 a = normalized(cross(normal, Vec3{0.3, 1, 0.2}));
    const Vec3 b = cross(normal, a);
    std::vector<Vec3> points;
    for (int i = 0; i < count; ++i) {
        const double s = std::fmod(i * 0.618034, 1.0) * 40 - 20;
        const double t = std::fmod(i * 0.414214, 1.0) * 40 - 20;
        const double jitter = 0.02 * std::sin(i * 1.7);
        points.push_back(offset * normal + s * a + t * b + jitter * normal);
    }
    return points;
}

}  // namespace

// A false boundary at an occlusion (a near part's outline read as code c over
// a far part) lies units off the plane of light c: the robust fit ignores it
// and the check drops it, while every point of the stripe itself stays.
TEST(LightPlane, FalseBoundaryAtOcclusionDropped) {
    const Vec3 normal = normalized(Vec3{0.95, 0.0, 0.31});
    std::vector<DensePoint> points;
    for (const Vec3& p : planePoints(normal, 4.0, 2000)) points.push_back(DensePoint{p, 12.0});
    // 3 % false points, 1 to 5 units off on one side.
    for (int i = 0; i < 60; ++i) {
        const Vec3 p = planePoints(normal, 4.0, 60)[i];
        points.push_back(DensePoint{p + (1.0 + (i % 5)) * normal, 12.0});
    }
    LightPlane planes[kBcslCodes];
    lightPlanesFit({&points}, planes);
    ASSERT_TRUE(planes[12].valid);
    EXPECT_NEAR(std::fabs(dot(planes[12].normal, normal)), 1.0, 1e-6);
    int kept = 0, falseKept = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        if (!lightPlaneKeeps(planes, points[i])) continue;
        ++kept;
        if (i >= 2000) ++falseKept;
    }
    EXPECT_EQ(kept, 2000);
    EXPECT_EQ(falseKept, 0);
}

// A boundary misread as code c over part of the object (one leg: a fifth of
// the code's points) lies on a plane of light turned a little from c's, a
// third of a unit to almost a unit off it there. A least-squares start tilts
// toward those points and settles between the two planes, dropping a quarter
// of c's own points and keeping some misread ones; the fit must find c's own
// plane, keep all of its points and none of the misread.
TEST(LightPlane, BoundaryMisreadOnOnePartDropped) {
    // Planes of light through the y axis (the projector's), 0.8 degrees apart.
    const double turn = 0.8 * kPi / 180;
    const Vec3 n0{1, 0, 0}, n2{std::cos(turn), 0, std::sin(turn)};
    const Vec3 along0 = cross(Vec3{0, 1, 0}, n0), along2 = cross(Vec3{0, 1, 0}, n2);
    std::vector<DensePoint> points;
    for (int i = 0; i < 2000; ++i) {
        const double s = 20 + 40 * std::fmod(i * 0.618034, 1.0);  // away from the projector
        const double t = -20 + 40 * std::fmod(i * 0.414214, 1.0);
        const Vec3 jitter = 0.02 * std::sin(i * 1.7) * n0;
        points.push_back(DensePoint{s * along0 + Vec3{0, t, 0} + jitter, 7.0});
    }
    for (int i = 0; i < 600; ++i) {
        const double s = 25 + 35 * std::fmod(i * 0.618034, 1.0);
        const double t = -20 + 20 * std::fmod(i * 0.414214, 1.0);
        points.push_back(DensePoint{s * along2 + Vec3{0, t, 0}, 7.0});
    }
    LightPlane planes[kBcslCodes];
    lightPlanesFit({&points}, planes);
    ASSERT_TRUE(planes[7].valid);
    EXPECT_NEAR(std::fabs(dot(planes[7].normal, n0)), 1.0, 1e-6);
    EXPECT_NEAR(std::fabs(planes[7].offset), 0.0, 0.01);
    int own = 0, misread = 0;
    for (size_t i = 0; i < points.size(); ++i)
        if (lightPlaneKeeps(planes, points[i])) ++(i < 2000 ? own : misread);
    EXPECT_EQ(own, 2000);
    EXPECT_EQ(misread, 0);
}

// A filled point between codes c and c + 1 is held to the plane between
// theirs: on the middle plane it stays, 0.5 units off it goes.
TEST(LightPlane, FilledPointHeldBetweenNeighbouringPlanes) {
    // Two planes through the y axis, 2 degrees apart, as a projector's stripes.
    const double a0 = 0.0, a1 = 2.0 * 3.14159265358979 / 180;
    const Vec3 n0{std::cos(a0), 0, std::sin(a0)}, n1{std::cos(a1), 0, std::sin(a1)};
    std::vector<DensePoint> points;
    for (const Vec3& p : planePoints(n0, 0.0, 500)) points.push_back(DensePoint{p, 3.0});
    for (const Vec3& p : planePoints(n1, 0.0, 500)) points.push_back(DensePoint{p, 4.0});
    LightPlane planes[kBcslCodes];
    lightPlanesFit({&points}, planes);
    ASSERT_TRUE(planes[3].valid && planes[4].valid);
    const Vec3 mid = normalized(n0 + n1);
    const Vec3 along = normalized(cross(mid, Vec3{0, 1, 0}));
    const Vec3 onMiddle = 30.0 * along + Vec3{0, 5, 0};
    EXPECT_TRUE(lightPlaneKeeps(planes, DensePoint{onMiddle, 3.5}));
    EXPECT_FALSE(lightPlaneKeeps(planes, DensePoint{onMiddle + 0.5 * mid, 3.5}));
    // Code 35 has no plane after it; no plane of code 5 at all.
    EXPECT_FALSE(lightPlaneKeeps(planes, DensePoint{onMiddle, 35.5}));
    EXPECT_FALSE(lightPlaneKeeps(planes, DensePoint{onMiddle, 5.0}));
}

// Codes with too few points, or points on one line, have no plane; their
// points are dropped, not kept unchecked, and nothing fails.
TEST(LightPlane, BadPlanesHandled) {
    const Vec3 normal{1, 0, 0};
    struct Case {
        const char* what;
        std::vector<Vec3> points;
    };
    std::vector<Vec3> line;
    for (int i = 0; i < 200; ++i) line.push_back(Vec3{1.0, 0.1 * i, 0.0});
    const Case cases[] = {
        {"none", {}},
        {"one", {Vec3{1, 2, 3}}},
        {"too few", planePoints(normal, 2.0, kLightPlaneMinPoints - 1)},
        {"on a line", line},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(lightPlaneFit(c.points).valid) << c.what;
        std::vector<DensePoint> points;
        for (const Vec3& p : c.points) points.push_back(DensePoint{p, 7.0});
        LightPlane planes[kBcslCodes];
        lightPlanesFit({&points}, planes);
        EXPECT_FALSE(planes[7].valid) << c.what;
        for (const DensePoint& p : points) EXPECT_FALSE(lightPlaneKeeps(planes, p)) << c.what;
    }
    EXPECT_TRUE(lightPlaneFit(planePoints(normal, 2.0, kLightPlaneMinPoints)).valid);
}

// A dense run over photographs that cannot be read names each one in the
// run's order, skips its angle, writes the rest and ends with status 1.
TEST(DenseRun, UnreadablePhotographsNamedInOrder) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("cavalo"));
    // Angle 30, camera 1: a file cut short; every other photograph missing.
    writeFile(dir.file(scanPhotographPath(1, 1, 30)), {'B', 'M', 0, 0});
    runCommand("cd '" + dir.path() + "' && '" SLSCAN_EXE
               "' --dense > out.txt 2> err.txt; echo $? > status.txt");
    EXPECT_EQ(readFile(dir.file("status.txt")), "1\n");
    const std::string err = readFile(dir.file("err.txt"));
    const size_t at0 = err.find("slscan: angle 0, camera 1: cannot open \"cavalo/Cavalo Positivo 1 "
                                "Camera 1 Rotacao 000 Vertical.bmp\"");
    const size_t at30 = err.find("slscan: angle 30, camera 1: \"cavalo/Cavalo Positivo 1 Camera 1 "
                                 "Rotacao 030 Vertical.bmp\" is not a 24-bit BMP");
    const size_t at330 = err.find("slscan: angle 330, camera 1: cannot open");
    ASSERT_NE(at0, std::string::npos) << err;
    ASSERT_NE(at30, std::string::npos) << err;
    ASSERT_NE(at330, std::string::npos) << err;
    EXPECT_LT(at0, at30);
    EXPECT_LT(at30, at330);
    EXPECT_EQ(err.find("imgReadBMP"), std::string::npos);  // nothing from the workers
    EXPECT_NE(err.find("12 angle(s) skipped"), std::string::npos) << err;
    EXPECT_EQ(readFile(dir.file("pontos.txt")), "");
    EXPECT_EQ(readFile(dir.file("pontos_330.txt")), "");
}
