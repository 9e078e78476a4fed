// The tools as a user meets them: one command-line convention for all five,
// and no result drawn or measured from files that do not belong together.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "common/ply.h"
#include "tools_util.h"

namespace {

struct ToolRun {
    int status;
    std::string out, err;
};

// Runs a tool with `args`; its status and both streams.
ToolRun runTool(const std::string& tool, const std::string& args) {
    TempDir logs;
    const int status = runCommand(toolCommand(tool) + args + " > " + logs.file("out") + " 2> " +
                                  logs.file("err") + " < /dev/null");
    return {status, readFile(logs.file("out")), readFile(logs.file("err"))};
}

long lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

// Sets a file's modification time to `seconds` after an hour before the tests.
const auto kHourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
void age(const std::string& path, int seconds) {
    std::filesystem::last_write_time(path, kHourAgo + std::chrono::seconds(seconds));
}

// A small finished scan of the sphere: scene.txt and one photograph at 0 s,
// the point files (three points, all at angle 0) at 10 s, cloud.ply at 20 s.
void writeFinishedScan(const TempDir& dir) {
    writeText(dir.file("scene.txt"), "slscan-render 1\nobject sphere\ntexture 0\n");
    mkdir(dir.file("cavalo").c_str(), 0755);
    const std::string photograph = dir.file("cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp");
    writeText(photograph, "BM");
    const std::string points = "0.000000 15.000000 0.000000\n0.000000 -10.000000 25.500000\n"
                               "25.000000 -10.000000 0.000000\n";
    writeText(dir.file("pontos.txt"), points);
    writeText(dir.file("pontos_0.txt"), points);
    for (int angle = 30; angle <= 330; angle += 30) writeText(dir.file("pontos_" + std::to_string(angle) + ".txt"), "");
    std::string error;
    ASSERT_TRUE(plyWrite(dir.file("cloud.ply"), {{0, 15, 0, 0, 1, 0, 100, 100, 100}}, "", &error)) << error;
    age(dir.file("scene.txt"), 0);
    age(photograph, 0);
    for (int angle = 0; angle <= 330; angle += 30) age(dir.file("pontos_" + std::to_string(angle) + ".txt"), 10);
    age(dir.file("pontos.txt"), 10);
    age(dir.file("cloud.ply"), 20);
}

}  // namespace

// Every tool: help and version on stdout with status 0; a usage error, the
// bad value named with its range, in one line on stderr with status 2; `--`
// ends the options (a folder named like an option is then just a folder).
TEST(ToolContract, HelpVersionAndUsageErrors) {
    struct Case {
        const char* tool;
        const char* args;
        int status;
        const char* text;  // on stdout for status 0, on stderr otherwise
    };
    const std::string version = std::string(" (slscan) ") + SLSCAN_VERSION + "\n";
    const Case cases[] = {
        {"slscan-render", "--help", 0, "Usage: slscan-render [OPTIONS] DIR"},
        {"slscan-mask", "-h", 0, "Usage: slscan-mask [OPTIONS] SCAN_DIR OUT_DIR"},
        {"slscan-eval", "--help", 0, "--cloud"},
        {"slscan-eval", "-h", 0, "--mesh"},
        {"slscan-preview", "-h", 0, "DIR/mesh.ply first"},
        {"slscan-mesh", "-h", 0, "--depth N"},
        {"slscan-cloud", "-h", 0, "(default 16)"},  // the default shown from the option itself
        {"slscan-eval", "--cloud --mesh x", 2, "--cloud excludes --mesh"},
        {"slscan-cloud", "--help", 0, "--keep-all"},
        {"slscan-preview", "--help", 0, "Usage: slscan-preview [OPTIONS] DIR"},
        {"slscan-render", "--version", 0, ""}, {"slscan-mask", "--version", 0, ""},
        {"slscan-eval", "--version", 0, ""},   {"slscan-cloud", "--version", 0, ""},
        {"slscan-preview", "--version", 0, ""},
        {"slscan-render", "--aa 0 x", 2, "--aa: must be a whole number from 1 to 8, got \"0\""},
        {"slscan-render", "--aa=9 x", 2, "--aa: must be a whole number from 1 to 8, got \"9\""},
        {"slscan-render", "--blur 21 x", 2, "--blur: must be a number from 0 to 20, got \"21\""},
        {"slscan-render", "--object cube x", 2, "--object: must be one of horse, sphere, board, spheres, vase, got \"cube\""},
        {"slscan-render", "--size 640x0 x", 2, "--size: must be WxH, each from 1 to 20000, got \"640x0\""},
        {"slscan-render", "--size 640x768x x", 2, "--size: must be WxH, each from 1 to 20000, got \"640x768x\""},
        {"slscan-render", "-h", 0, "(default all cores)"},
        // Lists: the count, each number's range and the separators all count.
        {"slscan-render", "--crosstalk-matrix 1,0,0,0,1,0,0,0 x", 2,
         "--crosstalk-matrix: must be 9 numbers from 0 to 10, separated by commas, got \"1,0,0,0,1,0,0,0\""},
        {"slscan-render", "--crosstalk-matrix 1,0,0,0,1,0,0,0,1,0 x", 2, "must be 9 numbers"},
        {"slscan-render", "--white-balance 1,1,11 x", 2,
         "--white-balance: must be 3 numbers from 0.01 to 10, separated by commas, got \"1,1,11\""},
        {"slscan-render", "--white-balance 1,,1 x", 2, "must be 3 numbers"},
        {"slscan-render", "--white-balance 1,1,nan x", 2, "must be 3 numbers"},
        {"slscan-render", "--seed 4294967296 x", 2,
         "--seed: must be a whole number from 0 to 4294967295, got \"4294967296\""},
        {"slscan-render", "--seed -1 x", 2, "--seed: must be a whole number"},
        {"slscan-render", "--angles 0,360 x", 2,
         "--angles: must be whole degrees from 0 to 359, separated by commas, each once, got \"0,360\""},
        {"slscan-render", "--angles 30,0,30 x", 2, "each once, got \"30,0,30\""},
        {"slscan-mask", "--threshold=257 a b", 2, "--threshold: must be a whole number from 0 to 256, got \"257\""},
        {"slscan-mask", "a", 2, "OUT_DIR is required"},
        {"slscan-cloud", "--radius -3 x", 2, "--radius: must be a number above 0, got \"-3\""},
        {"slscan-cloud", "--k 2.5 x", 2, "--k: must be a whole number from 2 to 256, got \"2.5\""},
        {"slscan-cloud", "--y=5,3 x", 2, "--y: must be two numbers MIN,MAX with MIN below MAX, got \"5,3\""},
        {"slscan-cloud", "--ratio -1 x", 2, "--ratio: must be a number of at least 0, got \"-1\""},
        {"slscan-eval", "--bogus x", 2, "--bogus"},
        {"slscan-eval", "", 2, "DIR is required"},
        {"slscan-preview", "a b", 2, "not expected: b"},
        {"slscan-eval", "-- --json", 1, "no folder \"--json\""},
        {"slscan-cloud", "-- -x", 1, "no folder \"-x\""},
        {"slscan-preview", "-- -x", 1, "no folder \"-x\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.args);
        const ToolRun run = runTool(c.tool, c.args);
        EXPECT_EQ(run.status, c.status);
        const std::string expected = *c.text != '\0' ? c.text : c.tool + version;
        if (c.status == 0) {
            EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
            EXPECT_EQ(lines(run.err), 1) << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
}

// Each way a scan folder can lie - truth missing, files of two runs, a scan
// cut short, no point at all - is refused (status 1, a line saying what to
// do) or, where the tool can do without the file, warned about.
TEST(ToolContract, FilesThatDoNotBelongTogetherAreNotBelieved) {
    using Change = std::function<void(const TempDir&)>;
    const Change none = [](const TempDir&) {};
    const Change cutMidLine = [](const TempDir& d) {
        writeText(d.file("pontos.txt"), "0.000000 15.000000 0.000000\n0.000000 -10.0");
    };
    const Change noPoints = [](const TempDir& d) {
        for (const char* name : {"pontos.txt", "pontos_0.txt"}) {
            writeText(d.file(name), "");
            age(d.file(name), 10);
        }
    };
    struct Case {
        const char* what;
        Change change;
        const char* tool;
        const char* options;
        int status;
        const char* err;     // part of stderr; "" for none at all
        const char* output;  // written if and only if the tool succeeds; "" for none
    };
    const Case cases[] = {
        {"honest scan", none, "slscan-eval", "", 0, "", ""},
        {"honest cloud", none, "slscan-eval", "--cloud", 0, "", ""},
        {"honest preview", none, "slscan-preview", "", 0, "", "preview.png"},
        {"no scene.txt", [](const TempDir& d) { std::remove(d.file("scene.txt").c_str()); },
         "slscan-eval", "--cloud", 1, "/scene.txt\": only a scan rendered by slscan-render", ""},
        {"rendered over the scan", [](const TempDir& d) { age(d.file("scene.txt"), 30); },
         "slscan-eval", "", 1, "/pontos.txt\" is older than \"", ""},
        {"dates lost in a copy", [](const TempDir& d) { age(d.file("scene.txt"), 30); },
         "slscan-eval", "--ignore-dates", 0, "", ""},
        {"photographs newer than the points",
         [](const TempDir& d) { age(d.file("cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.bmp"), 30); },
         "slscan-cloud", "", 1, "run slscan in", ""},
        {"cloud older than the points", [](const TempDir& d) { age(d.file("cloud.ply"), 5); },
         "slscan-eval", "--cloud", 1, "/cloud.ply\" is older than \"", ""},
        {"preview of a stale cloud", [](const TempDir& d) { age(d.file("cloud.ply"), 5); },
         "slscan-preview", "", 0, "drawing pontos.txt instead", "preview.png"},
        {"interrupted scan", cutMidLine, "slscan-eval", "", 1, "the scan was interrupted; run slscan", ""},
        {"interrupted scan", cutMidLine, "slscan-preview", "", 1, "the scan was interrupted", "preview.png"},
        {"interrupted scan", cutMidLine, "slscan-cloud", "", 1, "the scan was interrupted", ""},
        {"no point at all", noPoints, "slscan-eval", "", 1, "holds no point", ""},
        {"no point at all", noPoints, "slscan-cloud", "--keep-all", 1, "holds no point", ""},
        {"no point at all", noPoints, "slscan-preview", "", 1, "holds no point", "preview.png"},
        {"no such folder", [](const TempDir& d) { std::filesystem::remove_all(d.path()); },
         "slscan-eval", "", 1, "no folder \"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ": " + c.tool + " " + c.options);
        TempDir dir;
        writeFinishedScan(dir);
        c.change(dir);
        const ToolRun run = runTool(c.tool, std::string(c.options) + " '" + dir.path() + "'");
        EXPECT_EQ(run.status, c.status) << run.err;
        if (*c.err == '\0') {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
        EXPECT_LE(lines(run.err), 1) << run.err;
        if (*c.output != '\0') {
            EXPECT_EQ(std::filesystem::exists(dir.file(c.output)), c.status == 0);
            if (c.status == 0) {  // the picture says which file it shows
                EXPECT_EQ(run.out.find("of cloud.ply") != std::string::npos, *c.err == '\0') << run.out;
            }
        }
    }
}

// Without a terminal the render's progress is one line per view.
TEST(ToolContract, ProgressInALogIsOneLinePerView) {
    TempDir dir;
    const ToolRun run = runTool("slscan-render", "--object sphere --aa 1 --size 16x768 '" + dir.path() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.err), 24);
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    EXPECT_NE(run.err.find("slscan-render: sphere, 24 of 24 views\n"), std::string::npos);
}

// slscan-model over several scan folders (one of them holding a link to
// another's photographs): each is run, with one summary line; one that
// cannot be used is named, left without anything written, and the
// others still run (status 1 for the fault in its data).
TEST(ToolContract, ModelRunsSeveralFoldersOneLineEach) {
    const std::string source = std::filesystem::path(__FILE__).parent_path().parent_path();
    const std::string model = "BUILD='" + std::filesystem::path(SLSCAN_EXE).parent_path().string() +
                              "' '" + source + "/tools/model.sh' ";
    TempDir scans, logs;
    ASSERT_EQ(renderScan("--object sphere --aa 1", scans.file("a")), 0);
    // b's photographs are a link to a's, as a scan kept once and modelled
    // from another folder.
    std::filesystem::create_directories(scans.file("b"));
    std::filesystem::copy_file(scans.file("a/scene.txt"), scans.file("b/scene.txt"));
    std::filesystem::create_directory_symlink(scans.file("a/cavalo"), scans.file("b/cavalo"));
    std::filesystem::create_directories(scans.file("jpeg/cavalo"));
    writeText(scans.file("jpeg/cavalo/Cavalo Positivo 1 Camera 1 Rotacao 000 Vertical.jpg"), "x");
    const int status = runCommand(model + "'" + scans.file("a") + "' '" + scans.file("jpeg") + "' '" +
                                  scans.file("b") + "/' > " + logs.file("out") + " 2> " + logs.file("err"));
    EXPECT_EQ(status, 1);
    const std::string out = readFile(logs.file("out")), err = readFile(logs.file("err"));
    EXPECT_EQ(lines(out), 2) << out;
    for (const char* name : {"a", "b"}) {
        EXPECT_NE(out.find("slscan-model: " + scans.file(name) + ": "), std::string::npos) << out;
        for (const char* file : {"cloud.ply", "preview.png", "model.log"})
            EXPECT_TRUE(std::filesystem::exists(scans.file(name) + "/model/" + file)) << name << file;
    }
    EXPECT_EQ(lines(err), 1) << err;
    EXPECT_NE(err.find("JPEG"), std::string::npos) << err;
    EXPECT_NE(err.find("mogrify"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(scans.file("jpeg/model")));
    // Alone, a refused folder is a usage error; -h answers.
    EXPECT_EQ(runCommand(model + "'" + scans.file("jpeg") + "' > /dev/null 2>&1"), 2);
    EXPECT_FALSE(std::filesystem::exists(scans.file("jpeg/model")));
    EXPECT_EQ(runCommand(model + "-h > " + logs.file("h")), 0);
    EXPECT_NE(readFile(logs.file("h")).find("SCAN_DIR..."), std::string::npos);
    EXPECT_EQ(runCommand(model + "--out x '" + scans.file("a") + "' '" + scans.file("b") + "' 2> /dev/null"), 2);
}

// A rig file that cannot be used is refused by every tool before anything is
// read or written: one line naming the file, status 2, as slscan refuses it;
// the same for a folder's own rig.json.
TEST(ToolContract, ABadRigFileIsRefusedByEveryTool) {
    TempDir dir, files;
    writeFinishedScan(dir);
    writeText(files.file("bad.json"), "{\"format\": \"slscan-rig 1\"");
    for (const char* tool : {"slscan-cloud", "slscan-eval", "slscan-preview", "slscan-mesh"}) {
        SCOPED_TRACE(tool);
        const ToolRun run = runTool(tool, "--rig '" + files.file("bad.json") + "' '" + dir.path() + "'");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("bad.json"), std::string::npos) << run.err;
        EXPECT_EQ(lines(run.err), 1) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("preview.png")));
    }
    writeText(dir.file("rig.json"), "[]");
    const ToolRun run = runTool("slscan-preview", "--ignore-dates '" + dir.path() + "'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(dir.file("rig.json")), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("preview.png")));
}
