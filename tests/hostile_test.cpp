// Every file of the hostile corpus gives the right picture, or one line on
// stderr and no image; never a crash, a leak or a read out of bounds (the
// sanitizer build runs the same tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "hostile_bmp.h"
#include "image/bmp_read.h"
#include "test_util.h"

namespace {

bool oneLine(const std::string& s) {
    return !s.empty() && s.back() == '\n' && std::count(s.begin(), s.end(), '\n') == 1;
}

}  // namespace

TEST(HostileFiles, EachGivesTheRightPictureOrOneLine) {
    const std::vector<HostileBmp> corpus = hostileBmps();
    EXPECT_GT(corpus.size(), 100u);
    for (const HostileBmp& c : corpus) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        Image* image = readBMPBytes(c.bytes);
        const std::string err = testing::internal::GetCapturedStderr();
        if (!c.loads) {
            EXPECT_EQ(image, nullptr);
            EXPECT_TRUE(oneLine(err)) << err;
            EXPECT_TRUE(err.rfind("imgReadBMP: ", 0) == 0 || err.rfind("get24bits: ", 0) == 0) << err;
            imgDestroy(image);
            continue;
        }
        ASSERT_NE(image, nullptr) << err;
        EXPECT_EQ(err, "");
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, c.height);
        ASSERT_EQ(imgFloatCount(image), c.pixels.size());
        EXPECT_TRUE(std::equal(c.pixels.begin(), c.pixels.end(), image->pixels));
        imgDestroy(image);
    }
}

TEST(HostileFiles, ThingsThatAreNoPicturesAtAll) {
    TempDir dir;
    writeFile(dir.file("empty.bmp"), {});
    const std::string text = "Cavalo Positivo 1 Camera 1: not a picture, just words\n";
    writeFile(dir.file("text.bmp"), std::vector<unsigned char>(text.begin(), text.end()));
    for (const std::string& path : {dir.path(), dir.file("empty.bmp"), dir.file("text.bmp"),
                                    dir.file("missing.bmp")}) {
        SCOPED_TRACE(path);
        testing::internal::CaptureStderr();
        EXPECT_EQ(imgReadBMP(path.c_str()), nullptr);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(oneLine(err)) << err;
    }
}
