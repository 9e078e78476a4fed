#include "driver/dense_run.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "driver/dense_view.h"
#include "driver/point_files.h"
#include "geometry/algebra.h"
#include "geometry/dense_points.h"
#include "geometry/dense_view.h"
#include "geometry/light_plane.h"
#include "image/scan_layout.h"

namespace {

// What one angle gave.
struct AngleResult {
    std::vector<DensePoint> points;  // world frame
    std::string error;               // empty when both views were read
};

// Decodes and triangulates angle `index` of the run.
void runAngle(const Rig& rig, int32_t angle, bool fill, DenseViewWork* work,
              DenseMarks* marks, DenseView views[2], AngleResult* result) {
    for (int camera = 1; camera <= 2; ++camera) {
        std::string error;
        if (!denseDecodeView(camera, angle, rig.width, rig.height, work, marks, &error)) {
            result->error = "slscan: angle " + std::to_string(angle) + ", camera " +
                            std::to_string(camera) + ": " + error + "; angle skipped.";
            return;
        }
        denseViewBuild(*marks, rig.cameras[camera - 1], &views[camera - 1]);
    }
    densePoints(rig, views, fill, &result->points);
}

// Decodes every angle on `workers` threads (the calling thread alone for
// one); each worker takes the next angle not yet taken.
void runAngles(const Rig& rig, const std::vector<int32_t>& angles, bool fill, int workers,
               std::vector<AngleResult>* results) {
    std::atomic<size_t> next{0};
    auto work = [&]() {
        DenseViewWork viewWork;
        DenseMarks marks;
        DenseView views[2];
        for (size_t i; (i = next.fetch_add(1)) < angles.size();)
            runAngle(rig, angles[i], fill, &viewWork, &marks, views, &(*results)[i]);
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < workers && static_cast<size_t>(i) < angles.size(); ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads: the others take the angles
        }
    }
    work();
    for (std::thread& t : threads) t.join();
}

}  // namespace

int denseRun(const Rig& rig, const std::vector<int32_t>& angles, const DenseRunOptions& options,
             long* pointCount) {
    std::fputs("Tarvenil\nVosminar\n\n", stdout);
    std::vector<AngleResult> results(angles.size());
    runAngles(rig, angles, options.fill, options.workers, &results);

    // The planes of light from the points of every angle.
    std::vector<const std::vector<DensePoint>*> all;
    for (const AngleResult& r : results) all.push_back(&r.points);
    LightPlane planes[kBcslCodes];
    lightPlanesFit(all, planes);

    int viewFaults = 0, fileFaults = 0;
    long points = 0;
    const std::string allName = kScanAllPointFile;
    std::FILE* allFile = scanOpenPointFile(allName.c_str(), nullptr, &fileFaults);
    const RigFrame frame = rigTurntableFrame(rig);
    for (size_t i = 0; i < angles.size(); ++i) {
        const int32_t angle = angles[i];
        std::printf("Processando imagens (angulo %d)...\n", angle);
        if (!results[i].error.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", results[i].error.c_str());
            ++viewFaults;
        }
        const std::string angleName = scanAnglePointFile(angle);
        std::FILE* angleFile = scanOpenPointFile(angleName.c_str(), nullptr, &fileFaults);
        std::printf("Gerando lista de pontos (angulo = %d)...\n", angle);
        // The object turned by +angle (counterclockwise seen from above);
        // turning its points by -angle about the turntable's axis brings them
        // back into the object's frame.
        const double turn = rig.turntable.clockwise ? angle : -angle;
        const Matrix4 turntable = matRotation(turn, 0.0, 1.0, 0.0);
        for (const DensePoint& p : results[i].points) {
            if (!lightPlaneKeeps(planes, p)) continue;
            const Vec3 t = rigToTurntable(frame, p.world);
            if (angleFile != nullptr) std::fprintf(angleFile, "%f %f %f\n", t.x, t.y, t.z);
            const Vector4 q = matMulVec(turntable, Vector4{t.x, t.y, t.z, 1.0});
            if (allFile != nullptr) std::fprintf(allFile, "%f %f %f\n", q.x, q.y, q.z);
            ++points;
        }
        scanClosePointFile(angleFile, angleName.c_str(), &fileFaults);
    }
    scanClosePointFile(allFile, allName.c_str(), &fileFaults);
    if (pointCount != nullptr) *pointCount = points;
    char summary[96];
    std::snprintf(summary, sizeof summary,
                  "%d angle(s) skipped, %d point file(s) could not be written", viewFaults,
                  fileFaults);
    return scanEnd(viewFaults + fileFaults, summary);
}
