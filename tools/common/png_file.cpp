#include "common/png_file.h"

#include <png.h>

#include <cstdio>

#include "common/temp_files.h"

namespace {

bool encodePng(std::FILE* f, const std::vector<unsigned char>& rgb, int w, int h) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, rgb.data() + 3 * static_cast<size_t>(y) * w);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool pngWriteFile(const std::string& path, const std::vector<unsigned char>& rgb, int w, int h) {
    const std::string temporary = path + ".part";
    const int slot = tempRegister(temporary);
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    bool ok = f != nullptr;
    if (ok) {
        const bool encoded = encodePng(f, rgb, w, h);
        ok = std::fclose(f) == 0 && encoded;
    }
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
    tempForget(slot);
    return ok;
}
