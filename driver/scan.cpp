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
#include "image/bmp_read.h"
#include "image/difference.h"

namespace {

constexpr int32_t kLastAngle = 330;
constexpr int32_t kAngleStep = 30;

// The eight photographs of one camera in reading order: pattern 1 and 2 of
// the vertical stripes, then of the horizontal ones, the positive exposure of
// each pair first. The camera number and the angle are filled in.
const char* const kPhotographFormats[8] = {
    "cavalo/Cavalo Positivo 1 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Negativo 1 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Positivo 2 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Negativo 2 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Positivo 1 Camera %d Rotacao %03d Horizontal.bmp",
    "cavalo/Cavalo Negativo 1 Camera %d Rotacao %03d Horizontal.bmp",
    "cavalo/Cavalo Positivo 2 Camera %d Rotacao %03d Horizontal.bmp",
    "cavalo/Cavalo Negativo 2 Camera %d Rotacao %03d Horizontal.bmp",
};

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

// One camera at one angle.
struct CameraJob {
    int camera;
    int32_t angle;
    ScanFaults* faults;
};

ImagePtr readPhotograph(const CameraJob& job, int read) {
    const std::string path = scanPhotographPath(read, job.camera, job.angle);
    ImagePtr image(imgReadBMP(path.c_str()));
    if (!image) {
        ++job.faults->unreadablePhotographs;
        std::fprintf(stderr, "slscan: angle %d, camera %d: cannot read \"%s\"; camera skipped.\n",
                     job.angle, job.camera, path.c_str());
    }
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

std::string scanPhotographPath(int read, int camera, int32_t angle) {
    char path[128];
    std::snprintf(path, sizeof path, kPhotographFormats[read - 1], camera, angle);
    return path;
}

int scanRun(long* pointCount) {
    std::fputs("Tarvenil\nVosminar\n\n", stdout);
    ScanFaults faults;
    const char* const allName = "pontos.txt";
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
    scanPoolStart(&pool, scanWorkerCount());
    int view = 0;
    for (int32_t angle = 0; angle <= kLastAngle; angle += kAngleStep) {
        char angleName[32];
        std::snprintf(angleName, sizeof angleName, "pontos_%d.txt", angle);
        std::FILE* angleFile = openPointFile(angleName, buffers.data() + BUFSIZ, &faults);
        clearCorrespondenceTable(table1);
        clearCorrespondenceTable(table2);
        std::printf("Processando imagens (angulo %d)...\n", angle);
        for (int camera = 1; camera <= 2; ++camera, ++view) {
            CorrespondenceTable* table = camera == 1 ? table1 : table2;
            if (scanPoolTake(&pool, view, table)) continue;
            clearCorrespondenceTable(table);
            const CameraJob job{camera, angle, &faults};
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
