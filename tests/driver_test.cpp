// The whole program on small scans made by the test: the console, the point
// files, and the runs in which a photograph or a point file fails.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "decode/bcsl_code.h"
#include "decode/correspondence.h"
#include "driver/point_cloud.h"
#include "driver/scan.h"
#include "geometry/camera.h"
#include "image/bmp_write.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

// Pictures 75 x 75 with stripes two pixels wide. Pattern 2 lags pattern 1 by
// one pixel, so boundary k is marked at 2k + 3 along the stripes: column
// 2v + 3 for vertical code v, row 2h + 3 for horizontal code h. Both cameras
// get the same photographs.
constexpr int kSize = 75;

int stripeColour(int pattern, int position) {
    const int shifted = pattern == 1 || position == 0 ? position : position - 1;
    const int stripe = shifted / 2 < 36 ? shifted / 2 : 36;
    return (pattern == 1 ? kPattern1 : kPattern2)[stripe];
}

void writePhotograph(const std::string& path, int pattern, bool positive, bool vertical) {
    ImagePtr image(makeImage(kSize, kSize, [&](int x, int y, int c) {
        const int colour = stripeColour(pattern, vertical ? x : y);
        const bool lit = colour == c + 1;
        return lit == positive ? 1.0f : 0.0f;
    }));
    ASSERT_TRUE(imgWriteBMP(path.c_str(), image.get()));
}

struct AngleOutput {
    std::string own, all, console;  // per-angle file, its share of pontos.txt, rays-apart lines
};

AngleOutput expectedPoints(int angle);

// The sixteen photographs of every angle, made once for all tests.
class Scan : public testing::Test {
protected:
    static void SetUpTestSuite() {
        photos_ = new TempDir;
        for (int32_t angle = 0; angle <= 330; angle += 30)
            for (int camera = 1; camera <= 2; ++camera)
                for (int read = 1; read <= 8; ++read) {
                    const std::string rel = scanPhotographPath(read, camera, angle);
                    fs::create_directories(fs::path(photos_->file(rel)).parent_path());
                    writePhotograph(photos_->file(rel), (read - 1) / 2 % 2 + 1, read % 2 == 1,
                                    read <= 4);
                }
    }
    static void TearDownTestSuite() { delete photos_; }

    // A working folder whose cavalo/ links to every photograph but `skip`.
    void linkPhotographs(const std::string& skip = "") {
        fs::create_directory(work_.file("cavalo"));
        for (const auto& entry : fs::directory_iterator(photos_->file("cavalo"))) {
            const std::string name = "cavalo/" + entry.path().filename().string();
            if (name != skip) fs::create_symlink(entry.path(), work_.file(name));
        }
    }

    // Runs the program in the working folder. A sanitizer report exits with
    // its own status, never with the program's 0 or 1.
    int run(const std::string& wrapper = "") {
        return runCommand("cd '" + work_.path() + "' && ASAN_OPTIONS=exitcode=86 " + wrapper +
                          " '" SLSCAN_EXE "' > stdout.txt 2> stderr.txt");
    }
    // Every angle but `touched` holds exactly what a clean run writes.
    void expectUntouchedAngles(int touched) {
        for (int angle = 0; angle <= 330; angle += 30) {
            if (angle == touched) continue;
            EXPECT_TRUE(points(angle) == expectedPoints(angle).own) << angle;
        }
    }
    std::string out() { return readFile(work_.file("stdout.txt")); }
    std::string err() { return readFile(work_.file("stderr.txt")); }
    std::string points(int angle) {
        return readFile(work_.file("pontos_" + std::to_string(angle) + ".txt"));
    }

    static TempDir* photos_;
    TempDir work_;
};
TempDir* Scan::photos_ = nullptr;


std::string line(const Vector4& p) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%f %f %f\n", p.x, p.y, p.z);
    return buf;
}


// What one angle of the test scan should give: cells in storage order (v,
// then the half, then h), each crossing at (2v + 3, 2h + 3) in both cameras.
AngleOutput expectedPoints(int angle) {
    const Matrix4 turn = matRotation(-angle, 0, 1, 0);
    std::string own, all;
    testing::internal::CaptureStdout();
    for (int v = 0; v < 36; ++v)
        for (int k = 0; k < 2; ++k)
            for (int h = 0; h < 36; ++h) {
                const int x = 2 * v + 3, y = 2 * h + 3;
                if ((y > kSize / 2) != (k == 1)) continue;
                Camera c1 = camCamera1(), c2 = camCamera2();
                c1.pixelX = c2.pixelX = x;
                c1.pixelY = c2.pixelY = y;
                const Vector4 p = camTriangulate(c1, c2);
                own += line(p);
                all += line(matMulVec(turn, p));
            }
    return {own, all, testing::internal::GetCapturedStdout()};
}

// The console of a run; `skipped` angles give no points and so no error lines.
std::string transcript(int skipped = -1) {
    std::string t = "Tarvenil\nVosminar\n\n";
    for (int a = 0; a <= 330; a += 30) {
        t += "Processando imagens (angulo " + std::to_string(a) + ")...\n";
        t += "Gerando lista de pontos (angulo = " + std::to_string(a) + ")...\n";
        if (a != skipped && skipped != -2) t += expectedPoints(a).console;
    }
    return t;
}

size_t lines(const std::string& s) { return static_cast<size_t>(std::count(s.begin(), s.end(), '\n')); }

}  // namespace

TEST(PointCloud, OnlyCellsBothTablesFilledGiveLinesOwnLineFirst) {
    CorrespondenceTable t1, t2;
    clearCorrespondenceTable(&t1);
    clearCorrespondenceTable(&t2);
    t1.cells[5] = {530, 400};
    t2.cells[5] = {480, 400};
    t1.cells[9] = {600, 300};  // camera 1 only
    t2.cells[12] = {420, 310};  // camera 2 only
    // One stream for both files shows the order of the writes.
    std::FILE* both = std::tmpfile();
    testing::internal::CaptureStdout();
    generatePointCloud(90, &t1, &t2, both, both);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Gerando lista de pontos (angulo = 90)...\n");
    std::rewind(both);
    char text[256] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, both);
    std::fclose(both);
    // (-1.850471, -12.944310, -25.809378) turned by -90 degrees about y.
    EXPECT_EQ(std::string(text, n),
              "-1.850471 -12.944310 -25.809378\n25.809378 -12.944310 -1.850471\n");
}

TEST_F(Scan, CleanRunWritesTheThirteenFilesAndTheTranscript) {
    linkPhotographs();
    writeFile(work_.file("pontos.txt"), {'o', 'l', 'd', '\n'});
    writeFile(work_.file("pontos_30.txt"), {'o', 'l', 'd', '\n'});
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(out() == transcript() + "Programa finalizado com sucesso.\n");
    EXPECT_EQ(err(), "");
    EXPECT_FALSE(fs::exists(work_.file("pontos_360.txt")));

    std::string all;
    for (int angle = 0; angle <= 330; angle += 30) {
        SCOPED_TRACE(angle);
        const auto want = expectedPoints(angle);
        EXPECT_EQ(lines(want.own), 36u * 36u);
        EXPECT_TRUE(points(angle) == want.own);
        all += want.all;
    }
    EXPECT_TRUE(readFile(work_.file("pontos.txt")) == all);
    // At angle 0 the turn is the identity.
    EXPECT_TRUE(all.substr(0, points(0).size()) == points(0));
}

TEST_F(Scan, MissingPhotographSkipsOnlyThatCameraAndAngle) {
    const std::string missing = "cavalo/Cavalo Negativo 2 Camera 2 Rotacao 030 Horizontal.bmp";
    linkPhotographs(missing);
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(out() == transcript(30));
    const std::string e = err();
    EXPECT_NE(e.find("angle 30, camera 2: cannot read \"" + missing + "\""), std::string::npos) << e;
    EXPECT_NE(e.find("1 photograph(s) could not be read"), std::string::npos) << e;
    EXPECT_EQ(points(30), "");
    std::string all;
    for (int angle = 0; angle <= 330; angle += 30) {
        if (angle == 30) continue;
        const auto want = expectedPoints(angle);
        EXPECT_TRUE(points(angle) == want.own) << angle;
        all += want.all;
    }
    EXPECT_TRUE(readFile(work_.file("pontos.txt")) == all);
}

TEST_F(Scan, TruncatedPhotographSkipsItsCamera) {
    const std::string cut = "cavalo/Cavalo Positivo 2 Camera 1 Rotacao 120 Horizontal.bmp";
    linkPhotographs(cut);
    std::string bytes = readFile(photos_->file(cut));
    bytes.resize(bytes.size() / 2);
    writeFile(work_.file(cut), std::vector<unsigned char>(bytes.begin(), bytes.end()));
    EXPECT_EQ(run(), 1);
    EXPECT_NE(err().find("get24bits: Unexpected end of file.\n"), std::string::npos) << err();
    EXPECT_NE(err().find("angle 120, camera 1: cannot read \"" + cut + "\""), std::string::npos);
    EXPECT_EQ(out().find("sucesso"), std::string::npos);
    EXPECT_EQ(points(120), "");
    expectUntouchedAngles(120);
}

TEST_F(Scan, UncreatableAngleFileKeepsItsPointsInTheCloud) {
    linkPhotographs();
    fs::create_directory(work_.file("pontos_60.txt"));
    EXPECT_EQ(run(), 1);
    EXPECT_NE(err().find("cannot create \"pontos_60.txt\": Is a directory"), std::string::npos)
        << err();
    EXPECT_EQ(out().find("sucesso"), std::string::npos);
    expectUntouchedAngles(60);
    std::string all;
    for (int angle = 0; angle <= 330; angle += 30) all += expectedPoints(angle).all;
    EXPECT_TRUE(readFile(work_.file("pontos.txt")) == all);
}

TEST_F(Scan, BrokenPhotographIsReportedLikeAMissingOne) {
    linkPhotographs("cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp");
    writeFile(work_.file("cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp"),
              imgBMPBytes(2, 2, std::vector<unsigned char>(16, 0), 32));
    EXPECT_EQ(run(), 1);
    EXPECT_NE(err().find("imgReadBMP: Not a bitmap 24 bits file.\n"), std::string::npos);
    EXPECT_EQ(points(0), "");
    EXPECT_TRUE(points(60) == expectedPoints(60).own);
}

TEST_F(Scan, UncreatableAllPointsFileStillWritesTheAngles) {
    linkPhotographs();
    fs::create_directory(work_.file("pontos.txt"));
    EXPECT_EQ(run(), 1);
    EXPECT_NE(err().find("cannot create \"pontos.txt\""), std::string::npos) << err();
    EXPECT_EQ(out().find("sucesso"), std::string::npos);
    EXPECT_TRUE(points(330) == expectedPoints(330).own);
}

TEST_F(Scan, FullDiskIsNeverReportedAsSuccess) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    linkPhotographs();
    fs::create_symlink("/dev/full", work_.file("pontos.txt"));
    fs::create_symlink("/dev/full", work_.file("pontos_90.txt"));
    EXPECT_EQ(run(), 1);
    EXPECT_NE(err().find("cannot write \"pontos.txt\": No space left on device"), std::string::npos)
        << err();
    EXPECT_NE(err().find("cannot write \"pontos_90.txt\""), std::string::npos) << err();
    EXPECT_EQ(out().find("sucesso"), std::string::npos);
    EXPECT_TRUE(points(60) == expectedPoints(60).own);
}

TEST_F(Scan, EmptyFolderCreatesEmptyFilesAndFails) {
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(out() == transcript(-2));
    for (int angle = 0; angle <= 330; angle += 30) EXPECT_EQ(points(angle), "") << angle;
    EXPECT_NE(err().find("24 photograph(s) could not be read"), std::string::npos) << err();
}

#if !defined(SLSCAN_SANITIZED)
// The whole run under valgrind's memcheck: no invalid access, no leak.
TEST_F(Scan, WholeRunIsCleanUnderMemcheck) {
    if (runCommand("valgrind --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no valgrind";
    linkPhotographs("cavalo/Cavalo Negativo 1 Camera 2 Rotacao 300 Vertical.bmp");
    EXPECT_EQ(run("valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=all"), 1)
        << err();
    EXPECT_EQ(err().find("=="), std::string::npos) << err();
    expectUntouchedAngles(300);
}

// No more than five images are alive at once: the peak heap of a run over
// larger photographs stays below five and a half of them.
TEST_F(Scan, AtMostFiveImagesAreAlive) {
    if (runCommand("valgrind --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no valgrind";
    const int w = 400, h = 300;
    fs::create_directory(work_.file("cavalo"));
    ImagePtr photo(makeImage(w, h, [](int x, int y, int c) {
        return ((x / 7 + y / 5 + c) % 3) * 0.5f;
    }));
    for (int camera = 1; camera <= 2; ++camera)
        for (int read = 1; read <= 8; ++read)
            ASSERT_TRUE(imgWriteBMP(work_.file(scanPhotographPath(read, camera, 0)).c_str(), photo.get()));
    EXPECT_EQ(run("valgrind -q --tool=massif --massif-out-file=massif.out"), 1);  // angles 30+ missing
    const std::string massif = readFile(work_.file("massif.out"));
    long peak = 0;
    for (size_t at = massif.find("mem_heap_B="); at != std::string::npos;
         at = massif.find("mem_heap_B=", at + 1))
        peak = std::max(peak, std::stol(massif.substr(at + 11)));
    const long image = 3L * 4 * w * h;
    EXPECT_GT(peak, 5 * image);
    EXPECT_LT(peak, 5 * image + image / 2) << "peak heap " << peak << " bytes, images of " << image;
    RecordProperty("peak_heap_bytes", static_cast<int>(peak));
}
#endif
