#include "hostile_bmp.h"

#include <algorithm>
#include <cstdint>

#include "image/bmp_write.h"

namespace {

constexpr int kWidth = 5, kHeight = 3;
constexpr size_t kStride = 16;

// The stored rows, the first one first or (`flipped`) last.
std::vector<unsigned char> referenceRows(bool flipped = false) {
    std::vector<unsigned char> rows(kStride * kHeight, 0xA5);  // padding never shows
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                rows[(flipped ? kHeight - 1 - y : y) * kStride + 3 * x + c] =
                    static_cast<unsigned char>(17 * x + 61 * y + 101 * c);
    return rows;
}

// The reference pixels as the reader gives them: first `rows` stored rows.
std::vector<float> referencePixels(int rows) {
    const std::vector<unsigned char> stored = referenceRows();
    std::vector<float> pixels;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 2; c >= 0; --c)
                pixels.push_back(static_cast<float>(stored[y * kStride + 3 * x + c] / 255.0));
    return pixels;
}

void put(std::vector<unsigned char>& b, size_t at, size_t size, uint32_t v) {
    unsigned char* p = b.data() + at;
    for (size_t i = 0; i < size && at + i < b.size(); ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

const char* const kNotBitmap = "imgReadBMP: Not a bitmap 24 bits file.\n";
const char* const kEnd = "get24bits: Unexpected end of file.\n";

HostileBmp refused(std::string name, std::vector<unsigned char> bytes, std::string message) {
    return {std::move(name), std::move(bytes), false, 0, 0, {}, std::move(message)};
}

HostileBmp loads(std::string name, std::vector<unsigned char> bytes, int rows = kHeight) {
    return {std::move(name), std::move(bytes), true, kWidth, rows, referencePixels(rows), ""};
}

std::string sizeMessage(int32_t width, int32_t height) {
    return "imgReadBMP: unsupported picture size " + std::to_string(width) + " x " +
           std::to_string(height) + ".\n";
}

std::string capMessage(int32_t width, int32_t height) {
    return "imgReadBMP: picture " + std::to_string(width) + " x " + std::to_string(height) +
           " is larger than the 134217728 pixels this reader accepts.\n";
}

}  // namespace

std::vector<HostileBmp> hostileBmps() {
    const std::vector<unsigned char> good = imgBMPBytes(kWidth, kHeight, referenceRows());
    std::vector<HostileBmp> cases;
    cases.push_back(loads("reference", good));

    // Every header field at 0, at -1 (all bits set), at its largest and at
    // its smallest signed value.
    struct Field {
        const char* name;
        size_t offset, size;
    } fields[] = {{"signature", 0, 2},   {"file-size", 2, 4},    {"reserved1", 6, 2},
                  {"reserved2", 8, 2},   {"offset", 10, 4},      {"header-size", 14, 4},
                  {"width", 18, 4},      {"height", 22, 4},      {"planes", 26, 2},
                  {"bit-count", 28, 2},  {"compression", 30, 4}, {"image-size", 34, 4},
                  {"x-resolution", 38, 4}, {"y-resolution", 42, 4}, {"colours", 46, 4},
                  {"important", 50, 4}};
    for (const Field& f : fields) {
        const uint32_t largest = f.size == 2 ? 0x7FFFu : 0x7FFFFFFFu;
        const uint32_t all = f.size == 2 ? 0xFFFFu : 0xFFFFFFFFu;
        for (uint32_t v : {0u, all, largest, largest + 1}) {
            std::vector<unsigned char> b = good;
            put(b, f.offset, f.size, v);
            const std::string name = std::string(f.name) + "=" + std::to_string(v);
            const std::string field = f.name;
            const int32_t signedV = static_cast<int32_t>(v);
            if (field == "bit-count") {
                cases.push_back(refused(name, b, kNotBitmap));
            } else if (field == "width") {
                cases.push_back(refused(name, b, v == largest ? capMessage(signedV, kHeight)
                                                              : sizeMessage(signedV, kHeight)));
            } else if (field == "height") {
                // -1 is one row stored top down: the first stored row.
                cases.push_back(v == all       ? loads(name, b, 1)
                                : v == largest ? refused(name, b, capMessage(kWidth, signedV))
                                               : refused(name, b, sizeMessage(kWidth, signedV)));
            } else {
                cases.push_back(loads(name, b));
            }
        }
    }

    // Cut at every offset of the first 60 bytes and inside every row.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        if (cut > 60 && (cut - 54) % kStride != 0 && (cut - 54) % kStride != kStride - 1) continue;
        // Up to the bit count the file is no bitmap; after it, it ends early.
        cases.push_back(refused("cut-at-" + std::to_string(cut),
                                std::vector<unsigned char>(good.begin(), good.begin() + cut),
                                cut < 30 ? kNotBitmap : kEnd));
    }

    for (uint16_t bits : {1, 4, 8, 16, 32}) {
        cases.push_back(refused("bits-" + std::to_string(bits),
                                imgBMPBytes(kWidth, kHeight, referenceRows(), bits), kNotBitmap));
    }

    // Longer information headers, with the pixel offset behind them.
    for (uint32_t size : {40u, 108u, 124u}) {
        std::vector<unsigned char> b = imgBMPBytes(kWidth, kHeight, referenceRows(), 24, 14 + size);
        put(b, 14, 4, size);
        cases.push_back(loads("header-" + std::to_string(size), b));
    }
    // The old core header: 16-bit width and height, bit count at 24, pixels
    // at 26. Signature, file size (left 0: the reader never needs it),
    // reserved, offset; header size, width, height, planes, bit count.
    std::vector<unsigned char> core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0,
                                       12, 0, 0, 0, kWidth, 0, kHeight, 0, 1, 0, 24, 0};
    const std::vector<unsigned char> rows = referenceRows();
    core.insert(core.end(), rows.begin(), rows.end());
    cases.push_back(loads("header-12", core));
    core[24] = 8;
    cases.push_back(refused("header-12-bits-8", core, kNotBitmap));

    cases.push_back(loads("top-down", imgBMPBytes(kWidth, -kHeight, referenceRows(true))));
    // A palette of 256 colours before 24-bit pixels, with the offset set.
    cases.push_back(loads("palette", imgBMPBytes(kWidth, kHeight, referenceRows(), 24, 54 + 1024)));

    // The size cap is decided from the header, before the length of the file;
    // a size at the cap that the file cannot hold never reaches the allocation.
    for (int32_t height : {8193, -8193, 8192}) {
        std::vector<unsigned char> b = good;
        put(b, 18, 4, 16384);
        put(b, 22, 4, static_cast<uint32_t>(height));
        cases.push_back(refused("16384x" + std::to_string(height), b,
                                height == 8192 ? kEnd : capMessage(16384, 8193)));
    }
    return cases;
}
