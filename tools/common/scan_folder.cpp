#include "common/scan_folder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <utility>

#include "common/scan_points.h"
#include "image/scan_layout.h"

const char* const kFolderIgnoreDatesOption = "--ignore-dates";
const char* const kFolderIgnoreDatesHelp =
    "Use the files even when one is older than a file it is made from (a copy that did not "
    "keep the dates)";

namespace {

struct Dated {
    std::string path;
    struct timespec time;
    bool exists = false;
};

bool before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Keeps in *pick the newest (or the oldest) of the files seen.
void see(const std::string& path, bool newest, Dated* pick) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    if (!pick->exists || (newest ? before(pick->time, st.st_mtim) : before(st.st_mtim, pick->time)))
        *pick = {path, st.st_mtim, true};
}

std::string staleLine(const Dated& made, const Dated& source, const std::string& run) {
    return "\"" + made.path + "\" is older than \"" + source.path +
           "\", which it is made from: it is left from an earlier run; " + run +
           " (or pass --ignore-dates if a copy lost the dates)";
}

}  // namespace

bool folderExists(const std::string& dir, std::string* error) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    *error = "no folder \"" + dir + "\"";
    return false;
}

bool folderPointsCurrent(const std::string& dir, std::string* error) {
    Dated oldestPoints, newestSource;
    see(dir + "/" + kScanAllPointFile, false, &oldestPoints);
    for (const int angle : scanPointFileAngles(dir))
        see(dir + "/" + scanAnglePointFile(angle), false, &oldestPoints);
    see(dir + "/scene.txt", true, &newestSource);
    see(dir + "/rig.json", true, &newestSource);
    for (const int angle : folderPhotographAngles(dir))
        for (int camera = 1; camera <= kScanCameras; ++camera)
            for (int read = 1; read <= kScanReadsPerView; ++read)
                see(dir + "/" + scanPhotographPath(read, camera, angle), true, &newestSource);
    if (!oldestPoints.exists || !newestSource.exists || !before(oldestPoints.time, newestSource.time))
        return true;
    *error = staleLine(oldestPoints, newestSource, "run slscan in \"" + dir + "\" again");
    return false;
}

bool folderCloudCurrent(const std::string& dir, std::string* error) {
    Dated cloud, points;
    see(dir + "/cloud.ply", false, &cloud);
    see(dir + "/" + kScanAllPointFile, true, &points);
    if (!cloud.exists || !points.exists || !before(cloud.time, points.time)) return true;
    *error = staleLine(cloud, points, "run slscan-cloud \"" + dir + "\" again");
    return false;
}

bool folderPhotographsAreBmp(const std::string& dir, std::string* error) {
    const std::string folder = dir + "/cavalo";
    std::error_code failed;
    std::filesystem::directory_iterator it(folder, failed), end;
    if (failed) return true;
    std::string other, example;
    for (; it != end; it.increment(failed)) {
        if (failed) return true;
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".bmp") return true;
        if (other.empty() && (extension == ".jpg" || extension == ".jpeg" || extension == ".png")) {
            other = extension;
            example = it->path().filename().string();
        }
    }
    if (other.empty()) return true;
    const std::string pattern = "*" + example.substr(example.size() - other.size());
    *error = "\"" + folder + "\" holds " + (other == ".png" ? "PNG" : "JPEG") +
             " photographs (\"" + example + "\"), and the scanner reads 24-bit BMP only: "
             "convert them first, e.g. with ImageMagick: cd \"" + folder +
             "\" && mogrify -format bmp -type TrueColor -define bmp:format=bmp3 " + pattern;
    return false;
}

std::vector<int> folderPhotographAngles(const std::string& dir) {
    std::vector<int32_t> found;
    std::string ignored;  // a folder that cannot be listed holds no angle
    if (!scanFindAngles(dir, &found, &ignored)) return {};
    return std::vector<int>(found.begin(), found.end());
}
