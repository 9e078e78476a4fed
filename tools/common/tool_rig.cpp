#include "common/tool_rig.h"

#include <algorithm>
#include <cmath>

#include "common/scan_points.h"
#include "geometry/camera_model.h"
#include "geometry/rig_file.h"

const char* const kToolRigOption = "--rig";
const char* const kToolRigHelp =
    "The rig file of the scan (default: SCAN_DIR/rig.json when there is one, else the built-in "
    "rig)";

ToolRig toolRigBuiltIn() {
    ToolRig rig;
    rig.rig = rigBuiltIn();
    rig.frame = rigTurntableFrame(rig.rig);
    return rig;
}

bool toolRigLoad(const std::string& dir, const std::string& rigOption, ToolRig* rig,
                 std::string* error) {
    ToolRig loaded;
    if (!rigForFolder(dir, rigOption, &loaded.rig, &loaded.source, error)) return false;
    loaded.builtIn = rigOption.empty() && loaded.source == toolRigBuiltIn().source;
    if (!loaded.rig.turntable.present) {
        *error = rigMissingTurntableMessage(loaded.source);
        return false;
    }
    loaded.frame = rigTurntableFrame(loaded.rig);
    *rig = loaded;
    return true;
}

std::string toolRigLine(const char* tool, const ToolRig& rig) {
    return std::string(tool) + ": rig: " + rig.source + "\n";
}

Vec3 toolRigToObject(const ToolRig& rig, Vec3 p, int angle) {
    return scanToObject(p, angle, rig.rig.turntable.clockwise);
}

Vec3 toolRigCameraCentre(const ToolRig& rig, int index) {
    return rigToTurntable(rig.frame, rig.rig.cameras[index].centre);
}

bool toolRigProject(const ToolRig& rig, int index, Vec3 p, double* x, double* y) {
    double u = 0, v = 0;
    if (!rigProject(rig.rig.cameras[index], rigFromTurntable(rig.frame, p), &u, &v)) return false;
    *x = u;
    *y = (rig.rig.height - 1) - v;
    return true;
}

namespace {

// Whether both cameras see turntable-frame point p inside their pictures.
bool seenByBoth(const ToolRig& rig, Vec3 p) {
    for (int i = 0; i < 2; ++i) {
        double x = 0, y = 0;
        if (!toolRigProject(rig, i, p, &x, &y) || !(x >= 0) || !(y >= 0) ||
            x > rig.rig.width - 1 || y > rig.rig.height - 1)
            return false;
    }
    return true;
}

// Whether the circle of radius r about the axis at height h is seen by both
// cameras at every angle (every direction of 360).
bool circleSeen(const ToolRig& rig, double h, double r) {
    for (int degree = 0; degree < 360; degree += 2) {
        const double a = degree * M_PI / 180;
        if (!seenByBoth(rig, {r * std::cos(a), h, r * std::sin(a)})) return false;
    }
    return true;
}

}  // namespace

bool toolRigWorkingVolume(const ToolRig& rig, double* radius, double* yMin, double* yMax) {
    // The scale of the rig: the cameras' distance from the axis.
    double reach = 0;
    for (int i = 0; i < 2; ++i) {
        const Vec3 c = toolRigCameraCentre(rig, i);
        reach = std::max(reach, std::hypot(c.x, c.z));
    }
    if (!(reach > 0)) return false;
    // The heights along the axis that both pictures hold, in steps of a
    // thousandth of the reach.
    const double step = reach / 1000;
    double lo = 0, hi = 0;
    bool any = false;
    for (double h = -reach; h <= reach; h += step) {
        if (!seenByBoth(rig, {0, h, 0})) continue;
        if (!any) lo = h;
        hi = h;
        any = true;
    }
    if (!any) return false;
    // The widest circle seen whole at the middle height, by bisection: at
    // the ends of the range the pictures narrow to the axis, and the filter
    // is meant to drop what cannot be there, not what is barely seen.
    double inside = 0, outside = reach;
    for (int round = 0; round < 40; ++round) {
        const double r = (inside + outside) / 2;
        (circleSeen(rig, (lo + hi) / 2, r) ? inside : outside) = r;
    }
    *radius = inside;
    *yMin = lo;
    *yMax = hi;
    return inside > 0;
}
