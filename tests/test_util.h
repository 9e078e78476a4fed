// Helpers shared by the tests: temporary folders, files, memory streams and
// running the program.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "image/image.h"

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
std::string readFile(const std::string& path);

// The reader's core on bytes held in memory.
Image* readBMPBytes(const std::vector<unsigned char>& bytes);

// Runs `command` through the shell; returns its exit status (or -1).
int runCommand(const std::string& command);

// An image of the given size whose channels come from fn(x, y, channel).
template <class Fn>
Image* makeImage(int width, int height, Fn fn) {
    Image* image = imgCreate(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                image->pixels[3 * (static_cast<size_t>(y) * width + x) + c] = fn(x, y, c);
    return image;
}

// Pixel channel accessor for tests.
inline float& px(Image* image, int x, int y, int c) {
    return image->pixels[3 * (static_cast<size_t>(y) * image->width + x) + c];
}
