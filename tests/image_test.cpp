// The image record, the BMP reader (and its writer counterpart) and the
// pattern difference. Unusual and broken headers are in hostile_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "image/difference.h"
#include "test_util.h"

namespace {

size_t strideOf(int width) {
    size_t s = 3 * static_cast<size_t>(width);
    return s % 4 ? (s | 3) + 1 : s;
}

// Stored rows where pixel (x, row) has bytes blue = x + 1, green = row + 1,
// red = 200, and every padding byte is 0xEE (which must never show up).
std::vector<unsigned char> patternRows(int width, int height) {
    const size_t stride = strideOf(width);
    std::vector<unsigned char> rows(stride * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &rows[y * stride + 3 * x];
            p[0] = static_cast<unsigned char>(x + 1);
            p[1] = static_cast<unsigned char>(y + 1);
            p[2] = 200;
        }
    return rows;
}

void expectPattern(const Image* image, int width, int height) {
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, width);
    ASSERT_EQ(image->height, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float* p = image->pixels + 3 * (y * width + x);
            EXPECT_EQ(p[0], static_cast<float>(200 / 255.0)) << x << "," << y;
            EXPECT_EQ(p[1], static_cast<float>((y + 1) / 255.0)) << x << "," << y;
            EXPECT_EQ(p[2], static_cast<float>((x + 1) / 255.0)) << x << "," << y;
        }
}

// Reads `bytes`, expecting nullptr and exactly `message` on stderr.
void expectRefused(const std::vector<unsigned char>& bytes, const std::string& message) {
    testing::internal::CaptureStderr();
    Image* image = readBMPBytes(bytes);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(image, nullptr);
    imgDestroy(image);
    EXPECT_EQ(err, message);
}

void setLe32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

TEST(BmpReader, RowStrideAndPaddingForWidthsOneToFive) {
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE(width);
        const auto rows = patternRows(width, 3);
        EXPECT_EQ(rows.size(), strideOf(width) * 3);
        ImagePtr image(readBMPBytes(imgBMPBytes(width, 3, rows)));
        expectPattern(image.get(), width, 3);
    }
    EXPECT_EQ(strideOf(1), 4u);
    EXPECT_EQ(strideOf(2), 8u);
    EXPECT_EQ(strideOf(3), 12u);
    EXPECT_EQ(strideOf(4), 12u);
}

TEST(BmpReader, FirstStoredRowIsRowZeroAndBytesAreReversed) {
    // Stride 8; row 0 holds (b10, g20, r30) and (0, 0, 255).
    std::vector<unsigned char> rows = {10, 20, 30, 0, 0, 255, 0, 0,  //
                                       1,  2,  3,  4, 5, 6,   0, 0};
    ImagePtr image(readBMPBytes(imgBMPBytes(2, 2, rows)));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(px(image.get(), 0, 0, 0), static_cast<float>(30 / 255.0));
    EXPECT_EQ(px(image.get(), 0, 0, 1), static_cast<float>(20 / 255.0));
    EXPECT_EQ(px(image.get(), 0, 0, 2), static_cast<float>(10 / 255.0));
    EXPECT_EQ(px(image.get(), 1, 0, 0), 1.0f);
    EXPECT_EQ(px(image.get(), 1, 0, 1), 0.0f);
    EXPECT_EQ(px(image.get(), 1, 0, 2), 0.0f);
    EXPECT_EQ(px(image.get(), 1, 1, 0), static_cast<float>(6 / 255.0));
}

TEST(BmpReader, EveryByteValueMapsToItsRoundedQuotient) {
    // Every byte in every channel (and in every position of a group of four
    // pixels), on two rows.
    std::vector<unsigned char> rows;
    const auto byteAt = [](int x, int y, int c) { return (x * (c == 0 ? 1 : c == 1 ? 7 : 93) + 51 * y) % 256; };
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 256; ++x)
            for (int c = 0; c < 3; ++c) rows.push_back(static_cast<unsigned char>(byteAt(x, y, c)));
    ImagePtr image(readBMPBytes(imgBMPBytes(256, 2, rows)));
    ASSERT_NE(image, nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 256; ++x)
            for (int c = 0; c < 3; ++c) {  // file blue, green, red -> image red, green, blue
                const float v = px(image.get(), x, y, 2 - c);
                ASSERT_EQ(v, static_cast<float>(static_cast<double>(byteAt(x, y, c)) / 255.0))
                    << x << "," << y << "," << c;
                EXPECT_GE(v, 0.0f);
                EXPECT_LE(v, 1.0f);
            }
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(px(image.get(), b, 0, 2), static_cast<float>(static_cast<double>(b) / 255.0));
    }
    EXPECT_EQ(px(image.get(), 255, 0, 2), 1.0f);
    EXPECT_EQ(px(image.get(), 128, 0, 2), 0.501960814f);
}

TEST(BmpReader, RefusesOtherBitCountsBeforeAllocating) {
    const std::string msg = "imgReadBMP: Not a bitmap 24 bits file.\n";
    for (uint16_t bits : {1, 4, 8, 16, 32}) {
        SCOPED_TRACE(bits);
        expectRefused(imgBMPBytes(2, 2, patternRows(2, 2), bits), msg);
    }
    // Cut before the bit count is complete.
    auto bytes = imgBMPBytes(2, 2, patternRows(2, 2));
    bytes.resize(29);
    expectRefused(bytes, msg);
    expectRefused({}, msg);
}

TEST(BmpReader, TruncatedFileReportsEndOfFileOnce) {
    const auto full = imgBMPBytes(4, 4, patternRows(4, 4));
    for (size_t cut : {size_t{30}, size_t{53}, size_t{54}, size_t{60}, full.size() - 1}) {
        SCOPED_TRACE(cut);
        auto bytes = full;
        bytes.resize(cut);
        expectRefused(bytes, "get24bits: Unexpected end of file.\n");
    }
}

TEST(BmpReader, HostileSizesAreRefusedWithOneLine) {
    struct Case {
        int32_t width, height;
        const char* message;
    } cases[] = {
        {0, 4, "imgReadBMP: unsupported picture size 0 x 4.\n"},
        {4, 0, "imgReadBMP: unsupported picture size 4 x 0.\n"},
        {-4, 4, "imgReadBMP: unsupported picture size -4 x 4.\n"},
        {INT32_MIN, 4, "imgReadBMP: unsupported picture size -2147483648 x 4.\n"},
        {4, INT32_MIN, "imgReadBMP: unsupported picture size 4 x -2147483648.\n"},
        // Sizes the file cannot hold never reach the allocation.
        {100000, 100000, "get24bits: Unexpected end of file.\n"},
        {INT32_MAX, INT32_MAX, "get24bits: Unexpected end of file.\n"},
        {5, -100000, "get24bits: Unexpected end of file.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        auto bytes = imgBMPBytes(4, 4, patternRows(4, 4));
        setLe32(bytes, 18, static_cast<uint32_t>(c.width));
        setLe32(bytes, 22, static_cast<uint32_t>(c.height));
        expectRefused(bytes, c.message);
    }
}

TEST(BmpReader, MissingFileAndDirectoryAreNamed) {
    TempDir dir;
    const std::string missing = dir.file("absent.bmp");
    testing::internal::CaptureStderr();
    EXPECT_EQ(imgReadBMP(missing.c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "imgReadBMP: cannot open \"" + missing + "\": No such file or directory.\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(imgReadBMP(dir.path().c_str()), nullptr);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
}

TEST(BmpWriter, WrittenImageReadsBackIdentically) {
    TempDir dir;
    ImagePtr original(makeImage(7, 5, [](int x, int y, int c) {
        return static_cast<float>((x * 37 + y * 11 + c * 71) % 256 / 255.0);
    }));
    const std::string path = dir.file("w.bmp");
    ASSERT_TRUE(imgWriteBMP(path.c_str(), original.get()));
    EXPECT_EQ(readFile(path).size(), 54u + strideOf(7) * 5);
    ImagePtr back(imgReadBMP(path.c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(original->pixels, back->pixels, imgFloatCount(back.get()) * 4), 0);
}

TEST(ImageRecord, DestroyAcceptsNullHandleAndNullBuffer) {
    imgDestroy(nullptr);
    Image* empty = imgCreate(0, 5);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->pixels, nullptr);
    imgDestroy(empty);
    testing::internal::CaptureStderr();
    EXPECT_EQ(imgCreate(-1, 3), nullptr);
    EXPECT_EQ(imgCreate(INT32_MAX, INT32_MAX), nullptr);  // 2^62 pixels
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
}

TEST(Difference, PositiveMinusNegativePerChannel) {
    const auto fromBytes = [](int r, int g, int b) {
        return makeImage(1, 1, [=](int, int, int c) {
            return static_cast<float>((c == 0 ? r : c == 1 ? g : b) / 255.0);
        });
    };
    ImagePtr pos(fromBytes(255, 128, 0));
    ImagePtr neg(fromBytes(0, 128, 255));
    ImagePtr d(imgDifference(pos.get(), neg.get()));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(px(d.get(), 0, 0, 0), 1.0f);
    EXPECT_EQ(px(d.get(), 0, 0, 1), 0.0f);
    EXPECT_EQ(px(d.get(), 0, 0, 2), -1.0f);

    ImagePtr a(makeImage(4, 3, [](int x, int y, int c) { return 0.1f * x - 0.07f * y + c; }));
    ImagePtr b(makeImage(4, 3, [](int x, int y, int c) { return 0.3f * y - 0.2f * c + x; }));
    ImagePtr ab(imgDifference(a.get(), b.get()));
    ImagePtr ba(imgDifference(b.get(), a.get()));
    ImagePtr aa(imgDifference(a.get(), a.get()));
    for (size_t i = 0; i < imgFloatCount(ab.get()); ++i) {
        EXPECT_EQ(ab->pixels[i], a->pixels[i] - b->pixels[i]);
        EXPECT_EQ(ba->pixels[i], -ab->pixels[i]);
        EXPECT_EQ(aa->pixels[i], 0.0f);
    }
}

TEST(Difference, EmptyImagesAndUnfitInputs) {
    ImagePtr e1(imgCreate(5, 0)), e2(imgCreate(5, 0));
    ImagePtr d(imgDifference(e1.get(), e2.get()));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->width, 5);
    EXPECT_EQ(d->height, 0);

    ImagePtr a(imgCreate(2, 2)), b(imgCreate(2, 3));
    testing::internal::CaptureStderr();
    EXPECT_EQ(imgDifference(a.get(), b.get()), nullptr);
    EXPECT_EQ(imgDifference(a.get(), nullptr), nullptr);
    EXPECT_EQ(imgDifference(nullptr, a.get()), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("imgDifference: images of different sizes (2 x 2 and 2 x 3)."), std::string::npos);
    EXPECT_NE(err.find("imgDifference: missing input image."), std::string::npos);
}
