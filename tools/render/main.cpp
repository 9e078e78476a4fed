// slscan-render: writes the 192 photographs of a synthetic scan with known
// truth into DIR/cavalo, and its description into DIR/scene.txt.
#include <sys/stat.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "driver/scan.h"
#include "image/bmp_write.h"
#include "render/render.h"

namespace {

const char kUsage[] =
    "usage: slscan-render [options] DIR\n"
    "  --object NAME   horse (default), sphere or board\n"
    "  --aa N          N x N subsamples a pixel, 1 turns anti-aliasing off (default 2)\n"
    "  --noise SIGMA   Gaussian sensor noise in byte units (default 0)\n"
    "  --black B       black level in byte units, under the noise (default 0: noise clipped at black)\n"
    "  --blur S        optics blur, a Gaussian spot of S pixels (default 0)\n"
    "  --texture       a varying albedo\n"
    "  --ambient A     ambient light (default 0.05)\n"
    "  --seed S        noise seed (default 1)\n"
    "  --size WxH      picture size in pixels, cut from the rig's 1024x768 at its first\n"
    "                  stored row and column (default 1024x768); slscan files crossings\n"
    "                  by the half of the picture's rows they lie in, so keep 768 rows\n"
    "  --threads T     threads (default: all cores)\n"
    "  --reuse         keep DIR as it is when it already holds this very scan\n";

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

bool numberArg(int argc, char** argv, int* i, double* out) {
    if (*i + 1 >= argc) return false;
    char* end = nullptr;
    *out = std::strtod(argv[++*i], &end);
    return end != argv[*i] && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    int threads = static_cast<int>(std::thread::hardware_concurrency());
    bool reuse = false;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        double v = 0;
        bool ok = true;
        if (const int effect = renderEffectOption(argc, argv, &i, &options.effects)) {
            ok = effect > 0;  // the camera and projector effects, render.h
        } else if (a == "--object" && i + 1 < argc) {
            options.object = argv[++i];
        } else if (a == "--aa") {
            ok = numberArg(argc, argv, &i, &v) && v >= 1 && v <= 8;
            options.antialias = static_cast<int>(v);
        } else if (a == "--noise") {
            ok = numberArg(argc, argv, &i, &v) && v >= 0;
            options.noise = v;
        } else if (a == "--black") {
            ok = numberArg(argc, argv, &i, &v) && v >= 0 && v <= 255;
            options.black = v;
        } else if (a == "--blur") {
            ok = numberArg(argc, argv, &i, &v) && v >= 0 && v <= 20;
            options.blur = v;
        } else if (a == "--ambient") {
            ok = numberArg(argc, argv, &i, &v) && v >= 0 && v <= 1;
            options.ambient = v;
        } else if (a == "--seed") {
            ok = numberArg(argc, argv, &i, &v) && v >= 0;
            options.seed = static_cast<uint32_t>(v);
        } else if (a == "--threads") {
            ok = numberArg(argc, argv, &i, &v) && v >= 1 && v <= 256;
            threads = static_cast<int>(v);
        } else if (a == "--size" && i + 1 < argc) {
            int w = 0, h = 0;
            char tail = 0;
            ok = std::sscanf(argv[++i], "%dx%d%c", &w, &h, &tail) == 2 && w >= 1 && h >= 1 &&
                 w <= 20000 && h <= 20000;
            options.width = w;
            options.height = h;
        } else if (a == "--texture") {
            options.texture = true;
        } else if (a == "--reuse") {
            reuse = true;
        } else if (a == "-h" || a == "--help") {
            std::printf("%s%s", kUsage, kRenderEffectsUsage);
            return 0;
        } else if (!a.empty() && a[0] != '-' && dir.empty()) {
            dir = a;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "slscan-render: bad option \"%s\"\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (dir.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (threads < 1) threads = 1;
    SceneObject object;
    if (!sceneMakeObject(options.object, &object)) {
        std::fprintf(stderr, "slscan-render: unknown object \"%s\" (one of %s)\n",
                     options.object.c_str(), kSceneObjects);
        return 2;
    }

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
            if (!ok) return 1;
            ++done;
            std::fprintf(stderr, "\rslscan-render: %s, %d of 24 views", options.object.c_str(), done);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "\n");
    std::ofstream out(descriptionPath);
    out << description;
    out.close();
    if (!out) {
        std::fprintf(stderr, "slscan-render: cannot write \"%s\"\n", descriptionPath.c_str());
        return 1;
    }
    std::printf("slscan-render: 192 photographs of the %s in %s/cavalo (%.1f s)\n",
                options.object.c_str(), dir.c_str(), seconds);
    return 0;
}
