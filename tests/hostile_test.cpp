// Every file of the hostile corpus gives the right picture, or its one line on
// stderr and no image; never a crash, a leak or a read out of bounds (the
// sanitizer build runs the same tests). Then the files that are no pictures
// at all, and the ones a header makes huge.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "hostile_bmp.h"
#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "test_util.h"

namespace {

// A BMP header of the given size whose file is as long as its rows say, made
// sparse (no disk used): every pixel is zero but the last stored one, which is
// (red 255, green 0, blue 7).
void writeSparseBmp(const std::string& path, int32_t width, int32_t height) {
    const uint64_t stride = (3 * static_cast<uint64_t>(width) + 3) / 4 * 4;
    const uint64_t length = 54 + stride * static_cast<uint64_t>(height);
    writeFile(path, imgBMPBytes(width, height, {}));
    std::filesystem::resize_file(path, length);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(length - stride + 3 * (width - 1)));
    f.write("\x07\x00\xff", 3);
}

}  // namespace

TEST(HostileFiles, EachGivesTheRightPictureOrItsLine) {
    const std::vector<HostileBmp> corpus = hostileBmps();
    EXPECT_GT(corpus.size(), 100u);
    for (const HostileBmp& c : corpus) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        ImagePtr image(readBMPBytes(c.bytes));
        const std::string err = testing::internal::GetCapturedStderr();
        if (!c.loads) {
            EXPECT_EQ(image, nullptr);
            EXPECT_EQ(err, c.message);
            continue;
        }
        ASSERT_NE(image, nullptr) << err;
        EXPECT_EQ(err, "");
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, c.height);
        ASSERT_EQ(imgFloatCount(image.get()), c.pixels.size());
        EXPECT_TRUE(std::equal(c.pixels.begin(), c.pixels.end(), image->pixels));
    }
}

TEST(HostileFiles, ThingsThatAreNoPicturesAtAll) {
    TempDir dir;
    writeFile(dir.file("empty.bmp"), {});
    const std::string text = "Cavalo Positivo 1 Camera 1: not a picture, just words\n";
    writeFile(dir.file("text.bmp"), std::vector<unsigned char>(text.begin(), text.end()));
    const std::pair<std::string, std::string> cases[] = {
        {dir.path(), "imgReadBMP: \"" + dir.path() + "\" is not a regular file.\n"},
        {"/dev/zero", "imgReadBMP: \"/dev/zero\" is not a regular file.\n"},
        {dir.file("empty.bmp"), "imgReadBMP: Not a bitmap 24 bits file.\n"},
        {dir.file("text.bmp"), "imgReadBMP: Not a bitmap 24 bits file.\n"},
        {dir.file("missing.bmp"),
         "imgReadBMP: cannot open \"" + dir.file("missing.bmp") + "\": No such file or directory.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        testing::internal::CaptureStderr();
        EXPECT_EQ(imgReadBMP(c.first.c_str()), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.second);
    }
}

// Opening a FIFO would wait for a writer forever: the read runs in a child
// that an alarm ends, so that a regression fails instead of hanging.
TEST(HostileFiles, FifoIsRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir.file("fifo.bmp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            alarm(20);
            std::exit(imgReadBMP(fifo.c_str()) == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0), "imgReadBMP: \".*fifo.bmp\" is not a regular file.");
}

#if !defined(SLSCAN_SANITIZED)
// A header of 40000 x 40000 in a (sparse) file that really is that long is
// refused from the header. A regression would allocate 19 GB: the read runs
// in a child held to 1 GB of address space and 20 s. (The sanitizers reserve
// terabytes of address space, so their build leaves this case out.)
TEST(HostileFiles, HugeSparseFileIsRefusedFromItsHeader) {
    TempDir dir;
    const std::string path = dir.file("huge.bmp");
    writeSparseBmp(path, 40000, 40000);
    EXPECT_EXIT(
        {
            alarm(20);
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = 1L << 30;
            setrlimit(RLIMIT_AS, &limit);
            std::exit(imgReadBMP(path.c_str()) == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0),
        "imgReadBMP: picture 40000 x 40000 is larger than the 134217728 pixels this reader "
        "accepts.");
}
#endif

// A picture of exactly the cap, 16384 x 8192, loads (1.6 GB for a moment);
// one row more is refused (in the corpus).
TEST(HostileFiles, PictureAtTheCapLoads) {
    TempDir dir;
    const std::string path = dir.file("cap.bmp");
    writeSparseBmp(path, 16384, 8192);
    ImagePtr image(imgReadBMP(path.c_str()));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(static_cast<uint64_t>(image->width) * image->height, kImgMaxPixels);
    EXPECT_EQ(px(image.get(), 0, 0, 0), 0.0f);
    EXPECT_EQ(px(image.get(), 16383, 8191, 0), 1.0f);
    EXPECT_EQ(px(image.get(), 16383, 8191, 2), static_cast<float>(7 / 255.0));
    EXPECT_EQ(px(image.get(), 16382, 8191, 0), 0.0f);
}
