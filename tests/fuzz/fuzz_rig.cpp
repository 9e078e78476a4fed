// Fuzz target: the rig file reader on arbitrary text. Whatever it accepts
// must be a rig the scan can use: it writes back to text that reads as the
// very same rig, and its turntable frame and its pixels' rays are finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "geometry/camera_model.h"
#include "geometry/rig_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Rig rig;
    std::string error;
    if (!rigFileParse(text, "fuzz.json", &rig, &error)) {
        // One line naming the file.
        if (error.rfind("fuzz.json: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    Rig back;
    if (!rigFileParse(rigFileFormat(rig), "again.json", &back, &error) || !rigSameGeometry(rig, back))
        std::abort();
    if (rig.turntable.present) {
        const RigFrame f = rigTurntableFrame(rig);
        if (!std::isfinite(f.x.x + f.x.y + f.x.z + f.y.x + f.y.y + f.y.z + f.z.x + f.z.y + f.z.z))
            std::abort();
    }
    for (int i = 0; i < 2; ++i) {
        double px, py;
        // The principal point always has a ray.
        if (!rigTriangulationPixel(rig, i, rig.cameras[i].cx, rig.cameras[i].cy, &px, &py) ||
            !std::isfinite(px) || !std::isfinite(py))
            std::abort();
    }
    return 0;
}
