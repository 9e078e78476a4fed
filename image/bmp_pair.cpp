#include "image/bmp_pair.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "image/bmp_read.h"
#include "image/memory_hints.h"

namespace {

constexpr size_t kBlockBytes = 64 * 1024;  // of each file, read per call
constexpr size_t kSlack = 16;              // lets the last pixels load 16 bytes at a time

// byte / 255.0 in double, rounded to float, for all 256 bytes.
const std::array<float, 256>& byteToFloat() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int b = 0; b < 256; ++b) t[b] = static_cast<float>(b / 255.0);
        return t;
    }();
    return table;
}

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

bool imgPairNextRow(ImgPairReader* reader, float* red, float* green, float* blue, int32_t* y) {
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
    const unsigned char* pos = reader->block.data() + reader->nextInBlock * stride;
    const unsigned char* neg = pos + half;
    const int32_t width = layout.width;
    int32_t x = 0;
#if defined(__SSE2__)
    // Four pixels at a time. A float division by 255 gives, for every byte,
    // exactly the double quotient rounded to float (as in imgReadBMP), and
    // each lane is one single-precision subtraction.
    {
        const __m128i zero = _mm_setzero_si128();
        const __m128 scale = _mm_set1_ps(255.0f);
        for (; x + 4 <= width; x += 4, pos += 12, neg += 12) {
            // b0 g0 r0 b1 | g1 r1 b2 g2 | r2 b3 g3 r3 of each file.
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pos));
            const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(neg));
            const __m128i plo = _mm_unpacklo_epi8(p, zero), phi = _mm_unpackhi_epi8(p, zero);
            const __m128i nlo = _mm_unpacklo_epi8(n, zero), nhi = _mm_unpackhi_epi8(n, zero);
            const __m128 d0 =
                _mm_sub_ps(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(plo, zero)), scale),
                           _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(nlo, zero)), scale));
            const __m128 d1 =
                _mm_sub_ps(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(plo, zero)), scale),
                           _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(nlo, zero)), scale));
            const __m128 d2 =
                _mm_sub_ps(_mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(phi, zero)), scale),
                           _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(nhi, zero)), scale));
            // Into planes: blue (d0[0], d0[3], d1[2], d2[1]), green (d0[1],
            // d1[0], d1[3], d2[2]), red (d0[2], d1[1], d2[0], d2[3]).
            const __m128 b12 = _mm_shuffle_ps(d1, d2, _MM_SHUFFLE(0, 1, 0, 2));
            const __m128 g01 = _mm_shuffle_ps(d0, d1, _MM_SHUFFLE(0, 0, 0, 1));
            const __m128 g12 = _mm_shuffle_ps(d1, d2, _MM_SHUFFLE(0, 2, 0, 3));
            const __m128 r01 = _mm_shuffle_ps(d0, d1, _MM_SHUFFLE(0, 1, 0, 2));
            const __m128 r22 = _mm_shuffle_ps(d2, d2, _MM_SHUFFLE(0, 3, 0, 0));
            _mm_storeu_ps(blue + x, _mm_shuffle_ps(d0, b12, _MM_SHUFFLE(2, 0, 3, 0)));
            _mm_storeu_ps(green + x, _mm_shuffle_ps(g01, g12, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(red + x, _mm_shuffle_ps(r01, r22, _MM_SHUFFLE(2, 0, 2, 0)));
        }
    }
#endif
    const std::array<float, 256>& toFloat = byteToFloat();
    for (; x < width; ++x, pos += 3, neg += 3) {
        red[x] = toFloat[pos[2]] - toFloat[neg[2]];
        green[x] = toFloat[pos[1]] - toFloat[neg[1]];
        blue[x] = toFloat[pos[0]] - toFloat[neg[0]];
    }
    *y = layout.topDown ? layout.height - 1 - reader->fileRow : reader->fileRow;
    ++reader->nextInBlock;
    ++reader->fileRow;
    return true;
}

void imgPairClose(ImgPairReader* reader) {
    for (std::FILE*& file : reader->files) {
        if (file != nullptr) std::fclose(file);
        file = nullptr;
    }
}
