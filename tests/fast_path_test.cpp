// The scan's fast path against the stages it stands in for: the pair reader
// against imgReadBMP and imgDifference, the class-map decoding against the
// two boundary decoders and buildCorrespondenceTable.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "decode/boundary.h"
#include "decode/view_crossings.h"
#include "image/bmp_pair.h"
#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "image/difference.h"
#include "test_util.h"

namespace {

// Stored rows (padding included) for a width x height picture: bytes at
// random, half of them from a few values so that channels tie, and where
// `same` is given, its bytes in the first 32 of every row (pixel 10 partly).
std::vector<unsigned char> randomRows(int width, int height, std::mt19937* random,
                                      const std::vector<unsigned char>* same = nullptr) {
    const unsigned char few[] = {0, 1, 2, 127, 128, 254, 255};
    const size_t stride = (3 * static_cast<size_t>(width) + 3) / 4 * 4;
    std::vector<unsigned char> rows(stride * height);
    for (size_t i = 0; i < rows.size(); ++i) {
        const unsigned v = (*random)();
        rows[i] = static_cast<unsigned char>(v & 0x100 ? few[v % 7] : v & 0xFF);
        if (same != nullptr && i % stride < 32) rows[i] = (*same)[i];
    }
    return rows;
}

// Difference pixels that tie and repeat often: channels from a few values,
// with runs along both directions so that the decoders mark boundaries.
Image* stripyDifference(int width, int height, std::mt19937* random) {
    const float values[] = {-0.5f, 0.0f, 0.25f, 0.5f, 1.0f};
    std::vector<int> columnStripe(width), rowStripe(height);
    for (int& s : columnStripe) s = static_cast<int>((*random)() % 7);
    for (int& s : rowStripe) s = static_cast<int>((*random)() % 7);
    std::vector<float> noise(static_cast<size_t>(width) * height * 3);
    for (float& v : noise) v = (*random)() % 6 == 0 ? values[(*random)() % 5] : -2.0f;
    return makeImage(width, height, [&](int x, int y, int c) {
        const float n = noise[3 * (static_cast<size_t>(y) * width + x) + c];
        if (n != -2.0f) return n;
        return values[(columnStripe[x] / 2 + rowStripe[y] / 3 + c) % 5];
    });
}

}  // namespace

// Widths 1 to 19 (each tail of the four-pixel steps, each padding) and wider
// ones (the sixteen-pixel steps of the classes), bottom-up and top-down:
// every row of the pair, as the difference and as the classes, is what the
// reader, the difference and classifyStripeColor make of the two files, bit
// for bit, pixels equal in both exposures included.
TEST(PairReader, GivesTheDifferenceAndItsClassesExactly) {
    TempDir dir;
    std::mt19937 random(17);
    const std::string pos = dir.file("p.bmp"), neg = dir.file("n.bmp");
    std::vector<int> widths = {31, 32, 33, 64, 100};
    for (int width = 1; width <= 19; ++width) widths.push_back(width);
    for (const int width : widths) {
        for (const int height : {5, -5}) {
            const std::vector<unsigned char> posRows = randomRows(width, 5, &random);
            writeFile(pos, imgBMPBytes(width, height, posRows));
            writeFile(neg, imgBMPBytes(width, height, randomRows(width, 5, &random, &posRows)));
            ImagePtr p(imgReadBMP(pos.c_str())), n(imgReadBMP(neg.c_str()));
            ImagePtr d(imgDifference(p.get(), n.get()));
            ImgPairReader reader;
            ASSERT_TRUE(imgPairOpen(&reader, pos.c_str(), neg.c_str()));
            std::vector<float> planes(3 * width);
            std::vector<uint8_t> classes(width);
            std::vector<bool> seen(5);
            for (int i = 0; i < 5; ++i) {
                const unsigned char *pr = nullptr, *nr = nullptr;
                int32_t y = -1;
                ASSERT_TRUE(imgPairNextRow(&reader, &pr, &nr, &y));
                ASSERT_TRUE(y >= 0 && y < 5 && !seen[y]);
                seen[y] = true;
                imgPairDifferenceRow(pr, nr, width, planes.data(), planes.data() + width,
                                     planes.data() + 2 * width);
                bcslClassifyPairRow(pr, nr, width, classes.data());
                for (int x = 0; x < width; ++x) {
                    const float* e = &px(d.get(), x, y, 0);
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(std::memcmp(&planes[c * width + x], e + c, 4), 0)
                            << width << " " << height << " " << x << "," << y << "," << c;
                    ASSERT_EQ(classes[x], classifyStripeColor(e[0], e[1], e[2]))
                        << width << " " << height << " " << x << "," << y;
                }
            }
            const unsigned char *pr = nullptr, *nr = nullptr;
            int32_t y = 0;
            EXPECT_FALSE(imgPairNextRow(&reader, &pr, &nr, &y));
            imgPairClose(&reader);
        }
    }
}

// Whatever the reader or the difference would refuse, and a pair of two row
// orders, is refused without a word, so the caller can take the slow path.
TEST(PairReader, RefusesSilentlyWhatTheStagesWouldName) {
    TempDir dir;
    std::mt19937 random(3);
    const std::vector<unsigned char> good = imgBMPBytes(4, 3, randomRows(4, 3, &random));
    std::vector<unsigned char> cut = good;
    cut.resize(cut.size() - 1);
    const std::vector<std::vector<unsigned char>> bad = {
        imgBMPBytes(4, 3, randomRows(4, 3, &random), 8),  // 8 bits a pixel
        imgBMPBytes(5, 3, randomRows(5, 3, &random)),     // another width
        imgBMPBytes(4, -3, randomRows(4, 3, &random)),    // top-down
        cut,                                              // cut short
        {},                                               // empty
    };
    writeFile(dir.file("good.bmp"), good);
    const std::string goodPath = dir.file("good.bmp");
    testing::internal::CaptureStderr();
    ImgPairReader reader;
    for (size_t i = 0; i < bad.size(); ++i) {
        const std::string path = dir.file(std::to_string(i) + ".bmp");
        writeFile(path, bad[i]);
        EXPECT_FALSE(imgPairOpen(&reader, goodPath.c_str(), path.c_str())) << i;
        EXPECT_FALSE(imgPairOpen(&reader, path.c_str(), goodPath.c_str())) << i;
    }
    EXPECT_FALSE(imgPairOpen(&reader, goodPath.c_str(), dir.file("missing.bmp").c_str()));
    EXPECT_FALSE(imgPairOpen(&reader, goodPath.c_str(), dir.path().c_str()));  // a folder
    EXPECT_TRUE(imgPairOpen(&reader, goodPath.c_str(), goodPath.c_str()));
    imgPairClose(&reader);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Random stripy differences of widths around the sixteen-lane steps: the
// table is the one the decoders and buildCorrespondenceTable fill, starting from a table already holding
// cells (which a view must overwrite or keep as they do).
TEST(ViewCrossings, FillTheTableAsTheBoundaryImagesDo) {
    std::mt19937 random(5);
    for (const int width : {1, 15, 16, 17, 47, 130}) {
        const int height = 61;
        ImagePtr d[4];
        std::vector<uint8_t> classes[4];
        for (int p = 0; p < 4; ++p) {
            d[p].reset(stripyDifference(width, height, &random));
            classes[p].resize(static_cast<size_t>(width) * height);
            const float* v = d[p]->pixels;
            for (int i = 0; i < width * height; ++i)
                classes[p][i] = static_cast<uint8_t>(classifyStripeColor(v[3 * i], v[3 * i + 1], v[3 * i + 2]));
        }
        CorrespondenceTable expected, got;
        clearCorrespondenceTable(&expected);
        for (int i = 0; i < kCorrespondenceCells; i += 7) expected.cells[i] = {1000 + i, 2000};
        got = expected;
        ImagePtr v(bcslDecodeVertical(d[0].get(), d[1].get()));
        ImagePtr h(bcslDecodeHorizontal(d[2].get(), d[3].get()));
        buildCorrespondenceTable(v.get(), h.get(), &expected);
        bcslFileViewCrossings(classes[0].data(), classes[1].data(), classes[2].data(),
                              classes[3].data(), width, height, &got);
        int crossings = 0;
        for (int i = 0; i < kCorrespondenceCells; ++i) {
            ASSERT_EQ(got.cells[i].x, expected.cells[i].x) << width << " cell " << i;
            ASSERT_EQ(got.cells[i].y, expected.cells[i].y) << width << " cell " << i;
            crossings += expected.cells[i].x >= 0 && expected.cells[i].x < 1000;
        }
        if (width > 16) {
            EXPECT_GT(crossings, 20) << width;  // the case tests something
        }
    }
}
