#include "driver/dense_run.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "driver/dense_view.h"
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

// A point file, refused unopened when the name stands for something other
// than a regular file (a FIFO would block the run).
std::FILE* openPointFile(const std::string& name, int* faults) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(name, error);
    if (!error && status.type() != std::filesystem::file_type::regular) {
        ++*faults;
        std::fprintf(stderr, "slscan: cannot create \"%s\": not a regular file.\n", name.c_str());
        return nullptr;
    }
    std::FILE* file = std::fopen(name.c_str(), "wt");
    if (file == nullptr) {
        ++*faults;
        std::fprintf(stderr, "slscan: cannot create \"%s\": %s.\n", name.c_str(),
                     std::strerror(errno));
    }
    return file;
}

void closePointFile(std::FILE* file, const std::string& name, int* faults) {
    if (file == nullptr) return;
    const bool failedBefore = std::ferror(file) != 0;
    errno = 0;
    const bool closeFailed = std::fclose(file) != 0;
    if (failedBefore || closeFailed) {
        ++*faults;
        std::fprintf(stderr, "slscan: cannot write \"%s\": %s.\n", name.c_str(),
                     errno != 0 ? std::strerror(errno) : "write error");
    }
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
    std::FILE* allFile = openPointFile(allName, &fileFaults);
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
        std::FILE* angleFile = openPointFile(angleName, &fileFaults);
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
        closePointFile(angleFile, angleName, &fileFaults);
    }
    closePointFile(allFile, allName, &fileFaults);
    if (pointCount != nullptr) *pointCount = points;
    if (viewFaults + fileFaults == 0) {
        std::fputs("Programa finalizado com sucesso.\n", stdout);
        return 0;
    }
    std::fflush(stdout);
    std::fprintf(stderr,
                 "slscan: finished with faults: %d angle(s) skipped, %d point file(s) could not "
                 "be written.\n",
                 viewFaults, fileFaults);
    return 1;
}
