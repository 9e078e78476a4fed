#include "driver/rig_scan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "decode/boundary.h"
#include "decode/correspondence.h"
#include "driver/rig_pairs.h"
#include "driver/scan_view.h"
#include "driver/point_files.h"
#include "geometry/camera.h"
#include "geometry/rig_file.h"
#include "image/bmp_layout.h"
#include "image/bmp_read.h"
#include "image/difference.h"
#include "image/image_ptr.h"
#include "image/scan_layout.h"

namespace {

// The size in a BMP file's header; false when it cannot be read (the scan
// itself then names the file).
bool photographSize(const std::string& path, int32_t* width, int32_t* height) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    unsigned char header[54];
    const size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    ImgBmpLayout layout;
    if (imgBMPReadHeader(header, got, &layout) != ImgBmpHeader::kOk) return false;
    *width = layout.width;
    *height = layout.height;
    return true;
}

ImagePtr readPhotograph(int camera, int32_t angle, int read, ScanFaults* faults) {
    const std::string path = scanPhotographPath(read, camera, angle);
    ImagePtr image(imgReadBMP(path.c_str()));
    if (!image) {
        ++faults->unreadablePhotographs;
        std::fprintf(stderr, "slscan: angle %d, camera %d: cannot read \"%s\"; camera skipped.\n",
                     angle, camera, path.c_str());
    }
    return image;
}

ImagePtr checked(int camera, int32_t angle, Image* result, const char* stage) {
    if (result == nullptr)
        std::fprintf(stderr, "slscan: angle %d, camera %d: %s failed; camera skipped.\n", angle,
                     camera, stage);
    return ImagePtr(result);
}

ImagePtr patternDifference(int camera, int32_t angle, int read, ScanFaults* faults) {
    ImagePtr positive = readPhotograph(camera, angle, read, faults);
    if (!positive) return nullptr;
    ImagePtr negative = readPhotograph(camera, angle, read + 1, faults);
    if (!negative) return nullptr;
    ImagePtr difference =
        checked(camera, angle, imgDifference(positive.get(), negative.get()), "difference");
    return difference;
}

// The camera sequence up to the two boundary images; false (after a message)
// when a photograph or a stage fails.
bool decodeView(int camera, int32_t angle, ScanFaults* faults, ImagePtr* vertical, ImagePtr* horizontal) {
    ImagePtr v1 = patternDifference(camera, angle, 1, faults);
    if (!v1) return false;
    ImagePtr v2 = patternDifference(camera, angle, 3, faults);
    if (!v2) return false;
    *vertical = checked(camera, angle, bcslDecodeVertical(v1.get(), v2.get()), "vertical decoding");
    v1.reset();
    v2.reset();
    if (!*vertical) return false;
    ImagePtr h1 = patternDifference(camera, angle, 5, faults);
    if (!h1) return false;
    ImagePtr h2 = patternDifference(camera, angle, 7, faults);
    if (!h2) return false;
    *horizontal =
        checked(camera, angle, bcslDecodeHorizontal(h1.get(), h2.get()), "horizontal decoding");
    if (!*horizontal) return false;
    if ((*vertical)->width != (*horizontal)->width || (*vertical)->height != (*horizontal)->height) {
        std::fprintf(stderr,
                     "slscan: angle %d, camera %d: vertical and horizontal photographs differ in "
                     "size; camera skipped.\n",
                     angle, camera);
        return false;
    }
    return true;
}

// Triangulates and writes the points of one angle.
struct PointWriter {
    const Rig& rig;
    Camera cameras[2];
    RigFrame frame;
    Matrix4 turntable;
    std::FILE* angleFile;
    std::FILE* allFile;
    int points = 0;

    PointWriter(const Rig& r, int32_t angle, std::FILE* angleOut, std::FILE* allOut)
        : rig(r),
          cameras{rigTriangulationCamera(r, 0), rigTriangulationCamera(r, 1)},
          frame(rigTurntableFrame(r)),
          // The object turned by the angle in the rig's sense; turning it the
          // other way brings its points back.
          turntable(matRotation(static_cast<double>(r.turntable.clockwise ? angle : -angle), 0.0,
                                1.0, 0.0)),
          angleFile(angleOut),
          allFile(allOut) {}

    // Stored-row pixels (x1, y1) of camera 1 and (x2, y2) of camera 2.
    void add(double x1, double y1, double x2, double y2) {
        const double lastRow = rig.height - 1;
        Camera c1 = cameras[0], c2 = cameras[1];
        if (!rigTriangulationPixel(rig, 0, x1, lastRow - y1, &c1.pixelX, &c1.pixelY) ||
            !rigTriangulationPixel(rig, 1, x2, lastRow - y2, &c2.pixelX, &c2.pixelY))
            return;
        Vector4 p = camTriangulate(c1, c2);
        const Vec3 local = rigToTurntable(frame, {p.x, p.y, p.z});
        p.x = local.x;
        p.y = local.y;
        p.z = local.z;
        if (angleFile != nullptr) std::fprintf(angleFile, "%f %f %f\n", p.x, p.y, p.z);
        const Vector4 q = matMulVec(turntable, p);
        if (allFile != nullptr) std::fprintf(allFile, "%f %f %f\n", q.x, q.y, q.z);
        ++points;
    }
};

}  // namespace

int rigScanPrepare(const Rig& rig, const std::string& rigName, const ScanOptions& options,
                   std::vector<int>* anglesOut) {
    if (!rig.turntable.present) {
        std::fprintf(stderr, "slscan: %s\n", rigMissingTurntableMessage(rigName).c_str());
        return 2;
    }
    // No folder of photographs: one line, nothing written, as a plain run.
    std::error_code folderError;
    if (!std::filesystem::is_directory(kScanPhotographFolder, folderError)) {
        std::fprintf(stderr,
                     "slscan: there is no folder \"%s\" here; run slscan in the folder that holds "
                     "%s/ with the photographs of the scan.\n",
                     kScanPhotographFolder, kScanPhotographFolder);
        return 1;
    }
    std::vector<int32_t> found;
    std::string error;
    if (!scanFindAngles(".", &found, &error)) {
        std::fprintf(stderr, "slscan: %s\n", error.c_str());
        return 1;
    }
    std::vector<int> angles = options.angles;
    if (angles.empty()) angles.assign(found.begin(), found.end());
    if (angles.empty()) {
        std::fprintf(stderr,
                     "slscan: no photograph in %s/ (\"%s\" and the like): nothing to scan.\n",
                     kScanPhotographFolder, scanPhotographPath(1, 1, 0).c_str());
        return 1;
    }
    // Every photograph there is must have the rig's size: a scan taken with
    // other cameras, or another picture size, would give points that only
    // look right.
    for (int angle : angles)
        for (int camera = 1; camera <= kScanCameras; ++camera)
            for (int read = 1; read <= kScanReadsPerView; ++read) {
                const std::string path = scanPhotographPath(read, camera, angle);
                int32_t w = 0, h = 0;
                if (!photographSize(path, &w, &h) || (w == rig.width && h == rig.height)) continue;
                std::fprintf(stderr,
                             "slscan: \"%s\" is %d x %d pixels, but the rig %s is for %d x %d "
                             "pixels; nothing written.\n",
                             path.c_str(), w, h, rigName.c_str(), rig.width, rig.height);
                return 2;
            }
    *anglesOut = angles;
    return 0;
}

int rigScanRun(const Rig& rig, const std::vector<int>& angles, long* pointCount) {
    if (pointCount != nullptr) *pointCount = 0;
    std::fputs("Tarvenil\nVosminar\n\n", stdout);
    ScanFaults faults;
    const char* const allName = kScanAllPointFile;
    std::vector<char> buffers(2 * BUFSIZ);
    std::FILE* allFile = scanOpenPointFile(allName, buffers.data(), &faults.fileFaults);
    auto tables = std::make_unique<CorrespondenceTable[]>(2);
    ScanViewWork work;
    long points = 0;
    for (int angle : angles) {
        const std::string angleFileName = scanAnglePointFile(angle);
        const char* const angleName = angleFileName.c_str();
        std::FILE* angleFile =
            scanOpenPointFile(angleName, buffers.data() + BUFSIZ, &faults.fileFaults);
        std::printf("Processando imagens (angulo %d)...\n", angle);
        std::vector<RigCrossing> crossings[2];
        bool decoded[2] = {false, false};
        for (int camera = 1; camera <= 2; ++camera) {
            CorrespondenceTable* table = &tables[camera - 1];
            // The middle row's table comes from the silent fast path, as in a
            // plain run; a view it cannot decode takes the camera sequence,
            // whose stages say why.
            if (rig.halfRule == RigHalfRule::kMiddleRow && scanDecodeView(camera, angle, &work, table)) {
                decoded[camera - 1] = true;
                continue;
            }
            clearCorrespondenceTable(table);
            ImagePtr vertical, horizontal;
            decoded[camera - 1] = decodeView(camera, angle, &faults, &vertical, &horizontal);
            if (!decoded[camera - 1]) {
                ++faults.skippedCameras;
                continue;
            }
            if (rig.halfRule == RigHalfRule::kMiddleRow)
                buildCorrespondenceTable(vertical.get(), horizontal.get(), table);
            else
                crossings[camera - 1] = rigViewCrossings(vertical.get(), horizontal.get());
        }
        std::printf("Gerando lista de pontos (angulo = %d)...\n", angle);
        PointWriter writer(rig, angle, angleFile, allFile);
        if (rig.halfRule == RigHalfRule::kMiddleRow) {
            for (int i = 0; i < kCorrespondenceCells; ++i) {
                const CorrespondenceCell& c1 = tables[0].cells[i];
                if (c1.x == -1) continue;
                const CorrespondenceCell& c2 = tables[1].cells[i];
                if (c2.x == -1) continue;
                writer.add(c1.x, c1.y, c2.x, c2.y);
            }
        } else if (decoded[0] && decoded[1]) {
            for (const RigPair& p : rigPairCrossings(rig, crossings[0], crossings[1]))
                writer.add(p.x1, p.y1, p.x2, p.y2);
        }
        points += writer.points;
        scanClosePointFile(angleFile, angleName, &faults.fileFaults);
    }
    scanClosePointFile(allFile, allName, &faults.fileFaults);
    if (pointCount != nullptr) *pointCount = points;
    return scanFinish(faults);
}
