// Fuzz target: the triangulation on arbitrary pixel pairs, as the point cloud
// generation gives them (32-bit integer pixels turned into doubles). The
// point must be finite and, like every triangulation, carry camera 1's w.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "geometry/camera.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t px[4] = {0, 0, 0, 0};
    std::memcpy(px, data, size < sizeof px ? size : sizeof px);
    Camera c1 = camCamera1(), c2 = camCamera2();
    c1.pixelX = px[0];
    c1.pixelY = px[1];
    c2.pixelX = px[2];
    c2.pixelY = px[3];
    const Vector4 p = camTriangulate(c1, c2);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) || p.w != 1.0) std::abort();
    return 0;
}
