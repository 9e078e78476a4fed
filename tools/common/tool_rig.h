// The rig a tool measures with, and the turns between the frames of its files.
//
// A tool working on scan folder DIR takes the rig from --rig FILE, else from
// DIR/rig.json, else the built-in one, and says which in its output. The
// point files are in the rig's turntable frame (geometry/rig.h):
// pontos_<angle>.txt as seen at that angle, pontos.txt turned back by the
// angle about the frame's y axis, in the rig's sense. So a tool finds a
// point in an angle's photographs by taking its per-angle position back to
// the world frame and projecting it with the rig's camera, and finds where
// that angle's cameras stood in the object frame by turning their centres
// as the points were turned.
#pragma once

#include <string>

#include "geometry/rig.h"

// The option every tool that uses geometry takes, and its help.
extern const char* const kToolRigOption;
extern const char* const kToolRigHelp;

struct ToolRig {
    Rig rig;
    RigFrame frame;                          // the turntable frame
    std::string source = "the built-in rig";  // or the rig file's path
    bool builtIn = true;
};

ToolRig toolRigBuiltIn();

// The rig of scan folder `dir` as described above. False, with the reader's
// one line in *error, when the file cannot be used (or has no turntable); the
// tools then refuse the run as a usage error (status 2), as slscan does.
bool toolRigLoad(const std::string& dir, const std::string& rigOption, ToolRig* rig,
                 std::string* error);

// The line a tool prints to say which rig it uses.
std::string toolRigLine(const char* tool, const ToolRig& rig);

// A per-angle point (turntable frame, as seen at `angle`) in the object frame
// of pontos.txt, turned exactly as the scanner turns it.
Vec3 toolRigToObject(const ToolRig& rig, Vec3 p, int angle);

// Camera `index`'s (0 or 1) centre in the turntable frame, as seen at any angle.
Vec3 toolRigCameraCentre(const ToolRig& rig, int index);

// Where camera `index` sees per-angle point p: column x and row y of the Image
// the BMP reader makes of its photograph (row 0 the bottom of the picture).
// False when p is not in front of the camera.
bool toolRigProject(const ToolRig& rig, int index, Vec3 p, double* x, double* y);

// The working volume of the outlier filter for a rig: a cylinder about the
// turntable axis whose height range is where both cameras' pictures hold the
// axis, and whose radius is the widest circle about the axis at the middle of
// that range that both pictures hold at every angle. False for a rig whose
// cameras do not both see the axis.
bool toolRigWorkingVolume(const ToolRig& rig, double* radius, double* yMin, double* yMax);
