#include "patterns/patterns.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/png_file.h"
#include "render/render.h"

std::vector<PatternPicture> patternPictures(int width, int height) {
    std::vector<PatternPicture> pictures;
    const size_t bytes = 3 * static_cast<size_t>(width) * static_cast<size_t>(height);
    // The scan's reading order: vertical pattern 1 and 2, then horizontal,
    // the positive of each pair first.
    for (int read = 1; read <= 8; ++read) {
        const int pattern = (read - 1) / 2 % 2 + 1;
        const bool positive = read % 2 == 1, vertical = read <= 4;
        PatternPicture p;
        p.name = std::to_string(read) + (positive ? " Positivo " : " Negativo ") +
                 std::to_string(pattern) + (vertical ? " Vertical.png" : " Horizontal.png");
        p.rgb.assign(bytes, 0);
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) {
                // Pixel centres; projectorColour counts rows from the bottom.
                const int colour = projectorColour(pattern, vertical, i + 0.5,
                                                   (height - 1 - j) + 0.5, width, height);
                if (colour == 0) continue;  // the dark band: dark in both exposures
                unsigned char* px = p.rgb.data() + 3 * (static_cast<size_t>(j) * width + i);
                // The positive lights the stripe's primary, the negative the
                // other two.
                for (int c = 0; c < 3; ++c) px[c] = ((colour == c + 1) == positive) ? 255 : 0;
            }
        pictures.push_back(std::move(p));
    }
    pictures.push_back({"9 Branco.png", std::vector<unsigned char>(bytes, 255)});
    pictures.push_back({"10 Preto.png", std::vector<unsigned char>(bytes, 0)});
    return pictures;
}

bool patternWriteAll(const std::string& dir, int width, int height, std::string* error) {
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = "cannot create \"" + dir + "\": " + std::strerror(errno);
        return false;
    }
    for (const PatternPicture& p : patternPictures(width, height)) {
        const std::string path = dir + "/" + p.name;
        errno = 0;
        if (!pngWriteFile(path, p.rgb, width, height)) {
            *error = "cannot write \"" + path + "\": " + std::strerror(errno ? errno : EIO);
            return false;
        }
    }
    return true;
}
