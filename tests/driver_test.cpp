// The whole program on a small scan made by the test: the console, the point
// files, and the runs in which a photograph or a point file fails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "image/bmp_write.h"
#include "image/scan_layout.h"
#include "test_util.h"

namespace fs = std::filesystem;

namespace {

// Pictures 608 x 450 in which each camera sees two crossings of the stripe
// grid, at the pixel pairs whose triangulation is documented:
//   A: vertical code 20, horizontal code 7; camera 1 (600, 300), camera 2 (420, 310)
//   B: vertical code 5, horizontal code 30; camera 1 (530, 400), camera 2 (480, 400)
// A vertical boundary runs only through the rows of its own crossing and a
// horizontal one only through its columns, so there are no other crossings.
// Both lie in the lower half (row > 225), in cells 72 * 20 + 36 + 7 and
// 72 * 5 + 36 + 30: B is written first.
constexpr int kWidth = 608, kHeight = 450;
struct CameraView {
    int colA, rowA, colB, rowB;
};
constexpr CameraView kViews[2] = {{600, 300, 530, 400}, {420, 310, 480, 400}};
const char* const kAnglePoints =
    "-1.850471 -12.944310 -25.809378\n-0.628303 -82.528706 -142.031901\n";
const double kPoints[2][3] = {{-1.850471, -12.944310, -25.809378},
                              {-0.628303, -82.528706, -142.031901}};

// The stripe (0 to 36) a pixel of one camera's photographs lies in: stripe k
// before boundary k, stripe k + 1 after it.
int stripeAt(const CameraView& v, bool vertical, int x, int y) {
    if (vertical) {
        const bool a = y < (v.rowA + v.rowB) / 2;
        return (a ? 20 : 5) + (x >= (a ? v.colA : v.colB) ? 1 : 0);
    }
    const int split = (v.colA + v.colB) / 2;
    const bool a = (x < split) == (v.colA < split);
    return (a ? 7 : 30) + (y >= (a ? v.rowA : v.rowB) ? 1 : 0);
}

void writePhotograph(const std::string& path, int camera, int read, int width, int height) {
    const int pattern = (read - 1) / 2 % 2 + 1;
    const bool positive = read % 2 == 1, vertical = read <= 4;
    ImagePtr image(makeImage(width, height, [&](int x, int y, int c) {
        const int stripe = stripeAt(kViews[camera - 1], vertical, x, y);
        const bool lit = (pattern == 1 ? kPattern1 : kPattern2)[stripe] == c + 1;
        return lit == positive ? 1.0f : 0.0f;
    }));
    ASSERT_TRUE(imgWriteBMP(path.c_str(), image.get()));
}

// The "x y z" lines pontos.txt holds for the given angles: the documented
// points turned by minus the angle about the y axis (x' = x cos a - z sin a,
// z' = x sin a + z cos a), to the six printed decimals.
void expectAllPoints(const std::string& text, const std::vector<int>& angles) {
    std::istringstream in(text);
    size_t i = 0;
    for (double x, y, z; in >> x >> y >> z; ++i) {
        ASSERT_LT(i, 2 * angles.size()) << text;
        const double a = angles[i / 2] * 3.141592653589793 / 180, *p = kPoints[i % 2];
        EXPECT_NEAR(x, p[0] * std::cos(a) - p[2] * std::sin(a), 2e-6) << i;
        EXPECT_NEAR(y, p[1], 2e-6) << i;
        EXPECT_NEAR(z, p[0] * std::sin(a) + p[2] * std::cos(a), 2e-6) << i;
    }
    EXPECT_EQ(i, 2 * angles.size()) << text;
}

std::string transcript(bool success) {
    std::string t = "Tarvenil\nVosminar\n\n";
    for (int a = 0; a <= 330; a += 30) {
        t += "Processando imagens (angulo " + std::to_string(a) + ")...\n";
        t += "Gerando lista de pontos (angulo = " + std::to_string(a) + ")...\n";
    }
    return success ? t + "Programa finalizado com sucesso.\n" : t;
}

std::string summary(int photographs, int cameras, int files) {
    return "slscan: finished with faults: " + std::to_string(photographs) +
           " photograph(s) could not be read, " + std::to_string(cameras) +
           " camera view(s) skipped, " + std::to_string(files) +
           " point file(s) could not be written.\n";
}

std::string skipped(int angle, int camera, const std::string& path) {
    return "slscan: angle " + std::to_string(angle) + ", camera " + std::to_string(camera) +
           ": cannot read \"" + path + "\"; camera skipped.\n";
}

// The sixteen photographs, made once; every angle links to them.
class Scan : public testing::Test {
public:
    static void SetUpTestSuite() {
        photos_ = new TempDir;
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read)
                writePhotograph(photo(camera, read), camera, read, kWidth, kHeight);
    }
    static void TearDownTestSuite() { delete photos_; }
    static std::string photo(int camera, int read) {
        return photos_->file(std::to_string(camera) + "-" + std::to_string(read) + ".bmp");
    }

    // cavalo/ with links to the photographs of the given angles.
    void linkPhotographs(int last = 330) {
        fs::create_directory(work_->file("cavalo"));
        for (int angle = 0; angle <= last; angle += 30)
            for (int camera = 1; camera <= 2; ++camera)
                for (int read = 1; read <= 8; ++read)
                    fs::create_symlink(photo(camera, read),
                                       work_->file(scanPhotographPath(read, camera, angle)));
    }
    // Puts `path` (relative to the working folder) in place of what is there.
    void replace(const std::string& path, const std::function<void(const std::string&)>& make) {
        fs::remove(work_->file(path));
        make(work_->file(path));
    }

    // Runs the program in the working folder under a time limit, so that a
    // run that blocks fails instead of hanging, with files limited to
    // `fileBlocks` blocks of 512 bytes (-1: no limit). Its output goes
    // through pipes, which the limit does not reach. A sanitizer report exits
    // with its own status, never with the program's 0 or 1.
    // `args` are shell words after the program's name.
    int run(const std::string& wrapper = "", int fileBlocks = -1, const std::string& args = "") {
        const std::string limit = fileBlocks < 0 ? "unlimited" : std::to_string(fileBlocks);
        runCommand("cd '" + work_->path() + "' && { { (trap '' XFSZ; ulimit -f " + limit +
                   "; ASAN_OPTIONS=exitcode=86 exec timeout -s KILL 60 " + wrapper +
                   " '" SLSCAN_EXE "' " + args + "); echo $? > status.txt; } 2>&1 1>&3 | "
                   "cat > stderr.txt; } 3>&1 | cat > stdout.txt");
        const std::string status = readFile(work_->file("status.txt"));
        return status.empty() ? -1 : std::stoi(status);
    }
    std::string out() { return readFile(work_->file("stdout.txt")); }
    std::string err() { return readFile(work_->file("stderr.txt")); }
    std::string points(int angle) {
        return readFile(work_->file("pontos_" + std::to_string(angle) + ".txt"));
    }

    static TempDir* photos_;
    std::unique_ptr<TempDir> work_ = std::make_unique<TempDir>();
};
TempDir* Scan::photos_ = nullptr;

// The photographs here are smaller than the built-in calibration's, which a
// run warns about once, before anything else it says on stderr.
const std::string kSizeWarning =
    "slscan: warning: the photographs are 608 x 450 pixels, not the 1024 x 768 of the built-in "
    "calibration; unless they are cut from photographs of its cameras, the points will be "
    "wrong.\n";

const std::string kNeg2Cam2At30 = "cavalo/Cavalo Negativo 2 Camera 2 Rotacao 030 Horizontal.bmp";
const std::string kPos1Cam1At60 = "cavalo/Cavalo Positivo 1 Camera 1 Rotacao 060 Vertical.bmp";
constexpr int kEvery = 360;  // as an empty angle: every angle

}  // namespace

// Every fault but the empty folder touches one angle or one point file;
// everything else holds what a clean run writes, and only a run without
// faults reports success. A run that found no point at all warns.
TEST_F(Scan, EachFaultIsNamedAndTheRunGoesOn) {
    struct Case {
        const char* name;
        std::function<void(Scan&)> setup;
        int blocks;             // file size limit, -1 for none
        int emptyAngle;         // an angle that gives no points, -1 none, kEvery all
        const char* badFile;    // a point file that is no file, "*" for all, or ""
        std::string stderrText;
    } cases[] = {
        {"clean", [](Scan&) {}, -1, -1, "", kSizeWarning},
        {"missing photograph",
         [](Scan& s) { fs::remove(s.work_->file(kNeg2Cam2At30)); }, -1, 30, "",
         kSizeWarning + "imgReadBMP: cannot open \"" + kNeg2Cam2At30 + "\": No such file or directory.\n" +
             skipped(30, 2, kNeg2Cam2At30) + summary(1, 1, 0)},
        {"photograph that is a FIFO",
         [](Scan& s) { s.replace(kPos1Cam1At60, [](auto& p) { mkfifo(p.c_str(), 0600); }); },
         -1, 60, "",
         kSizeWarning + "imgReadBMP: \"" + kPos1Cam1At60 + "\" is not a regular file.\n" +
             skipped(60, 1, kPos1Cam1At60) + summary(1, 1, 0)},
        {"negative of another size",
         [](Scan& s) {
             s.replace(scanPhotographPath(2, 2, 90),
                       [](auto& p) { writePhotograph(p, 2, 2, kWidth - 1, kHeight); });
         },
         -1, 90, "",
         kSizeWarning + "imgDifference: images of different sizes (608 x 450 and 607 x 450).\n"
         "slscan: angle 90, camera 2: difference failed; camera skipped.\n" + summary(0, 1, 0)},
        {"horizontal photographs of another size",
         [](Scan& s) {
             for (int read = 5; read <= 8; ++read)
                 s.replace(scanPhotographPath(read, 1, 150),
                           [&](auto& p) { writePhotograph(p, 1, read, kWidth, kHeight - 1); });
         },
         -1, 150, "",
         kSizeWarning + "slscan: angle 150, camera 1: vertical and horizontal photographs differ in size; "
         "camera skipped.\n" + summary(0, 1, 0)},
        // The reader's own line does not name the file; the driver's next does.
        {"photograph that is no 24-bit BMP",
         [](Scan& s) {
             std::string bytes = readFile(photo(1, 1));
             bytes[28] = 8;  // bits per pixel
             s.replace(kPos1Cam1At60, [&](auto& p) { writeFile(p, {bytes.begin(), bytes.end()}); });
         },
         -1, 60, "",
         kSizeWarning + "imgReadBMP: Not a bitmap 24 bits file.\n" +
             skipped(60, 1, kPos1Cam1At60) + summary(1, 1, 0)},
        {"angle file that is a FIFO",
         [](Scan& s) { mkfifo(s.work_->file("pontos_60.txt").c_str(), 0600); }, -1, -1,
         "pontos_60.txt",
         kSizeWarning + "slscan: cannot create \"pontos_60.txt\": not a regular file.\n" + summary(0, 0, 1)},
        {"all-points file that is a folder",
         [](Scan& s) { fs::create_directory(s.work_->file("pontos.txt")); }, -1, -1, "pontos.txt",
         "slscan: cannot create \"pontos.txt\": not a regular file.\n" + kSizeWarning +
             summary(0, 0, 1)},
        // Every point file is smaller than the stream's buffer: the full disk
        // shows only when the file is closed.
        {"full disk", [](Scan&) {}, 0, -1, "*", kSizeWarning},
        {"empty folder",
         [](Scan& s) {
             fs::remove_all(s.work_->file("cavalo"));
             fs::create_directory(s.work_->file("cavalo"));
         },
         -1, kEvery, "", ""},
        // Every photograph readable, no stripe in any: a clean run that found
        // nothing says so.
        {"photographs without stripes",
         [](Scan& s) {
             const std::string blank = s.work_->file("blank.bmp");
             ImagePtr image(zeroImage(kWidth, kHeight));
             ASSERT_TRUE(imgWriteBMP(blank.c_str(), image.get()));
             for (int a = 0; a <= 330; a += 30)
                 for (int camera = 1; camera <= 2; ++camera)
                     for (int read = 1; read <= 8; ++read)
                         s.replace(scanPhotographPath(read, camera, a),
                                   [&](auto& p) { fs::create_symlink(blank, p); });
         },
         -1, kEvery, "",
         kSizeWarning + "slscan: warning: no point found at any angle, so the point files are empty; this "
         "usually means the photographs in cavalo/ are missing or misnamed, come from another "
         "rig or calibration, or show no stripes both cameras see (all dark, or all masked "
         "out).\n"},
    };
    for (int a = 0; a <= 330; a += 30) {
        cases[8].stderrText += "slscan: cannot write \"pontos_" + std::to_string(a) +
                               ".txt\": File too large.\n";
        for (int camera = 1; camera <= 2; ++camera) {
            const std::string path = scanPhotographPath(1, camera, a);
            cases[9].stderrText += "imgReadBMP: cannot open \"" + path +
                                   "\": No such file or directory.\n" + skipped(a, camera, path);
        }
    }
    cases[8].stderrText += "slscan: cannot write \"pontos.txt\": File too large.\n" + summary(0, 0, 13);
    cases[9].stderrText += summary(24, 24, 0) +
                           "slscan: warning: no point found at any angle, so the point files are "
                           "empty; this usually means the photographs in cavalo/ are missing or "
                           "misnamed, come from another rig or calibration, or show no stripes "
                           "both cameras see (all dark, or all masked out).\n";

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        work_ = std::make_unique<TempDir>();
        linkPhotographs();
        c.setup(*this);
        const bool clean = c.stderrText.find("finished with faults") == std::string::npos;
        EXPECT_EQ(run("", c.blocks), clean ? 0 : 1);
        EXPECT_EQ(out(), transcript(clean));
        EXPECT_EQ(err(), c.stderrText);
        const std::string bad = c.badFile;
        std::vector<int> angles;
        for (int a = 0; a <= 330; a += 30) {
            const bool empty = a == c.emptyAngle || c.emptyAngle == kEvery;
            if (!empty) angles.push_back(a);
            if (bad == "pontos_" + std::to_string(a) + ".txt") continue;
            EXPECT_EQ(points(a), empty || bad == "*" ? "" : kAnglePoints) << a;
        }
        if (bad == "*") {
            EXPECT_EQ(readFile(work_->file("pontos.txt")), "");
        } else if (bad == "") {
            expectAllPoints(readFile(work_->file("pontos.txt")), angles);
        }
    }
}

#if !defined(SLSCAN_SANITIZED)
// One angle under valgrind's memcheck, a camera skipped with images alive:
// no invalid access, no leak.
TEST_F(Scan, RunIsCleanUnderMemcheck) {
    if (runCommand("valgrind --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no valgrind";
    linkPhotographs(0);
    fs::remove(work_->file(scanPhotographPath(7, 2, 0)));
    EXPECT_EQ(run("valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=all"), 1)
        << err();
    EXPECT_EQ(err().find("=="), std::string::npos) << err();
}
#endif

// -h, --help and --version answer wherever they stand, on standard output,
// and touch no file; any other argument is named and the run goes on.
TEST_F(Scan, CommandLine) {
    const std::string help = "Usage: slscan\n", version = "slscan " SLSCAN_VERSION "\n";
    const std::string ignored = "\": not an option of slscan (see slscan --help).\n";
    const struct {
        const char* args;
        std::string out;  // standard output, or how it starts
        std::string err;
    } cases[] = {
        {"-h", help, ""},
        {"--help", help, ""},
        {"stray --help", help, ""},
        {"--version -h", version, ""},
        {"--verbose 'two words'", transcript(true),
         "slscan: warning: ignoring argument \"--verbose" + ignored +
             "slscan: warning: ignoring argument \"two words" + ignored + kSizeWarning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        work_ = std::make_unique<TempDir>();
        linkPhotographs();
        writeFile(work_->file("pontos.txt"), {'o', 'l', 'd', '\n'});
        EXPECT_EQ(run("", -1, c.args), 0);
        EXPECT_EQ(err(), c.err);
        EXPECT_EQ(out().substr(0, c.out.size()), c.out);
        if (!c.err.empty()) {
            expectAllPoints(readFile(work_->file("pontos.txt")),
                            {0, 30, 60, 90, 120, 150, 180, 210, 240, 270, 300, 330});
            continue;
        }
        EXPECT_EQ(readFile(work_->file("pontos.txt")), "old\n");
        // cavalo, pontos.txt and the three files of run(): no point file made.
        EXPECT_EQ(std::distance(fs::directory_iterator(work_->path()), fs::directory_iterator()), 5);
    }
}

// The views are decoded by several workers while the run prints and writes in
// order: whatever their number, the console, the status and every point file
// are those of a run with one, faults included. A positive stored top down
// beside a bottom-up negative is read by the slow path and gives the points of
// a clean angle.
TEST_F(Scan, AnyNumberOfWorkersGivesTheSameRun) {
    const auto topDown = [](Scan& s) {
        const std::string path = scanPhotographPath(1, 1, 120);
        std::string bytes = readFile(photo(1, 1));
        const size_t stride = (3 * kWidth + 3) / 4 * 4;
        std::vector<unsigned char> rows;
        for (int r = kHeight - 1; r >= 0; --r)
            rows.insert(rows.end(), bytes.begin() + 54 + r * stride,
                        bytes.begin() + 54 + (r + 1) * stride);
        s.replace(path, [&](auto& p) { writeFile(p, imgBMPBytes(kWidth, -kHeight, rows)); });
        fs::remove(s.work_->file(kNeg2Cam2At30));
        s.replace(scanPhotographPath(2, 2, 90),
                  [](auto& p) { writePhotograph(p, 2, 2, kWidth - 1, kHeight); });
    };
    const struct {
        const char* name;
        std::function<void(Scan&)> setup;
        int blocks;
        const char* pointsAt120;  // pontos_120.txt
    } cases[] = {
        {"faults in three views", topDown, -1, kAnglePoints},
        {"full disk", [](Scan&) {}, 0, ""},
        {"empty folder", [](Scan& s) { fs::remove_all(s.work_->file("cavalo")); }, -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        work_ = std::make_unique<TempDir>();
        linkPhotographs();
        c.setup(*this);
        std::string first;
        for (const int workers : {1, 2, 4}) {
            const int status = run("env SLSCAN_THREADS=" + std::to_string(workers), c.blocks);
            std::string all = std::to_string(status) + "\n" + out() + err();
            for (int a = 0; a <= 330; a += 30) all += points(a);
            all += readFile(work_->file("pontos.txt"));
            if (workers == 1) {
                first = all;
                EXPECT_EQ(status, 1);
                EXPECT_EQ(points(120), c.pointsAt120);
            } else {
                EXPECT_EQ(all, first) << workers << " workers";
            }
        }
    }
}

// Where there is no folder of photographs (none, or a file of that name)
// slscan says so in one line and leaves the folder as it was.
TEST_F(Scan, WithoutAPhotographFolderNothingIsWritten) {
    for (const bool asFile : {false, true}) {
        SCOPED_TRACE(asFile ? "cavalo is a file" : "no cavalo");
        work_ = std::make_unique<TempDir>();
        if (asFile) writeFile(work_->file("cavalo"), {'x'});
        EXPECT_EQ(run(), 1);
        EXPECT_EQ(out(), "");
        EXPECT_EQ(err(), "slscan: there is no folder \"cavalo\" here; run slscan in the folder "
                         "that holds cavalo/ with the photographs of the scan.\n");
        // The three files of run() (and the file cavalo): no point file.
        EXPECT_EQ(std::distance(fs::directory_iterator(work_->path()), fs::directory_iterator()),
                  asFile ? 4 : 3);
    }
}

// Photographs of the built-in calibration's size, 1024 x 768, draw no warning.
TEST_F(Scan, PhotographsOfTheCalibratedSizeDrawNoWarning) {
    TempDir photos;
    fs::create_directory(work_->file("cavalo"));
    for (int camera = 1; camera <= 2; ++camera)
        for (int read = 1; read <= 8; ++read) {
            const std::string path = photos.file(std::to_string(camera) + "-" + std::to_string(read));
            writePhotograph(path, camera, read, 1024, 768);
            for (int angle = 0; angle <= 330; angle += 30)
                fs::create_symlink(path, work_->file(scanPhotographPath(read, camera, angle)));
        }
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(err(), "");
    EXPECT_EQ(out(), transcript(true));
}
