// The BCSL code table, the boundary decoders and the correspondence table.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <vector>

#include "decode/bcsl_code.h"
#include "decode/boundary.h"
#include "decode/correspondence.h"
#include "decode/line_repair.h"
#include "test_util.h"

namespace {

// A pure colour as a difference pixel would hold it; 0 gives three zeros.
float channel(int colour, int c) { return colour == c + 1 ? 0.8f : colour == 0 ? 0.0f : -0.3f; }

// A one-row image of the given colour classes, or with `columns` > 0 an image
// that many columns wide holding them in its middle column, the other
// columns uncoloured.
Image* line(const std::vector<int>& colours, int columns = 0) {
    const int n = static_cast<int>(colours.size());
    return makeImage(columns ? columns : n, columns ? n : 1, [&](int x, int y, int c) {
        if (columns == 0) return channel(colours[x], c);
        return x == columns / 2 ? channel(colours[y], c) : 0.0f;
    });
}

// The marks along a one-pixel line, in order: (position, code).
using Marks = std::vector<std::pair<int, int>>;

Marks marksOf(const Image* b) {
    Marks marks;
    for (int i = 0; i < b->width * b->height; ++i) {
        const float* p = b->pixels + 3 * i;
        if (p[0] == 0.0f && p[1] == 0.0f && p[2] == 0.0f) continue;
        EXPECT_EQ(p[0], 1.0f);
        EXPECT_EQ(p[1], 1.0f);
        const int code = static_cast<int>(p[2] * 255.0 + 0.5);
        EXPECT_EQ(p[2], static_cast<float>(code / 255.0));
        marks.push_back({i, code});
    }
    return marks;
}

// The marks of the line decoded as a row by the vertical decoder. The
// horizontal one must mark the same in the line as the middle of three
// columns, whose neighbours are uncoloured: each column walks on its own.
// Neither prints anything, and each marks nothing on a line across its own
// direction (width 1 or height 1).
Marks decodeLine(const std::vector<int>& p1, const std::vector<int>& p2) {
    ImagePtr r1(line(p1)), r2(line(p2)), c1(line(p1, 3)), c2(line(p2, 3));
    ImagePtr n1(line(p1, 1)), n2(line(p2, 1));
    testing::internal::CaptureStdout();
    ImagePtr v(bcslDecodeVertical(r1.get(), r2.get())), h(bcslDecodeHorizontal(c1.get(), c2.get()));
    ImagePtr vAcross(bcslDecodeVertical(n1.get(), n2.get()));
    ImagePtr hAcross(bcslDecodeHorizontal(r1.get(), r2.get()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    Marks inColumn;
    for (const auto& [position, code] : marksOf(v.get()))
        inColumn.push_back({3 * position + 1, code});
    EXPECT_EQ(marksOf(h.get()), inColumn);
    EXPECT_EQ(marksOf(vAcross.get()), Marks{});
    EXPECT_EQ(marksOf(hAcross.get()), Marks{});
    return marksOf(v.get());
}

}  // namespace

TEST(BcslCode, TheStripeSequencesGiveCodesInOrder) {
    for (int k = 0; k < 36; ++k) {
        EXPECT_EQ(bcslCode(kPattern1[k], kPattern1[k + 1], kPattern2[k + 1], kPattern2[k]), k);
    }
}

TEST(BcslCode, InvalidColoursPrintOneLine) {
    const int calls[][4] = {{0, 2, 2, 1}, {1, 2, 4, 1}, {0, 4, -1, 9}, {1, 1, 2, 1}, {3, 2, 1, 1}};
    for (const auto& a : calls) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(bcslCode(a[0], a[1], a[2], a[3]), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: invalid BCSL color\n");
    }
}

TEST(Classify, LargestChannelWinsTiesGoEarlier) {
    struct Case {
        float r, g, b;
        int want;
    } cases[] = {
        {0.5f, 0.5f, 0.5f, 0}, {0.0f, 0.0f, 0.0f, 0}, {0.5f, 0.5f, 0.2f, 1},
        {0.2f, 0.5f, 0.5f, 2}, {0.2f, 0.3f, 0.5f, 3}, {0.4f, 0.4f, 0.1f, 1},
        {0.1f, 0.4f, 0.4f, 2}, {-0.3f, -0.1f, -0.2f, 2}, {0.5f, 0.2f, 0.5f, 1},
        {-0.0f, 0.0f, 0.0f, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(classifyStripeColor(c.r, c.g, c.b), c.want);
}

// Colours 1 red, 2 green, 3 blue, 0 uncoloured; codes from the stripe
// sequences (red to green in both patterns is boundary 0, green to blue 1,
// pattern 1 red to blue while pattern 2 goes green to blue 19).
TEST(BoundaryDecoder, LineExamples) {
    const struct {
        std::vector<int> p1, p2;
        Marks want;
    } cases[] = {
        // A change between positions 0 and 1 is marked at 1, never at 0.
        {{1, 2}, {1, 2}, {{1, 0}}},
        // Pattern 2 changes one pixel later than pattern 1.
        {{1, 1, 1, 2, 2, 2, 3, 3, 3}, {1, 1, 1, 1, 2, 2, 2, 3, 3}, {{4, 0}, {7, 1}}},
        // Pattern 2 changes one pixel earlier: pending through the green stripe.
        {{1, 1, 1, 2, 2, 2, 3, 3, 3}, {1, 1, 2, 2, 2, 2, 3, 3, 3}, {{6, 19}}},
        // Pattern 2 uncoloured before the change: marked one pixel later.
        {{1, 2, 2}, {0, 1, 2}, {{2, 0}}},
        // Pattern 2 uncoloured at the change: pending, marked where pattern 2
        // next changes between coloured pixels.
        {{1, 2, 2, 2}, {1, 0, 1, 2}, {{3, 0}}},
        // Pattern 2 never changes: nothing is marked; the change back to red
        // ends the pending state, so the later green change is new.
        {{1, 2, 1, 1}, {1, 1, 1, 1}, {}},
        {{1, 2, 1, 2}, {1, 1, 1, 2}, {{3, 0}}},
        // Red, uncoloured, green: no mark; run is green afterwards, so the
        // change to blue is marked as green to blue in both patterns.
        {{1, 0, 2, 3}, {1, 2, 2, 3}, {{3, 1}}},
        // An uncoloured pattern-1 pixel in the first position.
        {{0, 1, 2}, {1, 1, 2}, {{2, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.p1) + " " + testing::PrintToString(c.p2));
        EXPECT_EQ(decodeLine(c.p1, c.p2), c.want);
    }
}

// A line of runs: (class, length) after one another.
static std::vector<int> runs(std::initializer_list<std::pair<int, int>> parts) {
    std::vector<int> line;
    for (const auto& [colour, length] : parts) line.insert(line.end(), length, colour);
    return line;
}

// The repairs of the class lines (both, in the order the dense mode and the
// mask apply them), then the decoder's walk: the boundaries the walk alone
// loses or misfiles are marked with their own codes, and lines a repair must
// not touch are left as they are (no marks listed). Both repairs must act
// alike on a line given as a column of a one-column image.
TEST(LineRepair, RepairedLinesMarkTheirOwnBoundaries) {
    const struct {
        std::vector<int> p1, p2;
        Marks want;
    } cases[] = {
        // Pattern 2 one pixel early (the walk alone: {6, 19}, a wrong code).
        {{1, 1, 1, 2, 2, 2, 3, 3, 3}, {1, 1, 2, 2, 2, 2, 3, 3, 3}, {{3, 0}, {6, 1}}},
        // Two pixels early: not moved (too far to be the same boundary); the
        // stale change is let go at the green stripe's first pixel, so the
        // next boundary keeps its own code instead of one made of red.
        {{1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}, {1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3}, {{8, 1}}},
        // The same on long stripes, which the repairs pass over eight
        // pixels at a time.
        {runs({{1, 20}, {2, 20}}), runs({{1, 19}, {2, 21}}), {{20, 0}}},
        {runs({{1, 12}, {2, 12}, {3, 12}}), runs({{1, 4}, {2, 20}, {3, 12}}), {{24, 1}}},
        // Untouched: a green stripe of two pixels, too narrow to let go of
        // red; pattern 1 changing again right after pattern 2's switch;
        // lines the walk reads right.
        {{1, 1, 1, 1, 2, 2, 3, 3, 3}, {1, 1, 1, 1, 1, 1, 2, 2, 2}, {}},
        {{1, 1, 1, 2, 3, 3, 3}, {1, 1, 2, 2, 2, 3, 3}, {}},
        {{1, 1, 1, 2, 2, 2, 3, 3, 3}, {1, 1, 1, 1, 2, 2, 2, 3, 3}, {}},
        {{1, 1, 1, 2, 2, 2, 3, 3, 3}, {1, 1, 1, 2, 2, 2, 3, 3, 3}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.p1) + " " + testing::PrintToString(c.p2));
        const int n = static_cast<int>(c.p1.size());
        std::vector<uint8_t> row1(c.p1.begin(), c.p1.end()), row2(c.p2.begin(), c.p2.end());
        std::vector<uint8_t> col1 = row1, col2 = row2;
        std::vector<BcslMove> moves;
        bcslAlignSwitches(row1.data(), row2.data(), n, 1, true, &moves);
        bcslCutStaleChanges(row1.data(), row2.data(), n, 1, true);
        bcslAlignSwitches(col1.data(), col2.data(), 1, n, false, nullptr);
        bcslCutStaleChanges(col1.data(), col2.data(), 1, n, false);
        EXPECT_EQ(col1, row1);
        EXPECT_EQ(col2, row2);
        for (const BcslMove& m : moves) EXPECT_EQ(row2[m.pixel], row2[m.from]);
        const std::vector<int> r1(row1.begin(), row1.end()), r2(row2.begin(), row2.end());
        if (c.want.empty()) {
            EXPECT_EQ(r1, c.p1);
            EXPECT_EQ(r2, c.p2);
        } else {
            EXPECT_EQ(decodeLine(r1, r2), c.want);
        }
    }
}

TEST(BoundaryDecoder, WholeSequenceGivesEveryCode) {
    // Each stripe 3 pixels wide; pattern 2 lags pattern 1 by one pixel.
    std::vector<int> p1, p2{kPattern2[0]};
    Marks want;
    for (int s = 0; s < 37; ++s)
        for (int i = 0; i < 3; ++i) p1.push_back(kPattern1[s]), p2.push_back(kPattern2[s]);
    p2.pop_back();
    for (int k = 0; k < 36; ++k) want.push_back({3 * (k + 1) + 1, k});
    EXPECT_EQ(decodeLine(p1, p2), want);
}

TEST(BoundaryDecoder, RefusesUnfitInputs) {
    ImagePtr a(imgCreate(3, 2)), b(imgCreate(2, 3));
    testing::internal::CaptureStderr();
    EXPECT_EQ(bcslDecodeVertical(a.get(), b.get()), nullptr);
    EXPECT_EQ(bcslDecodeHorizontal(a.get(), nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "bcslDecodeVertical: images of different sizes (3 x 2 and 2 x 3).\n"
              "bcslDecodeHorizontal: missing input image.\n");
}

namespace {

using Cells = std::vector<std::array<int, 3>>;  // {cell, x, y}

// Boundary images of the given size with no marks.
struct Boundaries {
    ImagePtr vertical, horizontal;
    Boundaries(int w, int h) : vertical(zeroImage(w, h)), horizontal(zeroImage(w, h)) {}
    void mark(Image* image, int x, int y, int code, float red = 1.0f) {
        px(image, x, y, 0) = red;
        px(image, x, y, 1) = 1.0f;
        px(image, x, y, 2) = static_cast<float>(code / 255.0);
    }
    void cross(int x, int y, int v, int h) {
        mark(vertical.get(), x, y, v);
        mark(horizontal.get(), x, y, h);
    }
    // The filled cells of a fresh table built from the two images (or from
    // the vertical one and `other`).
    Cells cells(const Image* other = nullptr) {
        CorrespondenceTable t;
        clearCorrespondenceTable(&t);
        buildCorrespondenceTable(vertical.get(), other ? other : horizontal.get(), &t);
        Cells filled;
        for (int i = 0; i < kCorrespondenceCells; ++i)
            if (t.cells[i].x != -1) filled.push_back({i, t.cells[i].x, t.cells[i].y});
        return filled;
    }
};

}  // namespace

// Cell 72 v + 36 k + h, k = 1 for the rows below the middle one.
TEST(CorrespondenceTable, CellIndexAndHalves) {
    struct Case {
        int height, x, y, v, h, cell;
    } cases[] = {
        {100, 10, 20, 3, 5, 221}, {100, 10, 60, 3, 5, 257}, {100, 1, 50, 0, 0, 0},
        {100, 1, 51, 0, 0, 36},   {101, 1, 50, 0, 0, 0},    {101, 1, 51, 0, 0, 36},
        {100, 4, 99, 35, 35, 2591},
    };
    for (const Case& c : cases) {
        Boundaries b(20, c.height);
        b.cross(c.x, c.y, c.v, c.h);
        EXPECT_EQ(b.cells(), (Cells{{c.cell, c.x, c.y}}));
    }
}

// The crossing visited last column by column: the greatest x, then the
// greatest y.
TEST(CorrespondenceTable, LastVisitedCrossingHoldsTheCell) {
    Boundaries b(20, 100);
    b.cross(10, 20, 3, 5);
    b.cross(12, 5, 3, 5);
    b.cross(4, 40, 3, 5);
    EXPECT_EQ(b.cells(), (Cells{{221, 12, 5}}));

    Boundaries c(20, 100);
    c.cross(10, 20, 3, 5);
    c.cross(10, 25, 3, 5);
    c.cross(9, 45, 3, 5);
    EXPECT_EQ(c.cells(), (Cells{{221, 10, 25}}));
}

TEST(CorrespondenceTable, OnlyCrossingsWithValidCodesAreFiled) {
    Boundaries b(10, 10);
    b.mark(b.vertical.get(), 1, 1, 4);               // vertical only
    b.mark(b.horizontal.get(), 2, 2, 4);             // horizontal only
    b.mark(b.vertical.get(), 3, 3, 4, 0.001f);       // red exactly 0.001: not marked
    b.mark(b.horizontal.get(), 3, 3, 4);
    b.cross(5, 5, 40, 2);                            // code outside 0..35
    b.cross(6, 6, 2, 200);
    px(b.vertical.get(), 7, 7, 0) = 1.0f;            // NaN code
    px(b.vertical.get(), 7, 7, 2) = std::numeric_limits<float>::quiet_NaN();
    b.mark(b.horizontal.get(), 7, 7, 1);
    EXPECT_EQ(b.cells(), Cells{});
}

TEST(CorrespondenceTable, BoundaryImagesOfDifferentSizesLeaveTheTable) {
    Boundaries b(10, 10);
    b.cross(2, 3, 1, 1);
    ImagePtr other(zeroImage(10, 11));
    testing::internal::CaptureStderr();
    EXPECT_EQ(b.cells(other.get()), Cells{});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "buildCorrespondenceTable: boundary images of different sizes (10 x 10 and 10 x 11).\n");
}
