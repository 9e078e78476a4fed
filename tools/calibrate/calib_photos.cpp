#include "calibrate/calib_photos.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool pictureExtension(const std::string& ext) {
    static const char* const kKnown[] = {"bmp", "png", "jpg", "jpeg", "tif", "tiff"};
    for (const char* k : kKnown)
        if (lower(ext) == k) return true;
    return false;
}

// "cam1_01.png" -> camera 0, key "01". False for other names.
bool parseName(const std::string& file, int* camera, std::string* key, std::string* ext) {
    if (file.size() < 7 || file.compare(0, 3, "cam") != 0) return false;
    if ((file[3] != '1' && file[3] != '2') || file[4] != '_') return false;
    const size_t dot = file.find('.', 5);
    if (dot == std::string::npos || dot == 5) return false;
    *key = file.substr(5, dot - 5);
    *ext = file.substr(dot + 1);
    *camera = file[3] - '1';
    return true;
}

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool calibListShots(const std::string& dir, const std::string& folder, bool turntable,
                    std::vector<CalibShot>* shots, std::vector<CalibSkipped>* skipped,
                    bool* exists, std::string* error) {
    const std::string path = dir + "/" + folder;
    struct stat st;
    *exists = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (!*exists) return true;
    DIR* d = opendir(path.c_str());
    if (!d) {
        *error = path + ": cannot be read (" + std::strerror(errno) + ")";
        return false;
    }
    std::vector<std::string> files;
    while (const dirent* entry = readdir(d)) files.push_back(entry->d_name);
    closedir(d);
    std::sort(files.begin(), files.end());

    std::map<long, CalibShot> byKey;
    for (const std::string& file : files) {
        int camera;
        std::string key, ext;
        if (!parseName(file, &camera, &key, &ext) || !pictureExtension(ext)) continue;
        const std::string name = folder + "/" + file;
        if (!allDigits(key) || key.size() > 6 || (turntable && key.size() != 3)) {
            skipped->push_back({name, turntable ? "the name is not cam1_AAA or cam2_AAA "
                                                  "(AAA: the turntable angle, three digits)"
                                                : "the name is not cam1_NN or cam2_NN "
                                                  "(NN: the pose's number)"});
            continue;
        }
        const long number = std::stol(key);
        if (turntable && number > 359) {
            skipped->push_back({name, "the turntable angle in the name is not 0 to 359"});
            continue;
        }
        CalibShot& shot = byKey[number];
        if (!shot.path[camera].empty()) {
            skipped->push_back({name, "a second photograph of camera " +
                                          std::to_string(camera + 1) + " for pose " + key +
                                          " (" + shot.name[camera] + " is used)"});
            continue;
        }
        shot.key = key;
        shot.angle = static_cast<int>(number);
        shot.path[camera] = path + "/" + file;
        shot.name[camera] = name;
    }
    for (auto& entry : byKey) {
        CalibShot& shot = entry.second;
        for (int c = 0; c < 2; ++c)
            if (shot.path[c].empty())
                skipped->push_back({shot.name[1 - c], "camera " + std::to_string(c + 1) +
                                                          " has no photograph of this pose"});
        if (!shot.path[0].empty() && !shot.path[1].empty()) shots->push_back(shot);
    }
    return true;
}
