// slscan-mask: masks the pixels of a scan's photographs that carry no stripe
// signal, so that the scanner, run on the result, decodes the stripes and
// not the sensor noise around them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "mask/mask_run.h"

namespace {

const char kUsage[] =
    "usage: slscan-mask [--threshold T] [--threads N] [--no-condition] [--quiet] SCAN_DIR OUT_DIR\n"
    "  Writes OUT_DIR/cavalo: the photographs of SCAN_DIR/cavalo with every pixel whose\n"
    "  contrast (the smallest over the view's four exposure pairs of the largest channel\n"
    "  of |positive - negative|, in bytes) is below the threshold set equal in its positive\n"
    "  and negative exposures, then conditions the rest so that the scanner sees the\n"
    "  colours the projector sent: clipped highlights are masked, the camera's colour\n"
    "  crosstalk is undone and pattern-2 switches one pixel early are moved onto\n"
    "  pattern 1's. Then run slscan in OUT_DIR.\n"
    "  --no-condition  the contrast mask alone\n"
    "  --threshold T   0 to 256 for every view (default: chosen per view)\n"
    "  --threads N     views masked at once (default: all cores)\n"
    "  --quiet         no progress on stderr\n";

bool intArg(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    MaskOptions options;
    options.threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::string dirs[2];
    int dirCount = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool ok = true;
        if (a == "--threshold" || a == "--threads") {
            ok = i + 1 < argc;
            if (ok) a += " " + std::string(argv[++i]);  // named whole when bad
            ok = ok && (a.rfind("--threshold", 0) == 0
                            ? intArg(argv[i], 0, 256, &options.threshold)
                            : intArg(argv[i], 1, 64, &options.threads));
        } else if (a == "--no-condition") {
            options.condition = false;  // the contrast mask alone
        } else if (a == "--quiet") {
            options.progress = false;
        } else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!a.empty() && a[0] != '-' && dirCount < 2) {
            dirs[dirCount++] = a;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "slscan-mask: bad argument \"%s\"\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (dirCount != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    MaskRunReport report;
    const int status = maskRun(dirs[0], dirs[1], options, &report);
    if (status == 2) return status;
    std::fputs(maskReportText(report).c_str(), stdout);
    if (status != 0)
        std::fprintf(stderr, "slscan-mask: %d fault(s); see the lines above\n", report.faults);
    return status;
}
