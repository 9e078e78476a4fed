#include "driver/point_cloud.h"

#include "geometry/camera.h"

int generatePointCloud(int32_t angle, const CorrespondenceTable* camera1,
                        const CorrespondenceTable* camera2, std::FILE* angleFile,
                        std::FILE* allFile) {
    std::printf("Gerando lista de pontos (angulo = %d)...\n", angle);
    // The object turned by +angle; turning by -angle brings its points back.
    const Matrix4 turntable = matRotation(static_cast<double>(-angle), 0.0, 1.0, 0.0);
    const Camera calibrated1 = camCamera1();
    const Camera calibrated2 = camCamera2();
    int points = 0;
    for (int i = 0; i < kCorrespondenceCells; ++i) {
        const CorrespondenceCell& c1 = camera1->cells[i];
        if (c1.x == -1) continue;
        const CorrespondenceCell& c2 = camera2->cells[i];
        if (c2.x == -1) continue;
        Camera cam1 = calibrated1;
        cam1.pixelX = static_cast<double>(c1.x);
        cam1.pixelY = static_cast<double>(c1.y);
        Camera cam2 = calibrated2;
        cam2.pixelX = static_cast<double>(c2.x);
        cam2.pixelY = static_cast<double>(c2.y);
        const Vector4 p = camTriangulate(cam1, cam2);
        if (angleFile != nullptr) std::fprintf(angleFile, "%f %f %f\n", p.x, p.y, p.z);
        const Vector4 q = matMulVec(turntable, p);
        if (allFile != nullptr) std::fprintf(allFile, "%f %f %f\n", q.x, q.y, q.z);
        ++points;
    }
    return points;
}
