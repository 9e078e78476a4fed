// slscan-mask: masks the pixels of a scan's photographs that carry no stripe
// signal, so that the scanner, run on the result, decodes the stripes and
// not the sensor noise around them.
#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "common/cli.h"
#include "mask/mask_run.h"

int main(int argc, char** argv) {
    CLI::App app{"Writes OUT_DIR/cavalo: the photographs of SCAN_DIR/cavalo with every pixel whose "
                 "contrast (the smallest over the view's four exposure pairs of the largest channel "
                 "of |positive - negative|, in bytes) is below the threshold set equal in its "
                 "positive and negative exposures, and conditions the rest so that the scanner sees "
                 "the colours the projector sent: clipped highlights are masked, the camera's colour "
                 "crosstalk is undone, boundaries across a masked pixel are kept, pattern-2 switches "
                 "one pixel early are moved onto pattern 1's and stale changes are let go. "
                 "SCAN_DIR/scene.txt, when there is one, is carried along. Then run slscan in OUT_DIR.",
                 "slscan-mask"};
    cliSetUp(&app);
    MaskOptions options;
    options.threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    bool quiet = false, plain = false;
    std::string scanDir, outDir;
    app.add_option("--threshold", options.threshold, "0 to 256 for every view (default: chosen per view)")
        ->type_name("T")->check(cliWhole(0, 256));
    app.add_option("--threads", options.threads, "Views masked at once (default: all cores)")
        ->type_name("N")->check(cliWhole(1, 64));
    app.add_flag("--no-condition", plain, "The contrast mask alone");
    app.add_flag("--quiet", quiet, "No progress on stderr");
    app.add_option("SCAN_DIR", scanDir, "The scan's folder, with its photographs in cavalo/")
        ->required()->type_name("");
    app.add_option("OUT_DIR", outDir, "The folder for the masked scan")->required()->type_name("");
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;
    options.progress = !quiet;
    options.condition = !plain;

    MaskRunReport report;
    const int status = maskRun(scanDir, outDir, options, &report);
    if (status == 2) return status;
    std::fputs(maskReportText(report).c_str(), stdout);
    if (status != 0)
        std::fprintf(stderr, "slscan-mask: %d fault(s); see the lines above\n", report.faults);
    return status;
}
