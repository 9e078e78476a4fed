// The image record, the BMP reader on good pictures (broken and unusual files
// are in hostile_test.cpp), the writer counterpart and the pattern difference.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "image/difference.h"
#include "image/scan_layout.h"
#include "test_util.h"

// 301 pixels make rows of 903 bytes padded to 904: 289 rows a 256 KB block,
// so 700 rows take three blocks, the last one short. Pixel (x, stored row r)
// has bytes blue = x, green = r, red = x + r (mod 256): every byte value in
// every channel; every padding byte is 0xEE, which must never show up. Each
// byte b must read as b / 255 in double, rounded to float.
TEST(BmpReader, RowsPaddingBlocksAndEveryByteBottomUpAndTopDown) {
    constexpr int kWidth = 301, kHeight = 700;
    constexpr size_t kStride = 904;
    std::vector<unsigned char> rows(kStride * kHeight, 0xEE);
    for (int r = 0; r < kHeight; ++r)
        for (int x = 0; x < kWidth; ++x) {
            unsigned char* p = &rows[r * kStride + 3 * x];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(r);
            p[2] = static_cast<unsigned char>(x + r);
        }
    for (const bool topDown : {false, true}) {
        ImagePtr image(readBMPBytes(imgBMPBytes(kWidth, topDown ? -kHeight : kHeight, rows)));
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->width, kWidth);
        ASSERT_EQ(image->height, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int r = topDown ? kHeight - 1 - y : y;
                const int bytes[3] = {(x + r) % 256, r % 256, x % 256};  // red, green, blue
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(px(image.get(), x, y, c), static_cast<float>(bytes[c] / 255.0))
                        << x << "," << y << "," << c << (topDown ? " top down" : "");
            }
        EXPECT_EQ(px(image.get(), 255, topDown ? kHeight - 1 : 0, 2), 1.0f);
        EXPECT_EQ(px(image.get(), 128, topDown ? kHeight - 1 : 0, 2), 0.501960814f);
    }
}

TEST(ImageRecord, RefusedSizes) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(imgCreate(-1, 3), nullptr);
    EXPECT_EQ(imgCreate(INT32_MAX, INT32_MAX), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "imgCreate: invalid picture size -1 x 3.\n"
              "imgCreate: picture 2147483647 x 2147483647 is too large.\n");
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
    testing::internal::CaptureStderr();
    EXPECT_EQ(imgDifference(a.get(), b.get()), nullptr);
    EXPECT_EQ(imgDifference(a.get(), nullptr), nullptr);
    EXPECT_EQ(imgDifference(nullptr, a.get()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "imgDifference: images of different sizes (2 x 2 and 2 x 3).\n"
              "imgDifference: missing input image.\nimgDifference: missing input image.\n");
}

// The scan's names and views, as the photographs of a scan are named.
TEST(ScanLayout, NamesAndViews) {
    const ScanLayout layout = scanLayoutBuiltIn();
    EXPECT_EQ(layout.angles, (std::vector<int32_t>{0, 30, 60, 90, 120, 150, 180, 210, 240, 270,
                                                    300, 330}));
    EXPECT_EQ(scanViewCount(layout), 24);
    const struct {
        int view, camera;
        int32_t angle;
    } views[] = {{0, 1, 0}, {1, 2, 0}, {2, 1, 30}, {23, 2, 330}};
    for (const auto& v : views) {
        EXPECT_EQ(scanViewCamera(v.view), v.camera) << v.view;
        EXPECT_EQ(scanViewAngle(layout, v.view), v.angle) << v.view;
    }
    EXPECT_EQ(scanPhotographPath(1, 1, 0), "cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp");
    EXPECT_EQ(scanPhotographPath(4, 2, 90), "cavalo/Cavalo Negativo 2 Camera 2 Rotacao 090 Vertical.bmp");
    EXPECT_EQ(scanPhotographPath(5, 1, 330),
              "cavalo/Cavalo Positivo 1 Camera 1 Rotacao 330 Horizontal.bmp");
    EXPECT_EQ(scanPhotographPath(8, 2, 7), "cavalo/Cavalo Negativo 2 Camera 2 Rotacao 007 Horizontal.bmp");
    EXPECT_EQ(scanAnglePointFile(0), "pontos_0.txt");
    EXPECT_EQ(scanAnglePointFile(330), "pontos_330.txt");
    EXPECT_STREQ(kScanAllPointFile, "pontos.txt");
}

// The angles of a folder are those of camera 1's first photograph, rising;
// other names, other cameras and angles past 359 are not angles.
TEST(ScanLayout, FindsTheAnglesOfAFolder) {
    TempDir dir;
    std::vector<int32_t> angles{1, 2};
    std::string error;
    EXPECT_FALSE(scanFindAngles(dir.path(), &angles, &error));
    EXPECT_NE(error.find(dir.file("cavalo")), std::string::npos) << error;
    EXPECT_TRUE(angles.empty());

    std::filesystem::create_directory(dir.file("cavalo"));
    for (const char* name : {"Cavalo Positivo 1 Camera 1 Rotacao 045 Vertical.bmp",
                             "Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp",
                             "Cavalo Positivo 1 Camera 1 Rotacao 359 Vertical.bmp",
                             "Cavalo Positivo 1 Camera 1 Rotacao 360 Vertical.bmp",
                             "Cavalo Positivo 1 Camera 2 Rotacao 090 Vertical.bmp",
                             "Cavalo Negativo 1 Camera 1 Rotacao 120 Vertical.bmp",
                             "Cavalo Positivo 1 Camera 1 Rotacao 15 Vertical.bmp",
                             "Cavalo Positivo 1 Camera 1 Rotacao 0x5 Vertical.bmp",
                             "Cavalo Positivo 1 Camera 1 Rotacao 180 Vertical.bmp.txt"})
        writeFile(dir.file(std::string("cavalo/") + name), {'x'});
    error.clear();
    ASSERT_TRUE(scanFindAngles(dir.path(), &angles, &error)) << error;
    EXPECT_EQ(angles, (std::vector<int32_t>{0, 45, 359}));
}
