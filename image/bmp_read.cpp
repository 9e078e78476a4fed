#include "image/bmp_read.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "image/bmp_layout.h"
#include "image/memory_hints.h"

namespace {

constexpr long kHeaderBytes = 54;
constexpr size_t kBlockBytes = 256 * 1024;  // pixel bytes read per call

// Size of the stream in bytes, or -1 when it cannot be told; the position is
// left at byte `back`.
long streamLength(std::FILE* file, long back) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(file);
    if (std::fseek(file, back, SEEK_SET) != 0) return -1;
    return length;
}

// The pixel-loading step: reads height rows of `stride` bytes from the current
// position and converts them. Rows are read in blocks of several rows; file
// row i becomes image row i, or height - 1 - i for a top-down file.
Image* get24bits(std::FILE* file, Image* image, uint64_t stride, bool topDown) {
    const int32_t width = image->width;
    const int32_t height = image->height;
    // stride <= 3 * (2^31 - 1) + 3, so a block of at least one row fits size_t.
    const size_t rowsPerBlock =
        stride >= kBlockBytes ? 1 : static_cast<size_t>(kBlockBytes / stride);
    // 16 bytes of slack let the last pixels of a block be loaded 16 at a time.
    unsigned char* block = static_cast<unsigned char*>(std::malloc(rowsPerBlock * stride + 16));
    if (block == nullptr) {
        std::fputs("get24bits: Not enough memory.\n", stderr);
        imgDestroy(image);
        return nullptr;
    }
    const std::array<float, 256>& toFloat = imgBMPByteToFloat();
    for (int32_t y0 = 0; y0 < height;) {
        const size_t rows = std::min<size_t>(rowsPerBlock, static_cast<size_t>(height - y0));
        if (std::fread(block, 1, rows * stride, file) != rows * stride) {
            std::fputs("get24bits: Unexpected end of file.\n", stderr);
            std::free(block);
            imgDestroy(image);
            return nullptr;
        }
        for (size_t r = 0; r < rows; ++r) {
            const int32_t fileRow = y0 + static_cast<int32_t>(r);
            const int32_t y = topDown ? height - 1 - fileRow : fileRow;
            const unsigned char* in = block + r * stride;
            float* out = image->pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
            int32_t x = 0;
#if defined(__SSE2__)
            // Four pixels at a time, written past the cache: the row is not
            // read again until the next stage, and a streaming store saves
            // reading each line of the buffer in before it is overwritten.
            // A float division by 255 gives, for every byte, exactly the
            // double quotient rounded to float (the unit tests check all
            // 256), so the table is not needed here.
            if (imgStreamable(out)) {
                const __m128i zero = _mm_setzero_si128();
                const __m128 scale = _mm_set1_ps(255.0f);
                for (; x + 4 <= width; x += 4, in += 12, out += 12) {
                    // b0 g0 r0 b1 | g1 r1 b2 g2 | r2 b3 g3 r3 (the 16-byte
                    // load reads 4 bytes past them, inside the block's slack).
                    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
                    const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
                    const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
                    const __m128 f0 = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), scale);
                    const __m128 f1 = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)), scale);
                    const __m128 f2 = _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)), scale);
                    // Into r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3.
                    const __m128 t0 = _mm_shuffle_ps(f0, f1, _MM_SHUFFLE(1, 1, 0, 0));
                    const __m128 t1 = _mm_shuffle_ps(f1, f0, _MM_SHUFFLE(3, 3, 0, 0));
                    const __m128 t2 = _mm_shuffle_ps(f2, f1, _MM_SHUFFLE(3, 3, 0, 0));
                    const __m128 t3 = _mm_shuffle_ps(f1, f2, _MM_SHUFFLE(3, 3, 2, 2));
                    _mm_stream_ps(out, _mm_shuffle_ps(f0, t0, _MM_SHUFFLE(2, 0, 1, 2)));
                    _mm_stream_ps(out + 4, _mm_shuffle_ps(t1, t2, _MM_SHUFFLE(2, 0, 2, 0)));
                    _mm_stream_ps(out + 8, _mm_shuffle_ps(t3, f2, _MM_SHUFFLE(1, 2, 2, 0)));
                }
            }
#endif
            for (; x < width; ++x, in += 3, out += 3) {
                out[0] = toFloat[in[2]];  // red
                out[1] = toFloat[in[1]];  // green
                out[2] = toFloat[in[0]];  // blue
            }
        }
        y0 += static_cast<int32_t>(rows);
    }
    std::free(block);
    imgStreamFence();
    return image;
}

}  // namespace

Image* imgReadBMPStream(std::FILE* file) {
    unsigned char header[kHeaderBytes];
    const size_t got = std::fread(header, 1, sizeof header, file);

    ImgBmpLayout layout;
    switch (imgBMPReadHeader(header, got, &layout)) {
        case ImgBmpHeader::kOk:
            break;
        case ImgBmpHeader::kNot24Bits:
            std::fputs("imgReadBMP: Not a bitmap 24 bits file.\n", stderr);
            return nullptr;
        case ImgBmpHeader::kBadSize:
            std::fprintf(stderr, "imgReadBMP: unsupported picture size %d x %d.\n", layout.width,
                         layout.rawHeight);
            return nullptr;
        case ImgBmpHeader::kShortHeader:
            std::fputs("get24bits: Unexpected end of file.\n", stderr);
            return nullptr;
    }
    // Decided from the header alone, before the file is measured or anything
    // is allocated: a header may claim any size and a sparse file may really
    // be that long.
    if (static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height) > kImgMaxPixels) {
        std::fprintf(stderr,
                     "imgReadBMP: picture %d x %d is larger than the %llu pixels this reader "
                     "accepts.\n",
                     layout.width, layout.height, static_cast<unsigned long long>(kImgMaxPixels));
        return nullptr;
    }

    // The file's real size bounds every allocation: a header that claims more
    // rows than the file holds is refused before anything is allocated.
    const long length = streamLength(file, 0);
    if (length < 0) {
        std::fprintf(stderr, "imgReadBMP: cannot tell the size of the file: %s.\n",
                     std::strerror(errno));
        return nullptr;
    }
    if (!imgBMPPlaceRows(header, static_cast<uint64_t>(length), &layout) ||
        std::fseek(file, static_cast<long>(layout.offset), SEEK_SET) != 0) {
        std::fputs("get24bits: Unexpected end of file.\n", stderr);
        return nullptr;
    }

    Image* image = imgCreate(layout.width, layout.height);
    if (image == nullptr) return nullptr;
    return get24bits(file, image, layout.stride, layout.topDown);
}

Image* imgReadBMP(const char* path) {
    // Opening a FIFO blocks until a writer comes, and a device may never end:
    // only regular files are opened. A path that cannot be examined (missing,
    // no permission) is left to fopen, whose message says why.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!error && status.type() != std::filesystem::file_type::regular) {
        std::fprintf(stderr, "imgReadBMP: \"%s\" is not a regular file.\n", path);
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "imgReadBMP: cannot open \"%s\": %s.\n", path, std::strerror(errno));
        return nullptr;
    }
    Image* image = imgReadBMPStream(file);
    std::fclose(file);
    return image;
}
