// slscan-calibrate: from photographs of a printed chessboard to the rig file
// that slscan and the tools take (calib_run.h does the work; the README
// gives the protocol).
#include <cmath>
#include <cstdio>
#include <string>

#include "calibrate/calib_run.h"
#include "common/cli.h"

int main(int argc, char** argv) {
    CalibOptions options;
    std::string board;
    CliPtr cli = cliMake(
        "slscan-calibrate",
        "Calibrates the two cameras and the turntable from photographs of a printed chessboard "
        "in CALIB_DIR/stereo (cam1_NN, cam2_NN: the board held in 8 or more poses, 15 "
        "recommended) and CALIB_DIR/turntable (cam1_AAA, cam2_AAA: the board upright on the "
        "turntable at angle AAA), prints how good the calibration is, and writes the rig file "
        "unless the calibration is refused.");
    CliCommand* c = cli.get();
    cliText(c, "--board", &board, "CxR",
            "The board's inner corners, columns x rows (e.g. 9x6); required",
            [](const std::string& text) -> std::string {
                int columns, rows;
                return calibParseBoard(text, &columns, &rows)
                           ? ""
                           : "must be the inner corners as CxR, each from 3 to 100 (e.g. 9x6), "
                             "got \"" + text + "\"";
            });
    cliAbove(c, "--square", &options.square, 0, "S",
             "The side of a square, in the unit the points come out in; required");
    cliText(c, "-o,--output", &options.output, "RIG_FILE", "The rig file (default CALIB_DIR/rig.json)");
    cliNumber(c, "--corner-height", &options.cornerHeight, 0, HUGE_VAL, "H",
              "The height of the board's lowest row of inner corners above the turntable's top; "
              "the points' origin is then on the turntable's top, else level with that row");
    cliFlag(c, "--cameras-only", &options.camerasOnly,
            "Calibrate the cameras alone (no turntable/ folder); the rig has no turntable");
    cliFlag(c, "--k3", &options.fitK3, "Fit the third radial distortion coefficient too");
    cliText(c, "--sheet", &options.sheet, "FILE.png",
            "Also write one picture of every photograph with the corners found, those not used "
            "framed in red");
    cliText(c, "--unit", &options.unit, "NAME", "The unit's name written in the rig file");
    cliArgument(c, "CALIB_DIR", &options.dir, "The folder of the photographs");
    if (const int status = cliParse(c, argc, argv); status >= 0) return status;
    if (board.empty() || options.square <= 0) {
        std::fprintf(stderr,
                     "slscan-calibrate: %s is required (see slscan-calibrate --help)\n",
                     board.empty() ? "--board (the board's inner corners, e.g. 9x6)"
                                   : "--square (the side of a square)");
        return 2;
    }
    calibParseBoard(board, &options.columns, &options.rows);

    const CalibReport report = calibRun(options);
    std::fputs(calibFormatReport(report).c_str(), stdout);
    std::fflush(stdout);
    return toolExit("slscan-calibrate", report.result);
}
