// slscan-render: writes the 192 photographs of a synthetic scan with known
// truth into DIR/cavalo, and its description into DIR/scene.txt.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/cli_app.h"
#include "common/progress.h"
#include "driver/scan.h"
#include "image/bmp_write.h"
#include "render/render.h"
#include "render/scene_file.h"

namespace {

bool allPhotographsExist(const std::string& dir) {
    struct stat st;
    for (int angle = 0; angle <= 330; angle += 30)
        for (int camera = 1; camera <= 2; ++camera)
            for (int read = 1; read <= 8; ++read)
                if (stat((dir + "/" + scanPhotographPath(read, camera, angle)).c_str(), &st) != 0)
                    return false;
    return true;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Renders the 192 photographs of a synthetic scan with known truth into DIR/cavalo, "
                 "and its description into DIR/scene.txt (written last: a scan cut short is never "
                 "taken for whole).",
                 "slscan-render"};
    cliSetUp(&app);
    RenderOptions options;
    int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    bool reuse = false;
    std::string dir, size;
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
    app.add_option("DIR", dir, "The folder to render into")->required()->type_name("");
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;
    if (!size.empty()) std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height);
    if (bayer > 0) renderBayerCrosstalk(bayer, &fx);
    if (matrix.size() == 9) std::copy(matrix.begin(), matrix.end(), fx.crosstalk);
    if (balance.size() == 3) std::copy(balance.begin(), balance.end(), fx.whiteBalance);
    SceneObject object;
    sceneMakeObject(options.object, &object);

    const std::string description = renderDescription(options);
    const std::string descriptionPath = dir + "/scene.txt";
    if (reuse && readText(descriptionPath) == description && allPhotographsExist(dir)) {
        std::printf("slscan-render: %s already holds this scan; reused.\n", dir.c_str());
        return 0;
    }
    mkdir(dir.c_str(), 0755);
    const std::string photos = dir + "/cavalo";
    if (mkdir(photos.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "slscan-render: cannot create \"%s\": %s\n", photos.c_str(),
                     std::strerror(errno));
        return 1;
    }
    // The description goes last: a scan cut short is never taken for whole.
    std::remove(descriptionPath.c_str());

    const auto start = std::chrono::steady_clock::now();
    int done = 0;
    for (int angle = 0; angle <= 330; angle += 30) {
        for (int camera = 1; camera <= 2; ++camera) {
            Image* images[8];
            renderView(object, options, camera, angle, threads, images);
            bool ok = true;
            for (int read = 1; read <= 8; ++read) {
                const std::string path = dir + "/" + scanPhotographPath(read, camera, angle);
                ok = ok && imgWriteBMP(path.c_str(), images[read - 1]);
                imgDestroy(images[read - 1]);
            }
            if (!ok) {
                std::fprintf(stderr, "slscan-render: cannot write the photographs of angle %d, camera %d "
                             "into \"%s\"\n", angle, camera, photos.c_str());
                return 1;
            }
            ++done;
            progressShow("slscan-render", options.object + ", " + std::to_string(done) + " of 24 views",
                         done == 24);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string error;
    if (!sceneFileWrite(dir, options, &error)) {
        std::fprintf(stderr, "slscan-render: %s\n", error.c_str());
        return 1;
    }
    std::printf("slscan-render: 192 photographs of the %s in %s/cavalo (%.1f s)\n",
                options.object.c_str(), dir.c_str(), seconds);
    return 0;
}
