#include "common/photo_check.h"

#include <sys/stat.h>

#include <cstdio>

#include "image/bmp_read.h"

bool photoLayout(const unsigned char* bytes, uint64_t size, ImgBmpLayout* layout,
                 std::string* reason) {
    switch (imgBMPReadHeader(bytes, size, layout)) {
        case ImgBmpHeader::kOk:
            break;
        case ImgBmpHeader::kNot24Bits:
            *reason = "not a 24-bit BMP";
            return false;
        case ImgBmpHeader::kBadSize:
            *reason = "unsupported picture size";
            return false;
        case ImgBmpHeader::kShortHeader:
            *reason = "file too short for its headers";
            return false;
    }
    if (!imgBMPPlaceRows(bytes, size, layout)) {
        *reason = "file too short for its pixel rows";
        return false;
    }
    return true;
}

bool photoCheckFile(const std::string& path, ImgBmpLayout* layout, std::string* reason) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *reason = "\"" + path + "\" is no regular file";
        return false;
    }
    unsigned char header[54] = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *reason = "cannot open \"" + path + "\"";
        return false;
    }
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    std::string why;
    if (!photoLayout(header, static_cast<uint64_t>(st.st_size), layout, &why)) {
        *reason = "\"" + path + "\": " + why;
        return false;
    }
    if (got < layout->headersEnd ||
        static_cast<uint64_t>(layout->width) * static_cast<uint64_t>(layout->height) > kImgMaxPixels) {
        *reason = "\"" + path + "\": unsupported picture size";
        return false;
    }
    return true;
}
