// The rig file: what is written reads back as the same rig, and every kind of
// bad file is refused with one line naming the file and the key at fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/scan_options.h"
#include "geometry/rig_file.h"

namespace {

// A rig unlike the built-in one in every number.
Rig oddRig() {
    Rig rig = rigBuiltIn();
    rig.unit = "mm \"metric\"";
    rig.width = 640;
    rig.height = 480;
    rig.cameras[0].fx = 612.25;
    rig.cameras[0].fy = 615.0000000000001;
    rig.cameras[0].cx = 301.7;
    rig.cameras[0].cy = 250.1;
    rig.cameras[0].distortion[0] = -0.21;
    rig.cameras[0].distortion[3] = 1e-7;
    rig.cameras[0].rmsPx = 0.21;
    rig.cameras[1].centre = {-60.5, 41.25, 190.125};
    rig.turntable.axisPoint = {1.5, -3.25, 0.1};
    rig.turntable.axisDirection = normalized({0.05, 1, -0.02});
    rig.turntable.clockwise = true;
    rig.turntable.residual = 0.03;
    rig.halfRule = RigHalfRule::kEpipolar;
    return rig;
}

TEST(RigFile, RoundTripsBitForBit) {
    for (const Rig& rig : {rigBuiltIn(), oddRig()}) {
        Rig back;
        std::string error;
        ASSERT_TRUE(rigFileParse(rigFileFormat(rig), "r.json", &back, &error)) << error;
        EXPECT_TRUE(rigSameGeometry(rig, back));
        EXPECT_EQ(back.unit, rig.unit);
        EXPECT_EQ(back.cameras[0].rmsPx, rig.cameras[0].rmsPx);
        EXPECT_EQ(back.turntable.residual, rig.turntable.residual);
        EXPECT_EQ(rigFileFormat(back), rigFileFormat(rig));
    }
}

TEST(RigFile, BuiltInReadsAsWritten) {
    // The numbers of the built-in calibration as decimals a user would type.
    const std::string text = rigFileFormat(rigBuiltIn());
    EXPECT_NE(text.find("\"camera_matrix\": [927.0580085, 0.0, 512.0,"), std::string::npos);
    EXPECT_NE(text.find("\"centre\": [51.7638, 50.0, 200.0]"), std::string::npos);
    EXPECT_NE(text.find("\"horizontal_half\": \"middle_row\""), std::string::npos);
    // Its rotations are orthonormal to about 6e-7 only and still pass.
    Rig back;
    std::string error;
    EXPECT_TRUE(rigFileParse(text, "r.json", &back, &error)) << error;
}

TEST(RigFile, WithoutTurntableReadsAndSaysSo) {
    Rig rig = oddRig();
    rig.turntable.present = false;
    rig.projector.present = false;
    Rig back;
    std::string error;
    ASSERT_TRUE(rigFileParse(rigFileFormat(rig), "cams.json", &back, &error)) << error;
    EXPECT_FALSE(back.turntable.present);
    EXPECT_FALSE(back.projector.present);
    EXPECT_EQ(rigMissingTurntableMessage("cams.json").rfind("cams.json: \"turntable\": missing", 0), 0u);
}

// Replaces the first `from` in the built-in rig's text by `to`.
std::string edited(const std::string& from, const std::string& to) {
    std::string text = rigFileFormat(rigBuiltIn());
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(RigFile, BadFilesNameTheKey) {
    const std::string matrix = "[927.0580085, 0.0, 512.0,\n                        0.0, 927.0580085, 383.0,";
    const struct {
        std::string text;
        std::string error;  // the whole line after "r.json: ", or how it starts
    } cases[] = {
        {"", "not JSON: "},
        {"{\"format\": ", "not JSON: "},
        {"[1, 2]", "must hold one JSON object { ... }"},
        {edited("  \"unit\": \"unit\",\n", ""), "\"unit\": missing"},
        {edited("\"unit\"", "\"units\""), "\"unit\": missing"},
        {edited("\"format\"", "\"colour\": 1, \"format\""), "\"colour\": unknown key"},
        {edited("\"sense\"", "\"speed\": 2, \"sense\""), "\"turntable.speed\": unknown key"},
        {edited("\"format\": \"slscan-rig 1\"", "\"format\": \"slscan-rig 2\""),
         "\"format\": must be \"slscan-rig 1\", not \"slscan-rig 2\""},
        {edited("\"image_width\": 1024", "\"image_width\": \"1024\""),
         "\"image_width\": must be a whole number of pixels"},
        {edited("\"image_width\": 1024", "\"image_width\": 1024.5"),
         "\"image_width\": must be a whole number of pixels"},
        {edited("\"image_height\": 768", "\"image_height\": 0"),
         "\"image_height\": must be positive, not 0"},
        {edited("\"image_height\": 768", "\"image_height\": -768"),
         "\"image_height\": must be positive, not -768"},
        {edited("\"image_height\": 768", "\"image_height\": 4294967296"),
         "\"image_height\": must be at most 100000"},
        {edited("\"opencv\"", "\"bmp\""), "\"pixel_convention\": must be \"opencv\", not \"bmp\""},
        {edited(matrix, "[0.0, 0.0, 512.0,\n 0.0, 927.0580085, 383.0,"),
         "\"cameras[0].camera_matrix\": focal length fx must be positive, not 0.0"},
        {edited(matrix, "[927.0580085, 0.0, 512.0,\n 0.0, -927.0580085, 383.0,"),
         "\"cameras[0].camera_matrix\": focal length fy must be positive, not -927.0580085"},
        {edited(matrix, "[927.0580085, 0.5, 512.0,\n 0.0, 927.0580085, 383.0,"),
         "\"cameras[0].camera_matrix\": must read fx, 0, cx, 0, fy, cy, 0, 0, 1 (no skew)"},
        {edited("[0.0, 0.0, 0.0, 0.0, 0.0]", "[0.0, 0.0, 0.0, 0.0]"),
         "\"cameras[0].distortion\": must be an array of 5 numbers [k1, k2, p1, p2, k3]"},
        {edited("[0.0, 0.0, 0.0, 0.0, 0.0]", "[0.0, 0.0, 0.0, 1e999, 0.0]"),
         "\"cameras[0].distortion\": item 4 is not a finite number"},
        {edited("[0.0, 0.0, 0.0, 0.0, 0.0]", "[0.0, 0.0, 0.0, null, 0.0]"),
         "\"cameras[0].distortion\": must be an array of numbers; item 4 is not a number"},
        {edited("0.0698833, -0.960319", "0.0698833, -0.96032"),
         "\"cameras[0].rotation\": not orthonormal within 1e-06 (worst entry of R R^T - I is 2.5e-06)"},
        {edited("[0.9681, 0.0, -0.250563,", "[-0.9681, 0.0, 0.250563,"),
         "\"cameras[0].rotation\": a reflection (determinant -1), not a rotation"},
        {edited("\"centre\": [-51.7638, 50.0, 200.0]", "\"centre\": [-51.7638, 50.0]"),
         "\"cameras[1].centre\": must be an array of 3 numbers [x, y, z]"},
        {edited("\"axis_direction\": [0.0, 1.0, 0.0]", "\"axis_direction\": [0.0, 0.0, 0.0]"),
         "\"turntable.axis_direction\": has length 0"},
        {edited("\"counterclockwise\"", "\"left\""),
         "\"turntable.sense\": must be \"counterclockwise\" or \"clockwise\", not \"left\""},
        {edited("\"turntable\": {\n    \"axis_point\": [0.0, 0.0, 0.0],\n    \"axis_direction\": [0.0, 1.0, 0.0],\n    \"sense\": \"counterclockwise\"\n  }",
                "\"turntable\": 3"),
         "\"turntable\": must be an object { ... }"},
        {edited("\"axis_point\": [0.0, 0.0, 0.0]", "\"axis_point\": [0.0, -1e400, 0.0]"),
         "\"turntable.axis_point\": item 2 is not a finite number"},
        {edited("\"middle_row\"", "\"row\""),
         "\"horizontal_half\": must be \"epipolar\" or \"middle_row\", not \"row\""},
        {edited("\"image_width\": 1024,\n    \"image_height\": 768,\n    \"camera",
                "\"image_width\": 0,\n    \"image_height\": 768,\n    \"camera"),
         "\"projector.image_width\": must be positive, not 0"},
    };
    for (const auto& c : cases) {
        Rig rig;
        std::string error;
        EXPECT_FALSE(rigFileParse(c.text, "r.json", &rig, &error)) << c.error;
        EXPECT_EQ(error.rfind("r.json: " + c.error, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(RigFile, ReadRefusesWhatIsNotARigFile) {
    Rig rig;
    std::string error;
    EXPECT_FALSE(rigFileRead("/nonexistent/r.json", &rig, &error));
    EXPECT_EQ(error, "/nonexistent/r.json: cannot read: No such file or directory");
    EXPECT_FALSE(rigFileRead("/tmp", &rig, &error));
    EXPECT_EQ(error, "/tmp: cannot read: not a regular file");
}

TEST(RigFile, WriteThenReadAndTheFolderRule) {
    char dir[] = "/tmp/rigfileXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/rig.json";
    Rig rig;
    std::string source, error;
    // No file beside the scan: the built-in rig.
    ASSERT_TRUE(rigForFolder(dir, "", &rig, &source, &error));
    EXPECT_EQ(source, "the built-in rig");
    ASSERT_TRUE(rigFileWrite(path, oddRig(), &error)) << error;
    ASSERT_TRUE(rigForFolder(dir, "", &rig, &source, &error)) << error;
    EXPECT_EQ(source, path);
    EXPECT_TRUE(rigSameGeometry(rig, oddRig()));
    // The option wins over the file beside the scan.
    EXPECT_FALSE(rigForFolder(dir, std::string(dir) + "/other.json", &rig, &source, &error));
    EXPECT_EQ(error.rfind(std::string(dir) + "/other.json: cannot read", 0), 0u);
    EXPECT_FALSE(rigFileWrite(std::string(dir) + "/no/such/rig.json", oddRig(), &error));
    std::remove(path.c_str());
    rmdir(dir);
}

TEST(ScanOptions, ParsesAndRefuses) {
    ScanOptions o;
    std::string error;
    const char* args[] = {"slscan", "--rig", "r.json", "--angles=90,0,45", "--print-rig", "--dense",
                          "stray"};
    ASSERT_TRUE(scanOptionsParse(7, args, &o, &error)) << error;
    EXPECT_EQ(o.rigPath, "r.json");
    EXPECT_EQ(o.angles, (std::vector<int>{0, 45, 90}));
    EXPECT_TRUE(o.printRig && o.dense && !o.fill);
    EXPECT_EQ(o.ignored, std::vector<std::string>{"stray"});
    const struct {
        std::vector<const char*> args;
        const char* error;
    } bad[] = {
        {{"slscan", "--rig"}, "--rig needs a value (see slscan --help)"},
        {{"slscan", "--rig="}, "--rig needs a value (see slscan --help)"},
        {{"slscan", "--angles", "0,360"},
         "--angles \"0,360\": \"360\" is not a whole number of degrees from 0 to 359 (e.g. --angles 0,45,90)"},
        {{"slscan", "--angles", "0,,90"},
         "--angles \"0,,90\": \"\" is not a whole number of degrees from 0 to 359 (e.g. --angles 0,45,90)"},
        {{"slscan", "--angles", "-0"},
         "--angles \"-0\": \"-0\" is not a whole number of degrees from 0 to 359 (e.g. --angles 0,45,90)"},
        {{"slscan", "--angles", "45,0,45"}, "--angles \"45,0,45\": angle 45 given twice"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(scanOptionsParse(static_cast<int>(b.args.size()), b.args.data(), &o, &error));
        EXPECT_EQ(error, b.error);
    }
}

}  // namespace
