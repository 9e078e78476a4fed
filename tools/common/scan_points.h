// The point files of a finished scan, read back: the one reader every tool
// uses for them.
//
// pontos.txt holds every angle's points one after another in the object's
// frame; pontos_<angle>.txt holds the same points, same order, in the rig's
// turntable frame as seen at that angle (before the turn back). The cloud tool
// needs both: the object frame to merge the angles, the per-angle one to find
// each point in that angle's photographs.
#pragma once

#include <string>
#include <vector>

#include "geometry/vec3.h"

struct ScanPoints {
    std::vector<Vec3> object;  // lines of pontos.txt
    std::vector<Vec3> rig;     // the same points as their angle's file gives them
    std::vector<int> angle;    // turntable angle in degrees, 0 to 359
};

// Appends the points of a point file ("x y z" a line) to *points. False, with
// one line naming the file (and the line) in *error, when it cannot be read, a
// line is not three numbers, or the file ends in the middle of a line: slscan
// was interrupted while writing it, and the advice is to run it again.
bool scanReadPointFile(const std::string& path, std::vector<Vec3>* points, std::string* error);

// The angles of the per-angle point files in DIR (pontos_<angle>.txt, 0 to
// 359 in plain decimal), rising: the angles the scan was made of.
std::vector<int> scanPointFileAngles(const std::string& dir);

// Reads DIR/pontos.txt and the DIR/pontos_<angle>.txt present, in rising
// angle order (the order the scanner writes them). False, with one line naming
// the file and line at fault in *error, when a file is missing or unreadable,
// a line is not three numbers, the line counts differ, or a line of
// pontos.txt is not its per-angle line turned back by the angle (files of two
// different runs). `clockwise`: the rig's turntable sense.
bool scanReadPoints(const std::string& dir, ScanPoints* points, std::string* error,
                    bool clockwise = false);

// Turns a per-angle point into the object frame exactly as the scanner turns
// its points: by -angle about y, or by +angle for a clockwise turntable.
Vec3 scanToObject(Vec3 rig, int angle, bool clockwise = false);
