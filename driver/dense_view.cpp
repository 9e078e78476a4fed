#include "driver/dense_view.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image/bmp_layout.h"
#include "image/scan_layout.h"

namespace {

// Why one photograph cannot be read, or "" when it can: found without the
// image reader, whose messages would come from the workers out of the run's
// order.
std::string fileFault(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "cannot open \"" + path + "\": " + std::strerror(errno);
    unsigned char header[54];
    const size_t got = std::fread(header, 1, sizeof header, file);
    std::fseek(file, 0, SEEK_END);
    const long bytes = std::ftell(file);
    std::fclose(file);
    ImgBmpLayout layout;
    switch (imgBMPReadHeader(header, got, &layout)) {
        case ImgBmpHeader::kOk: break;
        case ImgBmpHeader::kNot24Bits: return "\"" + path + "\" is not a 24-bit BMP";
        case ImgBmpHeader::kBadSize: return "\"" + path + "\" has an invalid picture size";
        case ImgBmpHeader::kShortHeader: return "\"" + path + "\" ends inside its header";
    }
    if (bytes < 0 || !imgBMPPlaceRows(header, static_cast<uint64_t>(bytes), &layout))
        return "\"" + path + "\" is cut short";
    return "";
}

// Why a pair could not be read.
std::string pairFault(const std::string& positive, const std::string& negative) {
    for (const std::string* path : {&positive, &negative}) {
        const std::string fault = fileFault(*path);
        if (!fault.empty()) return fault;
    }
    return "\"" + positive + "\" and \"" + negative + "\" differ in size or row order";
}

}  // namespace

bool denseDecodeView(int camera, int32_t angle, int32_t width, int32_t height,
                     DenseViewWork* work, DenseMarks* marks, std::string* error) {
    std::string paths[4];
    for (int read = 0; read < 4; ++read) paths[read] = scanPhotographPath(read + 1, camera, angle);
    bool ok = true;
    for (int pattern = 0; pattern < 2 && ok; ++pattern) {
        ImgPairReader* reader = &work->readers[pattern];
        const std::string& positive = paths[2 * pattern];
        const std::string& negative = paths[2 * pattern + 1];
        if (!imgPairOpen(reader, positive.c_str(), negative.c_str())) {
            imgPairClose(reader);
            *error = pairFault(positive, negative);
            ok = false;
        } else if (reader->layout.width != width || reader->layout.height != height) {
            *error = "\"" + positive + "\" is " + std::to_string(reader->layout.width) + " x " +
                     std::to_string(reader->layout.height) + " pixels, the rig's photographs " +
                     std::to_string(width) + " x " + std::to_string(height);
            ok = false;
        }
    }
    if (ok && work->readers[0].layout.topDown != work->readers[1].layout.topDown) {
        *error = "\"" + paths[0] + "\" and \"" + paths[2] + "\" store their rows in opposite orders";
        ok = false;
    }
    if (ok) {
        const size_t w = static_cast<size_t>(width);
        marks->width = width;
        marks->height = height;
        marks->marks.clear();
        marks->rowStart.assign(static_cast<size_t>(height) + 1, 0);
        // The differences are read from the photographs' bytes where the
        // walk needs them; no row of them is formed.
        DenseRow row1{{nullptr, nullptr, nullptr}};
        DenseRow row2{{nullptr, nullptr, nullptr}};
        // Rows come in the files' order; marks are gathered per row and
        // placed in the Image's row order afterwards.
        std::vector<std::vector<DenseMark>> rows(static_cast<size_t>(height));
        std::vector<DenseMark> found;
        for (int32_t i = 0; i < height && ok; ++i) {
            const unsigned char *pos1, *neg1, *pos2, *neg2;
            int32_t y1 = 0, y2 = 0;
            if (!imgPairNextRow(&work->readers[0], &pos1, &neg1, &y1) ||
                !imgPairNextRow(&work->readers[1], &pos2, &neg2, &y2) || y1 != y2) {
                *error = "\"" + paths[0] + "\" or \"" + paths[2] + "\" ends early";
                ok = false;
                break;
            }
            row1.positive = pos1;
            row1.negative = neg1;
            row2.positive = pos2;
            row2.negative = neg2;
            found.clear();
            denseRowMarks(row1, row2, w, &work->row, &found);
            rows[static_cast<size_t>(y1)] = found;
        }
        if (ok) {
            for (int32_t y = 0; y < height; ++y) {
                marks->rowStart[y] = static_cast<int32_t>(marks->marks.size());
                marks->marks.insert(marks->marks.end(), rows[y].begin(), rows[y].end());
            }
            marks->rowStart[height] = static_cast<int32_t>(marks->marks.size());
        }
    }
    imgPairClose(&work->readers[0]);
    imgPairClose(&work->readers[1]);
    return ok;
}
