#include "cloud/colour.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>

#include "common/photo_check.h"
#include "common/tool_threads.h"
#include "image/bmp_read.h"
#include "image/image.h"
#include "image/image_ptr.h"
#include "image/scan_layout.h"

namespace {

// The full-light colour pos + neg at (x, y), bilinear over the four pixels
// around it, each channel 0..2. A pixel whose negative equals its positive in
// every channel carries no full-light value (a pixel a contrast mask has
// silenced, which holds the positive's stripe colour twice, or one the
// projector never reached) and is left out, the others weighted anew. False
// when none of the four pixels counts. The caller keeps (x, y) inside
// [0, width - 1] x [0, height - 1].
bool pairSum(const Image& pos, const Image& neg, double x, double y, double out[3]) {
    const int x0 = std::max(0, std::min(static_cast<int>(x), pos.width - 2));
    const int y0 = std::max(0, std::min(static_cast<int>(y), pos.height - 2));
    const int x1 = std::min(x0 + 1, pos.width - 1), y1 = std::min(y0 + 1, pos.height - 1);
    const double fx = x - x0, fy = y - y0;
    const int xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
    const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
    double total = 0;
    out[0] = out[1] = out[2] = 0;
    for (int t = 0; t < 4; ++t) {
        const size_t at = 3 * (static_cast<size_t>(ys[t]) * pos.width + xs[t]);
        const float* p = pos.pixels + at;
        const float* n = neg.pixels + at;
        if (p[0] == n[0] && p[1] == n[1] && p[2] == n[2]) continue;
        for (int c = 0; c < 3; ++c) out[c] += weights[t] * (static_cast<double>(p[c]) + n[c]);
        total += weights[t];
    }
    if (total <= 1e-9) return false;
    for (int c = 0; c < 3; ++c) out[c] /= total;
    return true;
}

bool insidePicture(const Image& image, double x, double y) {
    return x >= 0 && y >= 0 && x <= image.width - 1 && y <= image.height - 1;
}

// The median of n values (1 to 4): the mean of the middle two for an even n.
double medianOf(double* v, int n) {
    for (int i = 1; i < n; ++i)  // insertion sort: at most four values
        for (int j = i; j > 0 && v[j] < v[j - 1]; --j) std::swap(v[j], v[j - 1]);
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

uint8_t toByte(double v) {
    return static_cast<uint8_t>(std::lround(255.0 * std::clamp(v, 0.0, 1.0)));
}

}  // namespace

ColourRgb colourCombine(const ColourSamples& samples, const double squareness[2],
                        ColourStats* stats) {
    double colour[2][3];
    const bool seen[2] = {samples.pairs[0] > 0, samples.pairs[1] > 0};
    for (int cam = 0; cam < 2; ++cam) {
        for (int c = 0; c < 3; ++c) {
            double v[4];
            for (int k = 0; k < samples.pairs[cam]; ++k) v[k] = samples.sums[cam][k][c];
            colour[cam][c] = seen[cam] ? medianOf(v, samples.pairs[cam]) : 0;
        }
    }
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

namespace {

// What colouring one angle gave: its counts, or the fault that stopped it.
struct AngleColours {
    bool ok = true;
    std::string error;
    ColourStats stats;
};

// Colours the kept points of angle number `a` from its photographs; each
// angle writes only its own points' colours.
void colourAngle(int angle, const std::string& dir, const ToolRig& rig, const ScanPoints& points,
                 const std::vector<char>& keep, const std::vector<Vec3>& normals,
                 std::vector<ColourRgb>* colours, AngleColours* result) {
    ColourStats* stats = &result->stats;
    std::string* error = &result->error;
    result->ok = false;
    {
        std::vector<size_t> which;
        for (size_t i = 0; i < points.rig.size(); ++i)
            if (keep[i] && points.angle[i] == angle) which.push_back(i);
        if (which.empty()) {  // no photograph of this angle is needed
            result->ok = true;
            return;
        }
        std::vector<ColourSamples> samples(which.size());
        for (int camera = 1; camera <= kScanCameras; ++camera) {
            for (int pair = 0; pair < 4; ++pair) {
                ImagePtr exposure[2];
                for (int sign = 0; sign < 2; ++sign) {
                    const std::string path =
                        dir + "/" + scanPhotographPath(2 * pair + sign + 1, camera, angle);
                    std::error_code missing;
                    if (!std::filesystem::is_regular_file(path, missing)) {
                        *error = "no photograph \"" + path + "\"";
                        return;
                    }
                    // Checked first, so that the fault is named here, once.
                    ImgBmpLayout layout;
                    if (!photoCheckFile(path, &layout, error)) return;
                    exposure[sign].reset(imgReadBMP(path.c_str()));
                    if (!exposure[sign]) {
                        *error = "cannot read the photograph \"" + path + "\"";
                        return;
                    }
                }
                if (exposure[0]->width != exposure[1]->width ||
                    exposure[0]->height != exposure[1]->height) {
                    *error = "the photographs of angle " + std::to_string(angle) + ", camera " +
                             std::to_string(camera) + " differ in size";
                    return;
                }
                for (size_t j = 0; j < which.size(); ++j) {
                    double px, py;
                    ColourSamples& s = samples[j];
                    const int cam = camera - 1;
                    if (toolRigProject(rig, cam, points.rig[which[j]], &px, &py) &&
                        insidePicture(*exposure[0], px, py) &&
                        pairSum(*exposure[0], *exposure[1], px, py, s.sums[cam][s.pairs[cam]]))
                        ++s.pairs[cam];
                }
            }
        }
        for (size_t j = 0; j < which.size(); ++j) {
            const size_t i = which[j];
            double squareness[2];
            for (int cam = 0; cam < 2; ++cam) {
                const Vec3 centre = toolRigToObject(rig, toolRigCameraCentre(rig, cam), angle);
                squareness[cam] = dot(normals[i], normalized(centre - points.object[i]));
            }
            (*colours)[i] = colourCombine(samples[j], squareness, stats);
        }
    }
    result->ok = true;
}

}  // namespace

bool colourPoints(const std::string& dir, const ToolRig& rig, const ScanPoints& points,
                  const std::vector<char>& keep, const std::vector<Vec3>& normals,
                  std::vector<ColourRgb>* colours, ColourStats* stats, std::string* error) {
    colours->assign(points.rig.size(), ColourRgb{0, 0, 0});
    // The angles are independent and reading their photographs is most of
    // the work: they run on every core, and the counts and the first fault
    // (by angle) are taken in angle order afterwards.
    std::vector<int> angles = points.angle;
    std::sort(angles.begin(), angles.end());
    angles.erase(std::unique(angles.begin(), angles.end()), angles.end());
    const int count = static_cast<int>(angles.size());
    std::vector<AngleColours> results(angles.size());
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int a; (a = next++) < count;)
            colourAngle(angles[a], dir, rig, points, keep, normals, colours, &results[a]);
    };
    const int threads = std::clamp(toolThreads(), 1, std::max(count, 1));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    for (const AngleColours& r : results) {
        if (!r.ok) {
            *error = r.error;
            return false;
        }
        stats->bothAgree += r.stats.bothAgree;
        stats->disagree += r.stats.disagree;
        stats->oneCamera += r.stats.oneCamera;
        stats->noCamera += r.stats.noCamera;
    }
    return true;
}
