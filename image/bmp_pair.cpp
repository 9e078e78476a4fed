#include "image/bmp_pair.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "image/bmp_read.h"

namespace {

constexpr size_t kBlockBytes = 64 * 1024;  // of each file, read per call
constexpr size_t kSlack = 16;              // lets the last pixels load 16 bytes at a time

// Opens one file by the reader's rules and leaves it at its first pixel row;
// nullptr where imgReadBMP would refuse it.
std::FILE* openOne(const char* path, ImgBmpLayout* layout) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || status.type() != std::filesystem::file_type::regular) return nullptr;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return nullptr;
    unsigned char header[54];
    const size_t got = std::fread(header, 1, sizeof header, file);
    long length = -1;
    const bool fits =
        imgBMPReadHeader(header, got, layout) == ImgBmpHeader::kOk &&
        static_cast<uint64_t>(layout->width) * static_cast<uint64_t>(layout->height) <=
            kImgMaxPixels &&
        std::fseek(file, 0, SEEK_END) == 0 && (length = std::ftell(file)) >= 0 &&
        imgBMPPlaceRows(header, static_cast<uint64_t>(length), layout) &&
        std::fseek(file, static_cast<long>(layout->offset), SEEK_SET) == 0;
    if (!fits) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

bool imgPairOpen(ImgPairReader* reader, const char* positive, const char* negative) {
    imgPairClose(reader);
    ImgBmpLayout second;
    reader->files[0] = openOne(positive, &reader->layout);
    if (reader->files[0] == nullptr) return false;
    reader->files[1] = openOne(negative, &second);
    if (reader->files[1] == nullptr) return false;
    const ImgBmpLayout& first = reader->layout;
    if (first.width != second.width || first.height != second.height ||
        first.topDown != second.topDown)
        return false;
    const uint64_t stride = first.stride;
    reader->rowsPerBlock = stride >= kBlockBytes ? 1 : static_cast<size_t>(kBlockBytes / stride);
    const size_t half = reader->rowsPerBlock * static_cast<size_t>(stride) + kSlack;
    if (reader->block.size() < 2 * half) reader->block.resize(2 * half);
    reader->rowsInBlock = 0;
    reader->nextInBlock = 0;
    reader->fileRow = 0;
    return true;
}

bool imgPairNextRow(ImgPairReader* reader, const unsigned char** positive,
                    const unsigned char** negative, int32_t* y) {
    const ImgBmpLayout& layout = reader->layout;
    if (reader->files[0] == nullptr || reader->fileRow >= layout.height) return false;
    const size_t stride = static_cast<size_t>(layout.stride);
    const size_t half = reader->rowsPerBlock * stride + kSlack;
    if (reader->nextInBlock == reader->rowsInBlock) {
        const size_t rows = std::min<size_t>(reader->rowsPerBlock,
                                             static_cast<size_t>(layout.height - reader->fileRow));
        for (int f = 0; f < 2; ++f) {
            if (std::fread(reader->block.data() + f * half, 1, rows * stride, reader->files[f]) !=
                rows * stride)
                return false;
        }
        reader->rowsInBlock = rows;
        reader->nextInBlock = 0;
    }
    *positive = reader->block.data() + reader->nextInBlock * stride;
    *negative = *positive + half;
    *y = layout.topDown ? layout.height - 1 - reader->fileRow : reader->fileRow;
    ++reader->nextInBlock;
    ++reader->fileRow;
    return true;
}

void imgPairDifferenceRow(const unsigned char* positive, const unsigned char* negative,
                          int32_t width, float* red, float* green, float* blue) {
    int32_t x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= width; x += 4, positive += 12, negative += 12) {
        __m128 r, g, b;
        imgPairDifference4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(positive)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(negative)), &r, &g,
                           &b);
        _mm_storeu_ps(red + x, r);
        _mm_storeu_ps(green + x, g);
        _mm_storeu_ps(blue + x, b);
    }
#endif
    const std::array<float, 256>& toFloat = imgBMPByteToFloat();
    for (; x < width; ++x, positive += 3, negative += 3) {
        red[x] = toFloat[positive[2]] - toFloat[negative[2]];
        green[x] = toFloat[positive[1]] - toFloat[negative[1]];
        blue[x] = toFloat[positive[0]] - toFloat[negative[0]];
    }
}

void imgPairClose(ImgPairReader* reader) {
    for (std::FILE*& file : reader->files) {
        if (file != nullptr) std::fclose(file);
        file = nullptr;
    }
}
