// slscan-render: writes the photographs of a synthetic scan with known truth
// into DIR/cavalo, and its description into DIR/scene.txt. The command line
// only: the render itself is renderRun (render/render_run.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/cli_app.h"
#include "driver/scan_options.h"
#include "geometry/rig_file.h"
#include "render/calibration_render.h"
#include "render/render_run.h"

int main(int argc, char** argv) {
    CLI::App app{"Renders the photographs of a synthetic scan with known truth into DIR/cavalo (192 "
                 "for the built-in rig's twelve angles), the rig into DIR/rig.json (--rig), and the "
                 "description into DIR/scene.txt (written last: a scan cut short is never taken for "
                 "whole).",
                 "slscan-render"};
    cliSetUp(&app);
    RenderRun run;
    RenderOptions& options = run.render;
    int& threads = run.threads;
    threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    bool& reuse = run.reuse;
    std::string& dir = run.dir;
    std::string size, rigPath, angleList;
    app.add_option("--object", options.object, "horse (default), sphere, board or spheres (two apart)")
        ->type_name("NAME")
        ->check(CLI::Validator(
            [](std::string& name) -> std::string {
                SceneObject object;
                return sceneMakeObject(name, &object)
                           ? ""
                           : std::string("must be one of ") + kSceneObjects + ", got \"" + name + "\"";
            },
            ""));
    app.add_option("--aa", options.antialias,
                   "N x N subsamples a pixel, 1 turns anti-aliasing off (default 2)")
        ->type_name("N")->check(cliWhole(1, 8));
    app.add_option("--noise", options.noise, "Gaussian sensor noise in byte units (default 0)")
        ->type_name("SIGMA")->check(cliNumber(0, HUGE_VAL));
    app.add_option("--black", options.black,
                   "Black level in byte units, under the noise (default 0: noise clipped at black)")
        ->type_name("B")->check(cliNumber(0, 255));
    app.add_option("--blur", options.blur, "Optics blur, a Gaussian spot of S pixels (default 0)")
        ->type_name("S")->check(cliNumber(0, 20));
    app.add_flag("--texture", options.texture, "A varying albedo");
    app.add_option("--ambient", options.ambient, "Ambient light (default 0.05)")
        ->type_name("A")->check(cliNumber(0, 1));
    app.add_option("--seed", options.seed, "Noise seed (default 1)")
        ->type_name("S")->check(cliWhole(0, 4294967295LL));
    app.add_option("--size", size,
                   "Picture size in pixels, cut from the rig's 1024x768 at its first stored row and "
                   "column (default 1024x768); slscan files crossings by the half of the picture's "
                   "rows they lie in, so keep 768 rows")
        ->type_name("WxH")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                int w = 0, h = 0;
                char tail = 0;
                if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) == 2 && w >= 1 && h >= 1 &&
                    w <= 20000 && h <= 20000)
                    return "";
                return "must be WxH, each from 1 to 20000, got \"" + text + "\"";
            },
            ""));
    app.add_option("--threads", threads, "Threads (default: all cores)")
        ->type_name("T")->check(cliWhole(1, 256));
    app.add_flag("--reuse", reuse, "Keep DIR as it is when it already holds this very scan");
    // The effects of real cameras and projectors (render.h), all off by default.
    RenderEffects& fx = options.effects;
    double bayer = 0;
    std::vector<double> matrix, balance;
    app.add_option("--crosstalk", bayer, "Colour crosstalk X between projector primaries and camera "
                   "channels, unequal as a Bayer filter leaks (the matrix I + X W, W fixed)")
        ->type_name("X")->check(cliNumber(0, 1));
    app.add_option("--crosstalk-matrix", matrix, "The whole crosstalk matrix, row by row (rows: camera channels)")
        ->type_name("m00,...,m22")->delimiter(',')->expected(9)->check(cliNumber(0, 10));
    app.add_option("--gamma", fx.gamma, "The camera encodes light^(1/G) (default 1)")
        ->type_name("G")->check(cliNumber(0.1, 10));
    app.add_option("--projector-black", fx.projectorBlack, "Light of a dark primary, a share of a lit one")
        ->type_name("B")->check(cliNumber(0, 1));
    app.add_option("--vignetting", fx.vignetting, "Gain in the picture's corners (default 1)")
        ->type_name("V")->check(cliNumber(0.01, 1));
    app.add_option("--white-balance", balance, "Channel gains (default 1,1,1)")
        ->type_name("R,G,B")->delimiter(',')->expected(3)->check(cliNumber(0.01, 10));
    app.add_option("--exposure", fx.exposure, "Exposure gain; light above white clips (default 1)")
        ->type_name("E")->check(cliNumber(0.01, 100));
    app.add_option("--specular", fx.specular, "Strength of the projector's highlights (default 0)")
        ->type_name("K")->check(cliNumber(0, 10));
    app.add_option("--rig", rigPath,
                   "Render with this rig file's cameras, lenses, picture size, turntable and "
                   "projector (the README's \"The rig file\"); without a \"projector\" the built-in one is used, moved "
                   "between the cameras and aimed at the turntable")
        ->type_name("FILE");
    app.add_option("--angles", angleList,
                   "Turntable angles to photograph, whole degrees (default 0,30,...,330)")
        ->type_name("LIST");
    bool calibration = false;
    app.add_flag("--calibration", calibration,
                 "Instead of a scan, render into DIR the calibration photographs of the rig "
                 "(--rig, else the built-in one) for slscan-calibrate: a 9x6 board of 8-unit "
                 "squares in 15 poses, and upright on the turntable at 315 to 045 degrees "
                 "(the README's calibration protocol)");
    app.add_option("DIR", dir, "The folder to render into")->required()->type_name("");
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;
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
        if (app.count("--aa") > 0) photographs.antialias = options.antialias;
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
    if (!angleList.empty() && !scanParseAngles(angleList, &run.angles, &error)) {
        std::fprintf(stderr, "slscan-render: %s\n", error.c_str());
        return 2;
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
    if (!size.empty()) std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height);
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
