#include "cloud/colour.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "driver/scan.h"
#include "geometry/camera.h"
#include "image/bmp_read.h"
#include "image/image.h"

namespace {

struct ImageDeleter {
    void operator()(Image* image) const { imgDestroy(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// Bilinear value of channel c at (x, y); the caller keeps (x, y) inside
// [0, width - 1] x [0, height - 1].
double sample(const Image& image, double x, double y, int c) {
    const int x0 = std::min(static_cast<int>(x), image.width - 2 < 0 ? 0 : image.width - 2);
    const int y0 = std::min(static_cast<int>(y), image.height - 2 < 0 ? 0 : image.height - 2);
    const int x1 = std::min(x0 + 1, image.width - 1), y1 = std::min(y0 + 1, image.height - 1);
    const double fx = x - x0, fy = y - y0;
    const auto at = [&](int xi, int yi) {
        return static_cast<double>(
            image.pixels[3 * (static_cast<size_t>(yi) * image.width + xi) + c]);
    };
    return (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x1, y0)) +
           fy * ((1 - fx) * at(x0, y1) + fx * at(x1, y1));
}

bool insidePicture(const Image& image, double x, double y) {
    return x >= 0 && y >= 0 && x <= image.width - 1 && y <= image.height - 1;
}

// The mean of the middle two of four values.
double middleOfFour(double a, double b, double c, double d) {
    double v[4] = {a, b, c, d};
    std::sort(v, v + 4);
    return 0.5 * (v[1] + v[2]);
}

uint8_t toByte(double v) {
    return static_cast<uint8_t>(std::lround(255.0 * std::clamp(v, 0.0, 1.0)));
}

}  // namespace

bool colourProject(int camera, Vec3 p, double* px, double* py) {
    const Camera c = camera == 1 ? camCamera1() : camCamera2();
    const Vector4 local = matMulVec(
        c.rotation, {p.x - c.position.x, p.y - c.position.y, p.z - c.position.z, 0.0});
    if (!(local.z < 0)) return false;  // the camera looks along its -z axis
    *px = c.principalX + c.focalLength * local.x / -local.z;
    *py = c.principalY + c.focalLength * local.y / -local.z;
    return std::isfinite(*px) && std::isfinite(*py);
}

ColourRgb colourCombine(const double sums[2][4][3], const bool seen[2], const double squareness[2],
                        ColourStats* stats) {
    double colour[2][3];
    for (int cam = 0; cam < 2; ++cam)
        for (int c = 0; c < 3; ++c)
            colour[cam][c] = middleOfFour(sums[cam][0][c], sums[cam][1][c], sums[cam][2][c],
                                          sums[cam][3][c]);
    double chosen[3] = {0.5, 0.5, 0.5};
    if (seen[0] && seen[1]) {
        bool agree = true;
        for (int c = 0; c < 3; ++c) {
            const double brighter = std::max(colour[0][c], colour[1][c]);
            if (std::fabs(colour[0][c] - colour[1][c]) > kColourAgree + kColourAgreeShare * brighter)
                agree = false;
        }
        const int head = squareness[1] > squareness[0] ? 1 : 0;
        for (int c = 0; c < 3; ++c)
            chosen[c] = agree ? 0.5 * (colour[0][c] + colour[1][c]) : colour[head][c];
        ++(agree ? stats->bothAgree : stats->disagree);
    } else if (seen[0] || seen[1]) {
        const int cam = seen[0] ? 0 : 1;
        for (int c = 0; c < 3; ++c) chosen[c] = colour[cam][c];
        ++stats->oneCamera;
    } else {
        ++stats->noCamera;
    }
    return {toByte(chosen[0]), toByte(chosen[1]), toByte(chosen[2])};
}

bool colourPoints(const std::string& dir, const ScanPoints& points, const std::vector<char>& keep,
                  const std::vector<Vec3>& normals, std::vector<ColourRgb>* colours,
                  ColourStats* stats, std::string* error) {
    colours->assign(points.rig.size(), ColourRgb{0, 0, 0});
    for (int a = 0; a < kScanAngles; ++a) {
        const int angle = a * kScanAngleStep;
        std::vector<size_t> which;
        for (size_t i = 0; i < points.rig.size(); ++i)
            if (keep[i] && points.angle[i] == angle) which.push_back(i);
        if (which.empty()) continue;  // no photograph of this angle is needed
        // sums[point][camera][pair][channel]
        std::vector<double> sums(which.size() * 24, 0.0);
        std::vector<char> seen(which.size() * 2, 0);
        for (int camera = 1; camera <= 2; ++camera) {
            for (int pair = 0; pair < 4; ++pair) {
                ImagePtr exposure[2];
                for (int sign = 0; sign < 2; ++sign) {
                    const std::string path =
                        dir + "/" + scanPhotographPath(2 * pair + sign + 1, camera, angle);
                    exposure[sign].reset(imgReadBMP(path.c_str()));
                    if (!exposure[sign]) {
                        *error = "cannot read the photograph \"" + path + "\"";
                        return false;
                    }
                }
                if (exposure[0]->width != exposure[1]->width ||
                    exposure[0]->height != exposure[1]->height) {
                    *error = "the photographs of angle " + std::to_string(angle) + ", camera " +
                             std::to_string(camera) + " differ in size";
                    return false;
                }
                for (size_t j = 0; j < which.size(); ++j) {
                    double px, py;
                    if (!colourProject(camera, points.rig[which[j]], &px, &py) ||
                        !insidePicture(*exposure[0], px, py))
                        continue;
                    seen[2 * j + camera - 1] = 1;
                    for (int c = 0; c < 3; ++c)
                        sums[24 * j + 12 * (camera - 1) + 3 * pair + c] =
                            sample(*exposure[0], px, py, c) + sample(*exposure[1], px, py, c);
                }
            }
        }
        for (size_t j = 0; j < which.size(); ++j) {
            const size_t i = which[j];
            double s[2][4][3];
            for (int k = 0; k < 24; ++k) s[k / 12][k / 3 % 4][k % 3] = sums[24 * j + k];
            const bool both[2] = {seen[2 * j] != 0, seen[2 * j + 1] != 0};
            double squareness[2];
            for (int cam = 0; cam < 2; ++cam) {
                const Camera c = cam == 0 ? camCamera1() : camCamera2();
                const Vec3 centre = scanToObject({c.position.x, c.position.y, c.position.z}, angle);
                squareness[cam] = dot(normals[i], normalized(centre - points.object[i]));
            }
            (*colours)[i] = colourCombine(s, both, squareness, stats);
        }
    }
    return true;
}
