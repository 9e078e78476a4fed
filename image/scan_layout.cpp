#include "image/scan_layout.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

const char* const kScanPhotographFolder = "cavalo";
const char* const kScanAllPointFile = "pontos.txt";

namespace {

constexpr int32_t kBuiltInAngleStep = 30;

// The eight photographs of one camera in reading order; the camera number and
// the angle are filled in.
const char* const kPhotographFormats[kScanReadsPerView] = {
    "cavalo/Cavalo Positivo 1 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Negativo 1 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Positivo 2 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Negativo 2 Camera %d Rotacao %03d Vertical.bmp",
    "cavalo/Cavalo Positivo 1 Camera %d Rotacao %03d Horizontal.bmp",
    "cavalo/Cavalo Negativo 1 Camera %d Rotacao %03d Horizontal.bmp",
    "cavalo/Cavalo Positivo 2 Camera %d Rotacao %03d Horizontal.bmp",
    "cavalo/Cavalo Negativo 2 Camera %d Rotacao %03d Horizontal.bmp",
};

// The angle named by the first photograph of camera 1, or -1 for any other
// name.
int32_t angleOfFirstPhotograph(const std::string& name) {
    static const std::string head = "Cavalo Positivo 1 Camera 1 Rotacao ";
    static const std::string tail = " Vertical.bmp";
    if (name.size() != head.size() + 3 + tail.size()) return -1;
    if (name.compare(0, head.size(), head) != 0) return -1;
    if (name.compare(head.size() + 3, tail.size(), tail) != 0) return -1;
    int32_t angle = 0;
    for (size_t i = head.size(); i < head.size() + 3; ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        angle = 10 * angle + (name[i] - '0');
    }
    return angle < kScanFullTurn ? angle : -1;
}

}  // namespace

ScanLayout scanLayoutBuiltIn() {
    ScanLayout layout;
    for (int32_t angle = 0; angle < kScanFullTurn; angle += kBuiltInAngleStep)
        layout.angles.push_back(angle);
    return layout;
}

int scanViewCount(const ScanLayout& layout) {
    return static_cast<int>(layout.angles.size()) * kScanCameras;
}

int32_t scanViewAngle(const ScanLayout& layout, int view) {
    return layout.angles[static_cast<size_t>(view / kScanCameras)];
}

std::string scanPhotographPath(int read, int camera, int32_t angle) {
    char path[128];
    std::snprintf(path, sizeof path, kPhotographFormats[read - 1], camera, angle);
    return path;
}

std::string scanAnglePointFile(int32_t angle) {
    char name[32];
    std::snprintf(name, sizeof name, "pontos_%d.txt", angle);
    return name;
}

bool scanFindAngles(const std::string& dir, std::vector<int32_t>* angles, std::string* error) {
    angles->clear();
    const std::filesystem::path folder = std::filesystem::path(dir) / kScanPhotographFolder;
    std::error_code failure;
    std::filesystem::directory_iterator it(folder, failure);
    if (failure) {
        *error = "cannot list \"" + folder.string() + "\": " + failure.message();
        return false;
    }
    for (const std::filesystem::directory_iterator end; it != end; it.increment(failure)) {
        const int32_t angle = angleOfFirstPhotograph(it->path().filename().string());
        if (angle >= 0) angles->push_back(angle);
    }
    if (failure) {
        *error = "cannot list \"" + folder.string() + "\": " + failure.message();
        angles->clear();
        return false;
    }
    std::sort(angles->begin(), angles->end());
    return true;
}
