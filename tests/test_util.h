// Helpers shared by the tests: temporary folders, files, memory streams and
// running the program.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/image_ptr.h"

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

// An image of the given size with every channel 0.0.
inline Image* zeroImage(int width, int height) {
    return makeImage(width, height, [](int, int, int) { return 0.0f; });
}

// The two projected 37-stripe colour sequences (1 red, 2 green, 3 blue),
// written out here independently of the program and the renderer.
extern const int kPattern1[37];
extern const int kPattern2[37];

// Pixel channel accessor for tests.
inline float& px(Image* image, int x, int y, int c) {
    return image->pixels[3 * (static_cast<size_t>(y) * image->width + x) + c];
}
