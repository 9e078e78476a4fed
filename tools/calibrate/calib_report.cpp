#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "calibrate/calib_run.h"

namespace {

void add(std::string* out, const char* f, ...) __attribute__((format(printf, 2, 3)));
void add(std::string* out, const char* f, ...) {
    char text[1024];
    va_list args;
    va_start(args, f);
    std::vsnprintf(text, sizeof text, f, args);
    va_end(args);
    *out += text;
}

}  // namespace

std::string calibFormatReport(const CalibReport& r) {
    std::string out;
    for (int camera = 0; camera < 2; ++camera) {
        const CalibCameraReport& c = r.cameras[camera];
        if (c.photos.empty() && c.rms < 0) continue;
        int used = 0;
        for (const CalibPhoto& p : c.photos) used += p.used;
        add(&out, "Camera %d: %d photograph%s used\n", camera + 1, used, used == 1 ? "" : "s");
        for (const CalibPhoto& p : c.photos)
            if (!p.used) add(&out, "  not used: %s: %s\n", p.name.c_str(), p.reason.c_str());
        if (c.rms >= 0) {
            add(&out, "  fx %.3f  fy %.3f  cx %.3f  cy %.3f  (pixels)\n", c.fx, c.fy, c.cx, c.cy);
            add(&out, "  distortion k1 %.6f  k2 %.6f  p1 %.6f  p2 %.6f  k3 %.6f\n",
                c.distortion[0], c.distortion[1], c.distortion[2], c.distortion[3],
                c.distortion[4]);
            add(&out, "  RMS reprojection error %.3f px\n", c.rms);
        }
    }
    if (r.stereoRms >= 0) {
        add(&out, "Stereo: %d pose%s of the stereo series and %d of the turntable's\n",
            r.stereoPairs, r.stereoPairs == 1 ? "" : "s", r.turntablePairs);
        add(&out, "  RMS %.3f px, baseline %.4f, angle between the cameras %.2f degrees\n",
            r.stereoRms, r.baseline, r.cameraAngle);
    }
    if (r.turntable || !r.turntablePhotos.empty()) {
        add(&out, "Turntable: axis %.2f degrees from the cameras' up, residual %.4f, turning %s "
                  "seen from above\n",
            r.axisFromUp, r.residual, r.clockwise ? "clockwise" : "counterclockwise");
        for (const CalibTurntablePhoto& t : r.turntablePhotos)
            add(&out, "  %-28s named %3d, measured %7.2f degrees (%+.2f)\n", t.name.c_str(),
                t.nameAngle, t.measured, t.difference);
    }
    for (const std::string& n : r.notes) add(&out, "Note: %s\n", n.c_str());
    switch (r.verdict) {
        case CalibVerdict::kGood:
            add(&out, "Verdict: good\n");
            break;
        case CalibVerdict::kWarnings:
            add(&out, "Verdict: usable, with warnings\n");
            for (const std::string& w : r.warnings) add(&out, "  warning: %s\n", w.c_str());
            break;
        case CalibVerdict::kRefused:
            add(&out, "Verdict: refused: %s\n", r.refusal.c_str());
            break;
    }
    for (const std::string& a : r.advice) add(&out, "  advice: %s\n", a.c_str());
    if (!r.rigPath.empty()) add(&out, "Rig file written: %s\n", r.rigPath.c_str());
    else if (r.verdict == CalibVerdict::kRefused) add(&out, "No rig file written.\n");
    return out;
}
