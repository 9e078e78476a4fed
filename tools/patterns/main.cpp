// slscan-patterns: writes the pictures a projector shows for a scan, as PNG
// files of the projector's resolution (patterns.h); the README tells how to
// show them and in which order to photograph them.
#include <cstdio>
#include <string>

#include "common/cli.h"
#include "patterns/patterns.h"

namespace {

// "WxH" with each side from 1 to 20000.
bool parseSize(const std::string& text, int* w, int* h) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", w, h, &tail) == 2 && *w >= 1 && *h >= 1 &&
           *w <= 20000 && *h <= 20000;
}

}  // namespace

int main(int argc, char** argv) {
    std::string size = "1024x768", dir;
    CliPtr cli = cliMake(
        "slscan-patterns",
        "Writes into OUT_DIR the ten pictures the projector shows for a scan, as PNG files of the "
        "projector's resolution: the eight stripe pictures, numbered in the order of showing and "
        "named after the photographs they give (\"1 Positivo 1 Vertical.png\" gives \"Cavalo "
        "Positivo 1 Camera N Rotacao AAA Vertical.bmp\"), then a full white and a full black one.");
    cliText(cli.get(), "--size", &size, "WxH", "The projector's resolution in pixels",
            [](const std::string& text) {
                int w = 0, h = 0;
                return parseSize(text, &w, &h)
                           ? std::string()
                           : "must be WxH, each from 1 to 20000, got \"" + text + "\"";
            });
    cliArgument(cli.get(), "OUT_DIR", &dir, "The folder to write the pictures into");
    if (const int status = cliParse(cli.get(), argc, argv); status >= 0) return status;
    int w = 0, h = 0;
    parseSize(size, &w, &h);
    std::string error;
    if (!patternWriteAll(dir, w, h, &error)) {
        std::fprintf(stderr, "slscan-patterns: %s\n", error.c_str());
        return 1;
    }
    std::printf("slscan-patterns: 10 pictures of %d x %d pixels in %s\n", w, h, dir.c_str());
    return 0;
}
