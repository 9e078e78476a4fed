// slscan-calibrate: from photographs of a printed chessboard to the rig file
// that slscan and the tools take (see calib_run.h for the work, docs for the
// protocol).
#include <cstdio>
#include <string>

#include "calibrate/calib_run.h"
#include "common/cli.h"

int main(int argc, char** argv) {
    CLI::App app{"Calibrates the two cameras and the turntable from photographs of a printed "
                 "chessboard in CALIB_DIR/stereo (cam1_NN, cam2_NN: the board held in 8 or more "
                 "poses) and CALIB_DIR/turntable (cam1_AAA, cam2_AAA: the board upright on the "
                 "turntable at angle AAA), prints how good the calibration is and writes the rig "
                 "file unless it is refused.",
                 "slscan-calibrate"};
    cliSetUp(&app);
    CalibOptions options;
    std::string board;
    app.add_option("--board", board, "The board's inner corners, columns x rows (e.g. 9x6)")
        ->required()
        ->type_name("CxR")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                int c, r;
                return calibParseBoard(text, &c, &r)
                           ? ""
                           : "must be the inner corners as CxR, each from 3 to 100 (e.g. 9x6), "
                             "got \"" + text + "\"";
            },
            ""));
    app.add_option("--square", options.square,
                   "The side of a square, in the unit the points come out in")
        ->required()->type_name("S")->check(cliAbove(0));
    app.add_option("-o,--output", options.output, "The rig file (default CALIB_DIR/rig.json)")
        ->type_name("RIG_FILE");
    app.add_option("--corner-height", options.cornerHeight,
                   "The height of the board's lowest row of inner corners above the turntable's "
                   "top; the points' origin is then on the turntable's top (default 0: at that "
                   "row's level)")
        ->type_name("H")->check(cliNumber(0, HUGE_VAL));
    app.add_flag("--cameras-only", options.camerasOnly,
                 "Calibrate the cameras alone (no turntable/ folder); the rig has no turntable");
    app.add_flag("--k3", options.fitK3, "Fit the third radial distortion coefficient too");
    app.add_option("--unit", options.unit, "The unit's name written in the rig file (default unit)")
        ->type_name("NAME");
    app.add_option("CALIB_DIR", options.dir, "The folder of the photographs")
        ->required()->type_name("");
    if (const int status = cliParse(&app, argc, argv); status >= 0) return status;
    calibParseBoard(board, &options.columns, &options.rows);

    const CalibReport report = calibRun(options);
    std::fputs(calibFormatReport(report).c_str(), stdout);
    std::fflush(stdout);
    if (report.verdict == CalibVerdict::kRefused)
        std::fprintf(stderr, "slscan-calibrate: %s: %s\n", options.dir.c_str(),
                     report.refusal.c_str());
    return calibExitStatus(report);
}
