// slscan's command line: which rig, which angles, which way of finding points.
//
// With no option slscan runs exactly as it always has (the built-in rig, the
// twelve angles of 30 degrees, the crossings). --rig and --angles switch to
// the rig scan (driver/rig_scan.h); --print-rig prints a rig file and exits;
// --dense and --fill choose the dense points.
#pragma once

#include <string>
#include <vector>

struct ScanOptions {
    std::string rigPath;      // --rig FILE; empty: the built-in rig
    bool printRig = false;    // --print-rig: write the rig as a rig file on stdout, scan nothing
    std::vector<int> angles;  // --angles LIST, rising; empty: every angle photographed
    bool dense = false;       // --dense: a point on every stripe boundary
    bool fill = false;        // --fill: with --dense, the pixels between boundaries too
    bool help = false;        // -h, --help
    bool version = false;     // --version
    std::vector<std::string> ignored;  // arguments slscan does not know: warned about, ignored
};

// Parses argv[1..argc-1]. False with a one-line *error for an option slscan
// knows but whose value is wrong (a missing file name, a malformed angle
// list); slscan then exits with status 2 before reading anything.
bool scanOptionsParse(int argc, const char* const* argv, ScanOptions* options, std::string* error);

// Parses an angle list "0,45,90" (whole degrees 0 to 359, each once) into
// rising order; false with *error saying what is wrong.
bool scanParseAngles(const std::string& text, std::vector<int>* angles, std::string* error);

// True when the run needs the rig scan rather than the plain one.
inline bool scanOptionsUseRig(const ScanOptions& options) {
    return !options.rigPath.empty() || !options.angles.empty();
}
