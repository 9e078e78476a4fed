// slscan-render: writes the photographs of a synthetic scan with known truth
// into DIR/cavalo, and its description into DIR/scene.txt. The command line
// only: the render itself is renderRun (render/render_run.h).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/cli.h"
#include "common/tool_threads.h"
#include "driver/scan_options.h"
#include "geometry/rig_file.h"
#include "render/calibration_render.h"
#include "render/render_args.h"
#include "render/render_run.h"

int main(int argc, char** argv) {
    CliPtr cli = cliMake(
        "slscan-render",
        "Renders the photographs of a synthetic scan with known truth into DIR/cavalo (192 for the "
        "built-in rig's twelve angles), the rig into DIR/rig.json (--rig), and the description "
        "into DIR/scene.txt (written last: a scan cut short is never taken for whole).");
    CliCommand* app = cli.get();
    RenderRun run;
    RenderOptions& options = run.render;
    run.threads = 0;  // shown as "all cores"; set below when not given
    std::string& dir = run.dir;
    std::string size, rigPath, angleList, seedText = std::to_string(options.seed);
    cliText(app, "--object", &options.object, "NAME",
            "horse, sphere, board, spheres (two apart) or vase",
            [](const std::string& name) -> std::string {
                SceneObject object;
                return sceneMakeObject(name, &object)
                           ? ""
                           : std::string("must be one of ") + kSceneObjects + ", got \"" + name + "\"";
            });
    cliWhole(app, "--aa", &options.antialias, 1, 8, "N",
             "N x N subsamples a pixel, 1 turns anti-aliasing off");
    cliNumber(app, "--noise", &options.noise, 0, HUGE_VAL, "SIGMA",
              "Gaussian sensor noise in byte units");
    cliNumber(app, "--black", &options.black, 0, 255, "B",
              "Black level in byte units, under the noise (0: noise clipped at black)");
    cliNumber(app, "--blur", &options.blur, 0, 20, "S",
              "Optics blur, a Gaussian spot of S pixels");
    cliFlag(app, "--texture", &options.texture, "A varying albedo");
    cliNumber(app, "--ambient", &options.ambient, 0, 1, "A", "Ambient light");
    uint32_t seed = options.seed;
    cliText(app, "--seed", &seedText, "S", "Noise seed",
            [&seed](const std::string& text) { return renderParseSeed(text, &seed); });
    int width = options.width, height = options.height;
    cliText(app, "--size", &size, "WxH",
            "Picture size in pixels, cut from the rig's 1024x768 at its first stored row and "
            "column (default 1024x768); slscan files crossings by the half of the picture's "
            "rows they lie in, so keep 768 rows",
            [&width, &height](const std::string& text) {
                return renderParseSize(text, &width, &height);
            });
    cliWhole(app, "--threads", &run.threads, 1, 256, "T", "Threads", "all cores");
    cliFlag(app, "--reuse", &run.reuse, "Keep DIR as it is when it already holds this very scan");
    // The effects of real cameras and projectors (render.h), all off by default.
    RenderEffects& fx = options.effects;
    double bayer = 0;
    std::vector<double> matrix, balance;
    std::string matrixText, balanceText;
    cliNumber(app, "--crosstalk", &bayer, 0, 1, "X",
              "Colour crosstalk X between projector primaries and camera channels, unequal as a "
              "Bayer filter leaks (the matrix I + X W, W fixed)");
    cliText(app, "--crosstalk-matrix", &matrixText, "m00,...,m22",
            "The whole crosstalk matrix, row by row (rows: camera channels)",
            [&matrix](const std::string& text) { return renderParseNumbers(text, 9, 0, 10, &matrix); });
    cliNumber(app, "--gamma", &fx.gamma, 0.1, 10, "G", "The camera encodes light^(1/G)");
    cliNumber(app, "--projector-black", &fx.projectorBlack, 0, 1, "B",
              "Light of a dark primary, a share of a lit one");
    cliNumber(app, "--vignetting", &fx.vignetting, 0.01, 1, "V", "Gain in the picture's corners");
    cliText(app, "--white-balance", &balanceText, "R,G,B", "Channel gains (default 1,1,1)",
            [&balance](const std::string& text) {
                return renderParseNumbers(text, 3, 0.01, 10, &balance);
            });
    cliNumber(app, "--exposure", &fx.exposure, 0.01, 100, "E",
              "Exposure gain; light above white clips");
    cliNumber(app, "--specular", &fx.specular, 0, 10, "K", "Strength of the projector's highlights");
    cliText(app, "--rig", &rigPath, "FILE",
            "Render with this rig file's cameras, lenses, picture size, turntable and "
            "projector (the README's \"The rig file\"); without a \"projector\" the built-in one is "
            "used, moved between the cameras and aimed at the turntable");
    cliText(app, "--angles", &angleList, "LIST",
            "Turntable angles to photograph, whole degrees (default 0,30,...,330)",
            [&run](const std::string& text) { return renderParseAngles(text, &run.angles); });
    bool calibration = false;
    cliFlag(app, "--calibration", &calibration,
            "Instead of a scan, render into DIR the calibration photographs of the rig "
            "(--rig, else the built-in one) for slscan-calibrate: a 9x6 board of 8-unit "
            "squares in 15 poses, and upright on the turntable at 315 to 045 degrees "
            "(the README's calibration protocol)");
    cliArgument(app, "DIR", &dir, "The folder to render into");
    if (const int status = cliParse(app, argc, argv); status >= 0) return status;
    if (run.threads == 0)
        run.threads = toolThreads();
    options.seed = seed;
    std::string error;
    if (calibration) {
        Rig rig = rigBuiltIn();
        if (!rigPath.empty() && !rigFileRead(rigPath, &rig, &error)) {
            std::fprintf(stderr, "slscan-render: %s\n", error.c_str());
            return 2;
        }
        CalibrationRenderOptions photographs;
        photographs.noise = options.noise;
        photographs.seed = options.seed;
        if (cliGiven(app, "--aa")) photographs.antialias = options.antialias;
        if (!rig.turntable.present) photographs.turntableAngles.clear();
        if (!renderCalibration(rig, photographs, dir, &error)) {
            std::fprintf(stderr, "slscan-render: %s: %s\n", dir.c_str(), error.c_str());
            return 1;
        }
        std::printf("slscan-render: the calibration photographs in %s (slscan-calibrate --board "
                    "%dx%d --square %g --corner-height %g %s)\n",
                    dir.c_str(), photographs.columns, photographs.rows, photographs.square,
                    renderCalibrationCornerHeight(photographs), dir.c_str());
        return 0;
    }
    if (!rigPath.empty()) {
        if (!size.empty()) {
            std::fprintf(stderr, "slscan-render: --size and --rig: the rig file sets the picture "
                                 "size; give one of them\n");
            return 2;
        }
        if (!rigFileRead(rigPath, &options.rig, &error)) {
            std::fprintf(stderr, "slscan-render: %s\n", error.c_str());
            return 2;
        }
        if (!options.rig.turntable.present) {
            std::fprintf(stderr, "slscan-render: %s\n", rigMissingTurntableMessage(rigPath).c_str());
            return 2;
        }
        if (!options.rig.projector.present) rigPlaceProjector(&options.rig);
        options.width = options.rig.width;
        options.height = options.rig.height;
    }
    if (!size.empty()) {
        options.width = width;
        options.height = height;
    }
    if (bayer > 0) renderBayerCrosstalk(bayer, &fx);
    if (matrix.size() == 9) std::copy(matrix.begin(), matrix.end(), fx.crosstalk);
    if (balance.size() == 3) std::copy(balance.begin(), balance.end(), fx.whiteBalance);

    const RenderReport report = renderRun(run);
    if (report.status != 0) {
        std::fprintf(stderr, "slscan-render: %s\n", report.error.c_str());
        return report.status;
    }
    if (report.reused) {
        std::printf("slscan-render: %s already holds this scan; reused.\n", dir.c_str());
        return 0;
    }
    std::printf("slscan-render: %d photographs of the %s in %s/cavalo (%.1f s)\n", report.photographs,
                options.object.c_str(), dir.c_str(), report.seconds);
    return 0;
}
