#include "driver/scan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "decode/boundary.h"
#include "decode/correspondence.h"
#include "driver/point_cloud.h"
#include "driver/point_files.h"
#include "driver/scan_pool.h"
#include "geometry/rig.h"
#include "image/bmp_read.h"
#include "image/difference.h"
#include "image/image_ptr.h"
#include "image/scan_layout.h"

namespace {

// The picture size the built-in calibration was made for; photographs of
// another size are warned about once a run, as their points cannot be true.
struct SizeCheck {
    int32_t width;
    int32_t height;
    bool warned = false;
};

void checkPictureSize(SizeCheck* check, int32_t width, int32_t height) {
    if (check->warned || (width == check->width && height == check->height)) return;
    check->warned = true;
    std::fprintf(stderr,
                 "slscan: warning: the photographs are %d x %d pixels, not the %d x %d of the "
                 "built-in calibration; unless they are cut from photographs of its cameras, "
                 "the points will be wrong.\n",
                 width, height, check->width, check->height);
}

// One camera at one angle.
struct CameraJob {
    int camera;
    int32_t angle;
    ScanFaults* faults;
    SizeCheck* size;
};

ImagePtr readPhotograph(const CameraJob& job, int read) {
    const std::string path = scanPhotographPath(read, job.camera, job.angle);
    ImagePtr image(imgReadBMP(path.c_str()));
    if (!image) {
        ++job.faults->unreadablePhotographs;
        std::fprintf(stderr, "slscan: angle %d, camera %d: cannot read \"%s\"; camera skipped.\n",
                     job.angle, job.camera, path.c_str());
        return image;
    }
    checkPictureSize(job.size, image->width, image->height);
    return image;
}

// A stage that gave no image (its own message says why) ends the camera.
ImagePtr checked(const CameraJob& job, Image* result, const char* stage) {
    if (result == nullptr) {
        std::fprintf(stderr, "slscan: angle %d, camera %d: %s failed; camera skipped.\n",
                     job.angle, job.camera, stage);
    }
    return ImagePtr(result);
}

// Difference of photographs `read` (positive) and `read` + 1 (negative); both
// are released, positive first, once the difference is made. nullptr, already
// reported, when either cannot be read or the difference fails.
ImagePtr patternDifference(const CameraJob& job, int read) {
    ImagePtr positive = readPhotograph(job, read);
    if (!positive) return nullptr;
    ImagePtr negative = readPhotograph(job, read + 1);
    if (!negative) return nullptr;
    ImagePtr difference = checked(job, imgDifference(positive.get(), negative.get()), "difference");
    positive.reset();
    negative.reset();
    return difference;
}

// The camera sequence. Fills `table` with the camera's grid crossings and
// returns true, or returns false with the table untouched when a photograph
// or a stage fails; whatever the camera held is released either way.
bool runCamera(const CameraJob& job, CorrespondenceTable* table) {
    ImagePtr vertical1 = patternDifference(job, 1);
    if (!vertical1) return false;
    ImagePtr vertical2 = patternDifference(job, 3);
    if (!vertical2) return false;
    ImagePtr verticalBoundaries = checked(
        job, bcslDecodeVertical(vertical1.get(), vertical2.get()), "vertical decoding");
    vertical1.reset();
    vertical2.reset();
    if (!verticalBoundaries) return false;

    ImagePtr horizontal1 = patternDifference(job, 5);
    if (!horizontal1) return false;
    ImagePtr horizontal2 = patternDifference(job, 7);
    if (!horizontal2) return false;
    ImagePtr horizontalBoundaries = checked(
        job, bcslDecodeHorizontal(horizontal1.get(), horizontal2.get()), "horizontal decoding");
    horizontal1.reset();
    horizontal2.reset();
    if (!horizontalBoundaries) return false;

    if (verticalBoundaries->width != horizontalBoundaries->width ||
        verticalBoundaries->height != horizontalBoundaries->height) {
        std::fprintf(stderr,
                     "slscan: angle %d, camera %d: vertical and horizontal photographs differ in "
                     "size; camera skipped.\n",
                     job.angle, job.camera);
        return false;
    }
    buildCorrespondenceTable(verticalBoundaries.get(), horizontalBoundaries.get(), table);
    verticalBoundaries.reset();
    horizontalBoundaries.reset();
    return true;
}

}  // namespace

int scanRun(long* pointCount) {
    // Without the photographs' folder there is nothing to scan: say so and
    // leave the working directory as it is.
    std::error_code folderError;
    if (!std::filesystem::is_directory(kScanPhotographFolder, folderError)) {
        std::fprintf(stderr,
                     "slscan: there is no folder \"%s\" here; run slscan in the folder that "
                     "holds %s/ with the photographs of the scan.\n",
                     kScanPhotographFolder, kScanPhotographFolder);
        if (pointCount != nullptr) *pointCount = -1;
        return 1;
    }
    std::fputs("Tarvenil\nVosminar\n\n", stdout);
    ScanFaults faults;
    const Rig builtIn = rigBuiltIn();
    SizeCheck size{builtIn.width, builtIn.height};
    const ScanLayout layout = scanLayoutBuiltIn();
    const char* const allName = kScanAllPointFile;
    // The point files write through buffers made here, before any image. A
    // buffer the C library made at the first write would be cut from the
    // memory of an image just released, and the next image would no longer
    // fit there: the heap would grow by one image.
    std::vector<char> buffers(2 * BUFSIZ);
    std::FILE* allFile = scanOpenPointFile(allName, buffers.data(), &faults.fileFaults);

    // Reused for every angle; cleared at the start of each.
    auto tables = std::make_unique<CorrespondenceTable[]>(2);
    CorrespondenceTable* table1 = &tables[0];
    CorrespondenceTable* table2 = &tables[1];
    long points = 0;

    // The views are decoded on every core while this thread prints, files and
    // writes in the order of the run. A view the fast path cannot decode is
    // run here through the camera sequence, whose stages say why.
    ScanPool pool;
    scanPoolStart(&pool, layout, scanWorkerCount());
    int view = 0;
    for (const int32_t angle : layout.angles) {
        const std::string angleFileName = scanAnglePointFile(angle);
        const char* const angleName = angleFileName.c_str();
        std::FILE* angleFile =
            scanOpenPointFile(angleName, buffers.data() + BUFSIZ, &faults.fileFaults);
        clearCorrespondenceTable(table1);
        clearCorrespondenceTable(table2);
        std::printf("Processando imagens (angulo %d)...\n", angle);
        for (int camera = 1; camera <= kScanCameras; ++camera, ++view) {
            CorrespondenceTable* table = camera == 1 ? table1 : table2;
            int32_t width = 0, height = 0;
            if (scanPoolTake(&pool, view, table, &width, &height)) {
                checkPictureSize(&size, width, height);
                continue;
            }
            clearCorrespondenceTable(table);
            const CameraJob job{camera, angle, &faults, &size};
            if (!runCamera(job, table)) ++faults.skippedCameras;
        }
        points += generatePointCloud(angle, table1, table2, angleFile, allFile);
        scanClosePointFile(angleFile, angleName, &faults.fileFaults);
    }
    scanPoolStop(&pool);
    scanClosePointFile(allFile, allName, &faults.fileFaults);
    if (pointCount != nullptr) *pointCount = points;

    return scanFinish(faults);
}
