// The BCSL code table, the boundary decoders and the correspondence table.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "decode/bcsl_code.h"
#include "decode/boundary.h"
#include "decode/correspondence.h"
#include "test_util.h"

namespace {

// A pure colour as a difference pixel would hold it; 0 gives three zeros.
float channel(int colour, int c) { return colour == c + 1 ? 0.8f : colour == 0 ? 0.0f : -0.3f; }

// A one-row image (or one column when `column`) of the given colour classes.
Image* line(const std::vector<int>& colours, bool column = false) {
    const int n = static_cast<int>(colours.size());
    return makeImage(column ? 1 : n, column ? n : 1, [&](int x, int y, int c) {
        return channel(colours[column ? y : x], c);
    });
}

struct Mark {
    int position;
    int code;
};

// The marks along a one-pixel line, in order.
std::vector<Mark> marksOf(const Image* b) {
    std::vector<Mark> marks;
    const int n = b->width * b->height;
    for (int i = 0; i < n; ++i) {
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

// The marks of a one-row decoding; the decoder prints nothing on the way.
std::vector<Mark> decodeRow(const std::vector<int>& p1, const std::vector<int>& p2) {
    ImagePtr a(line(p1)), b(line(p2));
    testing::internal::CaptureStdout();
    ImagePtr out(bcslDecodeVertical(a.get(), b.get()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    return marksOf(out.get());
}

void expectMarks(const std::vector<Mark>& got, const std::vector<Mark>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].position, want[i].position) << i;
        EXPECT_EQ(got[i].code, want[i].code) << i;
    }
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

TEST(BoundaryDecoder, LineExamples) {
    // Both patterns red to green at 10: one mark with code 0 (blue 0.0).
    std::vector<int> rg(20, 1);
    for (int x = 10; x < 20; ++x) rg[x] = 2;
    expectMarks(decodeRow(rg, rg), {{10, 0}});

    // Pattern 2 changes one pixel later than pattern 1.
    expectMarks(decodeRow({1, 1, 1, 2, 2, 2, 3, 3, 3}, {1, 1, 1, 1, 2, 2, 2, 3, 3}),
                {{4, 0}, {7, 1}});
    // Pattern 2 changes one pixel earlier: pending through the green stripe.
    expectMarks(decodeRow({1, 1, 1, 2, 2, 2, 3, 3, 3}, {1, 1, 2, 2, 2, 2, 3, 3, 3}), {{6, 19}});
    // Pattern 2 uncoloured before the change: marked one pixel later.
    expectMarks(decodeRow({1, 2, 2}, {0, 1, 2}), {{2, 0}});
    // Pattern 2 uncoloured at the change: pending, marked where pattern 2
    // next changes between coloured pixels.
    expectMarks(decodeRow({1, 2, 2, 2}, {1, 0, 1, 2}), {{3, 0}});
}

TEST(BoundaryDecoder, PendingChangesEndAtRunColourAndAtUncolouredPixels) {
    // Pattern 2 never changes: nothing is marked, and the change back to red
    // ends the pending state so the later green change is new.
    expectMarks(decodeRow({1, 2, 1, 1}, {1, 1, 1, 1}), {});
    expectMarks(decodeRow({1, 2, 1, 2}, {1, 1, 1, 2}), {{3, 0}});
    // Red, uncoloured, green: no mark; run is green afterwards, so the change
    // to blue is marked as green to blue.
    expectMarks(decodeRow({1, 0, 2, 3}, {1, 2, 2, 3}), {{3, bcslCode(2, 3, 3, 2)}});
    // An uncoloured pattern-1 pixel in the first position.
    expectMarks(decodeRow({0, 1, 2}, {1, 1, 2}), {{2, 0}});
}

TEST(BoundaryDecoder, FirstPositionAndSinglePixelLines) {
    // A change between position 0 and 1 is marked at 1, never at 0.
    expectMarks(decodeRow({1, 2}, {1, 2}), {{1, 0}});
    // Width 1 (vertical) or height 1 (horizontal): no marks at all.
    ImagePtr col(line({1, 2, 3, 1}, true));
    ImagePtr v(bcslDecodeVertical(col.get(), col.get()));
    EXPECT_TRUE(marksOf(v.get()).empty());
    ImagePtr row(line({1, 2, 3, 1}));
    ImagePtr h(bcslDecodeHorizontal(row.get(), row.get()));
    EXPECT_TRUE(marksOf(h.get()).empty());
}

TEST(BoundaryDecoder, WholeSequenceGivesEveryCode) {
    // Each stripe 3 pixels wide; pattern 2 lags pattern 1 by one pixel.
    std::vector<int> p1, p2;
    for (int s = 0; s < 37; ++s)
        for (int i = 0; i < 3; ++i) p1.push_back(kPattern1[s]);
    p2.push_back(kPattern2[0]);
    for (int s = 0; s < 37; ++s)
        for (int i = 0; i < 3; ++i) p2.push_back(kPattern2[s]);
    p2.pop_back();
    std::vector<Mark> want;
    for (int k = 0; k < 36; ++k) want.push_back({3 * (k + 1) + 1, k});
    expectMarks(decodeRow(p1, p2), want);
}

TEST(BoundaryDecoder, HorizontalIsTheTransposeOfVertical) {
    std::mt19937 rng(7);
    // Few distinct values, so that ties and uncoloured pixels occur.
    std::uniform_int_distribution<int> value(-2, 2);
    const auto random = [&](int w, int h) {
        return makeImage(w, h, [&](int, int, int) { return value(rng) * 0.25f; });
    };
    const auto transpose = [](const Image* in) {
        return makeImage(in->height, in->width, [&](int x, int y, int c) {
            return in->pixels[3 * (x * in->width + y) + c];
        });
    };
    for (int trial = 0; trial < 20; ++trial) {
        const int w = 1 + trial % 7 * 5, h = 1 + trial % 5 * 6;
        ImagePtr a(random(w, h)), b(random(w, h));
        ImagePtr at(transpose(a.get())), bt(transpose(b.get()));
        ImagePtr horizontal(bcslDecodeHorizontal(a.get(), b.get()));
        ImagePtr vertical(bcslDecodeVertical(at.get(), bt.get()));
        ImagePtr back(transpose(vertical.get()));
        ASSERT_EQ(imgFloatCount(back.get()), imgFloatCount(horizontal.get()));
        for (size_t i = 0; i < imgFloatCount(back.get()); ++i)
            ASSERT_EQ(back->pixels[i], horizontal->pixels[i]) << trial << " at " << i;
    }
}

TEST(BoundaryDecoder, RefusesUnfitInputs) {
    ImagePtr a(imgCreate(3, 2)), b(imgCreate(2, 3));
    testing::internal::CaptureStderr();
    EXPECT_EQ(bcslDecodeVertical(a.get(), b.get()), nullptr);
    EXPECT_EQ(bcslDecodeHorizontal(a.get(), nullptr), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("bcslDecodeVertical: images of different sizes"), std::string::npos);
    EXPECT_NE(err.find("bcslDecodeHorizontal: missing input image"), std::string::npos);
}

namespace {

// Boundary images of the given size with no marks.
struct Boundaries {
    ImagePtr vertical, horizontal;
    Boundaries(int w, int h)
        : vertical(zeroImage(w, h)), horizontal(zeroImage(w, h)) {}
    void mark(Image* image, int x, int y, int code, float red = 1.0f) {
        px(image, x, y, 0) = red;
        px(image, x, y, 1) = 1.0f;
        px(image, x, y, 2) = static_cast<float>(code / 255.0);
    }
    void cross(int x, int y, int v, int h) {
        mark(vertical.get(), x, y, v);
        mark(horizontal.get(), x, y, h);
    }
    CorrespondenceTable build() {
        CorrespondenceTable t;
        clearCorrespondenceTable(&t);
        buildCorrespondenceTable(vertical.get(), horizontal.get(), &t);
        return t;
    }
};

int filledCells(const CorrespondenceTable& t) {
    int n = 0;
    for (const auto& c : t.cells) n += c.x != -1;
    return n;
}

}  // namespace

TEST(CorrespondenceTable, CellIndexAndHalves) {
    struct Case {
        int height, x, y, v, h, cell;
    } cases[] = {
        {100, 10, 20, 3, 5, 221}, {100, 10, 60, 3, 5, 257}, {100, 1, 50, 0, 0, 0},
        {100, 1, 51, 0, 0, 36},   {101, 1, 50, 0, 0, 0},    {101, 1, 51, 0, 0, 36},
        {100, 4, 99, 35, 35, 2591},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cell);
        Boundaries b(20, c.height);
        b.cross(c.x, c.y, c.v, c.h);
        const CorrespondenceTable t = b.build();
        EXPECT_EQ(t.cells[c.cell].x, c.x);
        EXPECT_EQ(t.cells[c.cell].y, c.y);
        EXPECT_EQ(filledCells(t), 1);
    }
}

TEST(CorrespondenceTable, LastVisitedCrossingHoldsTheCell) {
    Boundaries b(20, 100);
    b.cross(10, 20, 3, 5);
    b.cross(12, 5, 3, 5);
    b.cross(4, 40, 3, 5);
    EXPECT_EQ(b.build().cells[221].x, 12);
    EXPECT_EQ(b.build().cells[221].y, 5);

    Boundaries c(20, 100);
    c.cross(10, 20, 3, 5);
    c.cross(10, 25, 3, 5);
    c.cross(9, 45, 3, 5);
    EXPECT_EQ(c.build().cells[221].y, 25);
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
    EXPECT_EQ(filledCells(b.build()), 0);
}

TEST(CorrespondenceTable, BoundaryImagesOfDifferentSizesLeaveTheTable) {
    Boundaries b(10, 10);
    b.cross(2, 3, 1, 1);
    ImagePtr other(zeroImage(10, 11));
    CorrespondenceTable t;
    clearCorrespondenceTable(&t);
    testing::internal::CaptureStderr();
    buildCorrespondenceTable(b.vertical.get(), other.get(), &t);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "buildCorrespondenceTable: boundary images of different sizes (10 x 10 and 10 x 11).\n");
    EXPECT_EQ(filledCells(t), 0);
}
