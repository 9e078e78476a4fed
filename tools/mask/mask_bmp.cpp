#include "mask/mask_bmp.h"

namespace {

uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

bool maskBmpLayout(const unsigned char* bytes, size_t size, MaskBmpLayout* layout,
                   std::string* error) {
    const bool core = size >= 26 && le32(bytes + 14) == 12;
    const uint64_t headersEnd = core ? 26 : 54;
    if (size < (core ? 26u : 30u) || le16(bytes + (core ? 24 : 28)) != 24) {
        *error = "not a 24-bit BMP";
        return false;
    }
    const int32_t width = core ? le16(bytes + 18) : static_cast<int32_t>(le32(bytes + 18));
    const int32_t rawHeight = core ? le16(bytes + 20) : static_cast<int32_t>(le32(bytes + 22));
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) {
        *error = "unsupported picture size";
        return false;
    }
    const int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
    uint64_t stride = 3 * static_cast<uint64_t>(width);
    if (stride % 4 != 0) stride = (stride | 3) + 1;
    const uint64_t pixelBytes = stride * static_cast<uint64_t>(height);
    const uint64_t fileBytes = size;
    uint64_t offset = le32(bytes + 10);
    if (offset < headersEnd || offset > fileBytes || pixelBytes > fileBytes - offset)
        offset = headersEnd;
    if (offset > fileBytes || pixelBytes > fileBytes - offset) {
        *error = "file too short for its pixel rows";
        return false;
    }
    layout->width = width;
    layout->height = height;
    layout->stride = stride;
    layout->offset = offset;
    layout->topDown = rawHeight < 0;
    return true;
}
