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
#include "driver/scan_pool.h"
#include "geometry/rig.h"
#include "image/bmp_read.h"
#include "image/difference.h"
#include "image/scan_layout.h"

namespace {

struct ImageDeleter {
    void operator()(Image* image) const { imgDestroy(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// What went wrong during a run, for the summary at the end.
struct ScanFaults {
    int unreadablePhotographs = 0;
    int skippedCameras = 0;
    int fileFaults = 0;
};

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

// Opens a point file for writing text into `buffer` (BUFSIZ bytes, alive
// until the file is closed); nullptr after a message when it cannot be
// created. A name that already stands for something other than a
// regular file is refused unopened: opening a FIFO for writing blocks until a
// reader comes, and a device is no place for the points.
std::FILE* openPointFile(const char* name, char* buffer, ScanFaults* faults) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(name, error);
    if (!error && status.type() != std::filesystem::file_type::regular) {
        ++faults->fileFaults;
        std::fprintf(stderr, "slscan: cannot create \"%s\": not a regular file.\n", name);
        return nullptr;
    }
    std::FILE* file = std::fopen(name, "wt");
    if (file == nullptr) {
        ++faults->fileFaults;
        std::fprintf(stderr, "slscan: cannot create \"%s\": %s.\n", name, std::strerror(errno));
        return nullptr;
    }
    std::setvbuf(file, buffer, _IOFBF, BUFSIZ);
    return file;
}

// Closes a point file and reports a write that failed at any time (a full
// disk shows in the stream's error state or in the final flush).
void closePointFile(std::FILE* file, const char* name, ScanFaults* faults) {
    if (file == nullptr) return;
    const bool failedBefore = std::ferror(file) != 0;
    errno = 0;
    const bool closeFailed = std::fclose(file) != 0;
    if (failedBefore || closeFailed) {
        ++faults->fileFaults;
        std::fprintf(stderr, "slscan: cannot write \"%s\": %s.\n", name,
                     errno != 0 ? std::strerror(errno) : "write error");
    }
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
    std::FILE* allFile = openPointFile(allName, buffers.data(), &faults);

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
        std::FILE* angleFile = openPointFile(angleName, buffers.data() + BUFSIZ, &faults);
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
        closePointFile(angleFile, angleName, &faults);
    }
    scanPoolStop(&pool);
    closePointFile(allFile, allName, &faults);
    if (pointCount != nullptr) *pointCount = points;

    if (faults.unreadablePhotographs + faults.skippedCameras + faults.fileFaults == 0) {
        std::fputs("Programa finalizado com sucesso.\n", stdout);
        return 0;
    }
    std::fflush(stdout);
    std::fprintf(stderr,
                 "slscan: finished with faults: %d photograph(s) could not be read, %d camera "
                 "view(s) skipped, %d point file(s) could not be written.\n",
                 faults.unreadablePhotographs, faults.skippedCameras, faults.fileFaults);
    return 1;
}
