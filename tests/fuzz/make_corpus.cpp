// Writes the seed corpora of the fuzz targets: the hostile-file corpus and
// valid pictures of several sizes for the reader, a few images for the
// decoders, the documented pixel pairs for the triangulation, rig files for
// the rig file reader.
//   make_corpus DIR   (writes DIR/bmp, DIR/decode, DIR/triangulate, DIR/rig)
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/rig_file.h"
#include "hostile_bmp.h"
#include "image/bmp_write.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_corpus DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    for (const char* sub : {"", "/bmp", "/decode", "/triangulate", "/rig"})
        mkdir((dir + sub).c_str(), 0755);
    int files = 0;
    bool ok = true;
    const auto write = [&](const std::string& path, const std::vector<unsigned char>& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ok &= f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok &= f != nullptr && std::fclose(f) == 0;
        ++files;
    };
    for (const HostileBmp& c : hostileBmps()) write(dir + "/bmp/" + c.name + ".bmp", c.bytes);
    for (int w : {1, 2, 3, 4, 7, 16}) {
        for (int h : {1, 2, 5}) {
            std::vector<unsigned char> rows((3 * w + 3) / 4 * 4 * h);
            for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<unsigned char>(i * 37);
            write(dir + "/bmp/valid-" + std::to_string(w) + "x" + std::to_string(h) + ".bmp",
                  imgBMPBytes(w, h, rows));
        }
    }
    // Decoder seeds: stripes of the few levels in both directions.
    for (int s = 0; s < 6; ++s) {
        std::vector<unsigned char> b = {static_cast<unsigned char>(8 + s), static_cast<unsigned char>(6 + s), 0};
        for (int i = 0; i < 2 * 3 * 24 * 24; ++i) b.push_back(static_cast<unsigned char>((i / (3 * (s + 1))) * 5 + i % 3));
        write(dir + "/decode/stripes-" + std::to_string(s), b);
    }
    const int32_t pairs[][4] = {{512, 384, 512, 384}, {600, 300, 420, 310}, {530, 400, 480, 400},
                                {100, 100, 900, 700}, {600, 300, 600, 300}};
    for (const auto& p : pairs) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(p);
        write(dir + "/triangulate/" + std::to_string(p[0]) + "-" + std::to_string(p[3]),
              std::vector<unsigned char>(bytes, bytes + sizeof p));
    }
    // Rig files: the built-in rig, one with distortion and a tilted axis
    // turning clockwise, one of the cameras only.
    Rig rig = rigBuiltIn();
    const auto text = [](const Rig& r) {
        const std::string t = rigFileFormat(r);
        return std::vector<unsigned char>(t.begin(), t.end());
    };
    write(dir + "/rig/built-in.json", text(rig));
    rig.width = 640;
    rig.cameras[0].distortion[0] = -0.2;
    rig.cameras[1].fy = 931.5;
    rig.turntable.axisDirection = normalized({0.1, 1, 0});
    rig.turntable.clockwise = true;
    rig.halfRule = RigHalfRule::kEpipolar;
    rig.projector.present = false;
    write(dir + "/rig/odd.json", text(rig));
    rig.turntable.present = false;
    write(dir + "/rig/cameras-only.json", text(rig));
    if (!ok) {
        std::fprintf(stderr, "make_corpus: cannot write into \"%s\"\n", dir.c_str());
        return 1;
    }
    std::printf("make_corpus: %d seed files in %s\n", files, dir.c_str());
    return 0;
}
