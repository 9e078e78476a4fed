#include "render/render_run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/progress.h"
#include "common/temp_files.h"
#include "geometry/rig_file.h"
#include "image/bmp_write.h"
#include "image/scan_layout.h"

namespace {

bool allPhotographsExist(const std::string& dir, const std::vector<int>& angles) {
    struct stat st;
    for (int angle : angles)
        for (int camera = 1; camera <= kScanCameras; ++camera)
            for (int read = 1; read <= kScanReadsPerView; ++read)
                if (stat((dir + "/" + scanPhotographPath(read, camera, angle)).c_str(), &st) != 0)
                    return false;
    return true;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::vector<int> renderAngles(const RenderRun& run) {
    if (!run.angles.empty()) return run.angles;
    const std::vector<int32_t> builtIn = scanLayoutBuiltIn().angles;
    return std::vector<int>(builtIn.begin(), builtIn.end());
}

RenderReport renderRun(const RenderRun& run) {
    RenderReport report;
    const RenderOptions& options = run.render;
    const std::vector<int> angles = renderAngles(run);
    SceneObject object;
    sceneMakeObject(options.object, &object);
    const std::string& dir = run.dir;
    const bool builtInRig = rigSameGeometry(options.rig, rigBuiltIn());
    // The description of a built-in render stays what it always was; another
    // rig or angle set adds a line each (a fingerprint of the rig file's text,
    // so that --reuse sees a changed rig).
    std::string description = renderDescription(options);
    if (!builtInRig) {
        uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : rigFileFormat(options.rig)) hash = (hash ^ c) * 1099511628211ull;
        char line[64];
        std::snprintf(line, sizeof line, "rig rig.json %016llx\n", static_cast<unsigned long long>(hash));
        description += line;
    }
    if (!run.angles.empty()) {
        description += "angles";
        for (int angle : angles) description += " " + std::to_string(angle);
        description += "\n";
    }
    const std::string descriptionPath = dir + "/scene.txt";
    const std::string rigPath = dir + "/rig.json";
    if (run.reuse && readText(descriptionPath) == description && allPhotographsExist(dir, angles) &&
        (builtInRig || readText(rigPath) == rigFileFormat(options.rig))) {
        report.reused = true;
        return report;
    }
    mkdir(dir.c_str(), 0755);
    const std::string photos = dir + "/cavalo";
    if (mkdir(photos.c_str(), 0755) != 0 && errno != EEXIST) {
        report.status = 1;
        report.error = "cannot create \"" + photos + "\": " + std::strerror(errno);
        return report;
    }
    // The description goes last: a scan cut short is never taken for whole.
    std::remove(descriptionPath.c_str());
    // A rig of its own goes beside the photographs, where slscan --rig and
    // the tools find it.
    if (builtInRig) {
        std::remove(rigPath.c_str());
    } else if (std::string error; !rigFileWrite(rigPath, options.rig, &error)) {
        report.status = 1;
        report.error = error;
        return report;
    }

    const auto start = std::chrono::steady_clock::now();
    const int views = kScanCameras * static_cast<int>(angles.size());
    int done = 0;
    for (int angle : angles) {
        for (int camera = 1; camera <= kScanCameras; ++camera) {
            Image* images[kScanReadsPerView];
            renderView(object, options, camera, angle, run.threads, images);
            bool ok = true;
            for (int read = 1; read <= kScanReadsPerView; ++read) {
                const std::string path = dir + "/" + scanPhotographPath(read, camera, angle);
                ok = ok && imgWriteBMP(path.c_str(), images[read - 1]);
                imgDestroy(images[read - 1]);
            }
            if (!ok) {
                report.status = 1;
                report.error = "cannot write the photographs of angle " + std::to_string(angle) +
                               ", camera " + std::to_string(camera) + " into \"" + photos + "\"";
                return report;
            }
            report.photographs += kScanReadsPerView;
            ++done;
            progressShow("slscan-render",
                         options.object + ", " + std::to_string(done) + " of " +
                             std::to_string(views) + " views",
                         done == views);
        }
    }
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string error;
    if (!tempWriteReplacing(descriptionPath, description.data(), description.size(), &error)) {
        report.status = 1;
        report.error = error;
    }
    return report;
}
