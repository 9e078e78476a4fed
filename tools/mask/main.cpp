// slscan-mask: masks the pixels of a scan's photographs that carry no stripe
// signal, so that the scanner, run on the result, decodes the stripes and
// not the sensor noise around them (mask_run.h).
#include <cstdio>
#include <string>

#include "common/cli.h"
#include "common/tool_rig.h"
#include "mask/mask_run.h"

int main(int argc, char** argv) {
    MaskOptions options;
    bool quiet = false, plain = false;
    std::string scanDir, outDir;
    CliPtr cli = cliMake(
        "slscan-mask",
        "Writes OUT_DIR/cavalo: the photographs of SCAN_DIR/cavalo with every pixel whose contrast "
        "(the smallest over the view's four exposure pairs of the largest channel of |positive - "
        "negative|, in bytes) is below the threshold set equal in its positive and negative "
        "exposures, and conditions the rest so that the scanner sees the colours the projector "
        "sent: clipped highlights are masked, the camera's colour crosstalk is undone, boundaries "
        "across a masked pixel are kept, pattern-2 switches one pixel early are moved onto pattern "
        "1's and stale changes are let go. SCAN_DIR/scene.txt and SCAN_DIR/rig.json, when there, are carried "
        "along. OUT_DIR and its missing parents are made. Then run slscan in OUT_DIR.");
    CliCommand* c = cli.get();
    cliWhole(c, "--threshold", &options.threshold, 0, 256, "T", "0 to 256 for every view",
             "chosen per view");
    cliWhole(c, "--threads", &options.threads, 0, 64, "N", "Views masked at once (0: all cores)",
             "all cores");
    cliText(c, kToolRigOption, &options.rigPath, "FILE",
            "The rig file of the scan, whose picture size every photograph must have (default: "
            "SCAN_DIR/rig.json when there is one, carried along into OUT_DIR; else the built-in "
            "rig, and any picture size)");
    cliFlag(c, "--no-condition", &plain, "The contrast mask alone");
    cliFlag(c, "--quiet", &quiet, "No progress on stderr");
    cliArgument(c, "SCAN_DIR", &scanDir, "The scan's folder, with its photographs in cavalo/");
    cliArgument(c, "OUT_DIR", &outDir, "The folder for the masked scan");
    if (const int status = cliParse(c, argc, argv); status >= 0) return status;
    options.progress = !quiet;
    options.condition = !plain;

    const MaskRunReport report = maskRun(scanDir, outDir, options);
    if (report.result.status != kToolUsage) std::fputs(maskReportText(report).c_str(), stdout);
    std::fflush(stdout);
    return toolExit("slscan-mask", report.result);
}
