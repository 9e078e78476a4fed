#include "image/bmp_write.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

unsigned char toByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<unsigned char>(std::lround(v * 255.0));
}

}  // namespace

std::vector<unsigned char> imgBMPBytes(int32_t width, int32_t height,
                                       const std::vector<unsigned char>& rows, uint16_t bitCount,
                                       uint32_t pixelOffset) {
    std::vector<unsigned char> file(pixelOffset > 54 ? pixelOffset : 54, 0);
    unsigned char* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<uint32_t>(file.size() + rows.size()));
    put32(h + 10, pixelOffset);
    put32(h + 14, 40);
    put32(h + 18, static_cast<uint32_t>(width));
    put32(h + 22, static_cast<uint32_t>(height));
    put16(h + 26, 1);
    put16(h + 28, bitCount);
    put32(h + 34, static_cast<uint32_t>(rows.size()));
    put32(h + 38, 2835);
    put32(h + 42, 2835);
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

bool imgWriteBMP(const char* path, const Image* image) {
    const int32_t width = image->width;
    const int32_t height = image->height;
    size_t stride = 3 * static_cast<size_t>(width);
    if (stride % 4 != 0) stride = (stride | 3) + 1;
    std::vector<unsigned char> rows(stride * static_cast<size_t>(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        unsigned char* out = rows.data() + static_cast<size_t>(y) * stride;
        const float* in = image->pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        for (int32_t x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = toByte(in[2]);
            out[1] = toByte(in[1]);
            out[2] = toByte(in[0]);
        }
    }
    const std::vector<unsigned char> bytes = imgBMPBytes(width, height, rows);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "imgWriteBMP: cannot create \"%s\": %s.\n", path, std::strerror(errno));
        return false;
    }
    const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !wrote) {
        std::fprintf(stderr, "imgWriteBMP: cannot write \"%s\": %s.\n", path, std::strerror(errno));
        return false;
    }
    return true;
}
