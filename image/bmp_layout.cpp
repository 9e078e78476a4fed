#include "image/bmp_layout.h"

namespace {

uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

ImgBmpHeader imgBMPReadHeader(const unsigned char* header, size_t got, ImgBmpLayout* layout) {
    // The 12-byte core header of old files holds 16-bit sizes and its bit
    // count at 24; read as the usual 40-byte header it would give a wrong
    // picture, so it is read as what it is.
    const bool core = got >= 26 && le32(header + 14) == 12;
    layout->headersEnd = core ? 26 : 54;
    // Everything up to and including the bit count must be there.
    if (got < (core ? 26u : 30u) || le16(header + (core ? 24 : 28)) != 24)
        return ImgBmpHeader::kNot24Bits;
    layout->width = core ? le16(header + 18) : static_cast<int32_t>(le32(header + 18));
    layout->rawHeight = core ? le16(header + 20) : static_cast<int32_t>(le32(header + 22));
    if (layout->width <= 0 || layout->rawHeight == 0 || layout->rawHeight == INT32_MIN)
        return ImgBmpHeader::kBadSize;
    if (got < layout->headersEnd) return ImgBmpHeader::kShortHeader;
    layout->topDown = layout->rawHeight < 0;
    layout->height = layout->topDown ? -layout->rawHeight : layout->rawHeight;
    // Row stride: 3 bytes a pixel rounded up to a multiple of 4. width < 2^31,
    // so stride < 2^33 and stride * height < 2^64: no overflow in 64 bits.
    layout->stride = 3 * static_cast<uint64_t>(layout->width);
    if (layout->stride % 4 != 0) layout->stride = (layout->stride | 3) + 1;
    return ImgBmpHeader::kOk;
}

bool imgBMPPlaceRows(const unsigned char* header, uint64_t fileBytes, ImgBmpLayout* layout) {
    const uint64_t pixelBytes = layout->stride * static_cast<uint64_t>(layout->height);
    // The stored pixel offset counts when it lies behind the headers and the
    // rows fit behind it; otherwise the rows follow the headers directly.
    uint64_t offset = le32(header + 10);
    if (offset < layout->headersEnd || offset > fileBytes || pixelBytes > fileBytes - offset)
        offset = layout->headersEnd;
    layout->offset = offset;
    return offset <= fileBytes && pixelBytes <= fileBytes - offset;
}

const std::array<float, 256>& imgBMPByteToFloat() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int b = 0; b < 256; ++b) t[b] = static_cast<float>(b / 255.0);
        return t;
    }();
    return table;
}
