// The image record, the BMP reader on good pictures (broken and unusual files
// are in hostile_test.cpp), the writer counterpart and the pattern difference.
#include <gtest/gtest.h>

#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "image/difference.h"
#include "test_util.h"

namespace {

size_t strideOf(int width) { return (3 * static_cast<size_t>(width) + 3) / 4 * 4; }

// Stored rows where pixel (x, row) has bytes blue = x, green = row, red = 200
// (each mod 256), and every padding byte is 0xEE (which must never show up).
std::vector<unsigned char> patternRows(int width, int height) {
    const size_t stride = strideOf(width);
    std::vector<unsigned char> rows(stride * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &rows[y * stride + 3 * x];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(y);
            p[2] = 200;
        }
    return rows;
}

// Image row y holds stored row y, or height - 1 - y when stored top down.
void expectPattern(const Image* image, int width, int height, bool topDown = false) {
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, width);
    ASSERT_EQ(image->height, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float* p = image->pixels + 3 * (static_cast<size_t>(y) * width + x);
            const int row = topDown ? height - 1 - y : y;
            ASSERT_EQ(p[0], static_cast<float>(200 / 255.0)) << x << "," << y;
            ASSERT_EQ(p[1], static_cast<float>(row % 256 / 255.0)) << x << "," << y;
            ASSERT_EQ(p[2], static_cast<float>(x % 256 / 255.0)) << x << "," << y;
        }
}

}  // namespace

TEST(BmpReader, RowsPaddingAndOrderForSeveralWidths) {
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE(width);
        ImagePtr image(readBMPBytes(imgBMPBytes(width, 3, patternRows(width, 3))));
        expectPattern(image.get(), width, 3);
    }
}

TEST(BmpReader, PicturesOfManyBlocksBottomUpAndTopDown) {
    // 301 pixels make rows of 904 bytes: 289 rows a 256 KB block, so 700 rows
    // take three blocks, the last one short.
    const std::vector<unsigned char> rows = patternRows(301, 700);
    ImagePtr bottomUp(readBMPBytes(imgBMPBytes(301, 700, rows)));
    expectPattern(bottomUp.get(), 301, 700);
    ImagePtr topDown(readBMPBytes(imgBMPBytes(301, -700, rows)));
    expectPattern(topDown.get(), 301, 700, true);
}

TEST(BmpReader, EveryByteValueMapsToItsRoundedQuotient) {
    // Every byte in every channel and in every position of a group of four
    // pixels.
    std::vector<unsigned char> rows;
    const auto byteAt = [](int x, int c) { return (x * (c == 0 ? 1 : c == 1 ? 7 : 93)) % 256; };
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 3; ++c) rows.push_back(static_cast<unsigned char>(byteAt(x, c)));
    ImagePtr image(readBMPBytes(imgBMPBytes(256, 1, rows)));
    ASSERT_NE(image, nullptr);
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 3; ++c)  // file blue, green, red -> image red, green, blue
            ASSERT_EQ(px(image.get(), x, 0, 2 - c),
                      static_cast<float>(static_cast<double>(byteAt(x, c)) / 255.0))
                << x << "," << c;
    EXPECT_EQ(px(image.get(), 255, 0, 2), 1.0f);
    EXPECT_EQ(px(image.get(), 128, 0, 2), 0.501960814f);
}

TEST(ImageRecord, RefusedSizes) {
    const std::pair<int32_t, int32_t> sizes[] = {{-1, 3}, {INT32_MAX, INT32_MAX}};
    const char* const messages[] = {"imgCreate: invalid picture size -1 x 3.\n",
                                    "imgCreate: picture 2147483647 x 2147483647 is too large.\n"};
    for (int i = 0; i < 2; ++i) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(imgCreate(sizes[i].first, sizes[i].second), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), messages[i]);
    }
}

TEST(Difference, PositiveMinusNegativePerChannel) {
    // 1.0 - 0.0, 0.5 - 0.5, 0.0 - 1.0 in every pixel of a row of five: the
    // first four pixels go four channels at a time, the last one alone.
    ImagePtr pos(makeImage(5, 1, [](int, int, int c) { return 1.0f - 0.5f * c; }));
    ImagePtr neg(makeImage(5, 1, [](int, int, int c) { return 0.5f * c; }));
    ImagePtr d(imgDifference(pos.get(), neg.get()));
    ASSERT_NE(d, nullptr);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(px(d.get(), x, 0, 0), 1.0f);
        EXPECT_EQ(px(d.get(), x, 0, 1), 0.0f);
        EXPECT_EQ(px(d.get(), x, 0, 2), -1.0f);
    }
}

TEST(Difference, RefusesUnfitInputs) {
    ImagePtr a(imgCreate(2, 2)), b(imgCreate(2, 3));
    const std::pair<const Image*, const Image*> inputs[] = {
        {a.get(), b.get()}, {a.get(), nullptr}, {nullptr, a.get()}};
    const char* const messages[] = {"imgDifference: images of different sizes (2 x 2 and 2 x 3).\n",
                                    "imgDifference: missing input image.\n",
                                    "imgDifference: missing input image.\n"};
    for (int i = 0; i < 3; ++i) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(imgDifference(inputs[i].first, inputs[i].second), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), messages[i]);
    }
}
