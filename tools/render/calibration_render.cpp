#include "render/calibration_render.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "geometry/camera_model.h"
#include "image/bmp_write.h"
#include "image/image.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPaper = 0.88, kInk = 0.06, kBackground = 0.35;

// A small deterministic generator (splitmix64), the same on every platform.
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double symmetric() { return 2.0 * uniform() - 1.0; }
    double gaussian() {
        const double a = uniform(), b = uniform();
        return std::sqrt(-2.0 * std::log(1.0 - a)) * std::cos(2.0 * kPi * b);
    }
};

// The board's corner (0, 0) and its axes: corner (i, j) lies at
// origin + i * square * ex + j * square * ey.
struct BoardPose {
    Vec3 origin, ex, ey;
};

// v turned by `degrees` about the unit axis k (right-handed).
Vec3 turned(Vec3 v, Vec3 k, double degrees) {
    const double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
    return c * v + s * cross(k, v) + ((1.0 - c) * dot(k, v)) * k;
}

Vec3 cameraAxis(const RigCamera& camera, int row) {
    const double* r = camera.rotation;
    return {r[3 * row], r[3 * row + 1], r[3 * row + 2]};
}

// The normalised image point of every pixel corner (u - 0.5, v - 0.5), from
// which a subsample's ray is interpolated: the lens is undistorted once per
// camera, not once per subsample and pose.
struct LensTable {
    int width = 0, height = 0;  // of the picture; the table has one more of each
    std::vector<double> xy;     // NaN where the lens model cannot be inverted

    void at(double u, double v, double* x, double* y) const {
        const double gu = u + 0.5, gv = v + 0.5;
        int i = static_cast<int>(std::floor(gu)), j = static_cast<int>(std::floor(gv));
        i = std::min(std::max(i, 0), width - 1);
        j = std::min(std::max(j, 0), height - 1);
        const double fu = gu - i, fv = gv - j;
        const size_t stride = static_cast<size_t>(width) + 1;
        const double* p00 = &xy[2 * (j * stride + i)];
        const double* p10 = p00 + 2;
        const double* p01 = p00 + 2 * stride;
        const double* p11 = p01 + 2;
        *x = (1 - fv) * ((1 - fu) * p00[0] + fu * p10[0]) + fv * ((1 - fu) * p01[0] + fu * p11[0]);
        *y = (1 - fv) * ((1 - fu) * p00[1] + fu * p10[1]) + fv * ((1 - fu) * p01[1] + fu * p11[1]);
    }
};

LensTable lensTable(const RigCamera& camera, int width, int height) {
    LensTable t;
    t.width = width;
    t.height = height;
    t.xy.resize(2 * static_cast<size_t>(width + 1) * static_cast<size_t>(height + 1));
    size_t k = 0;
    for (int j = 0; j <= height; ++j)
        for (int i = 0; i <= width; ++i, k += 2)
            if (!rigUndistort(camera, i - 0.5, j - 0.5, &t.xy[k], &t.xy[k + 1]))
                t.xy[k] = t.xy[k + 1] = std::nan("");
    return t;
}

// The paper's brightness at board point (x, y) (units from corner (0, 0)),
// or -1 off the paper.
double boardBrightness(const CalibrationRenderOptions& o, double x, double y) {
    const double s = o.square;
    const double x0 = -s, x1 = o.columns * s, y0 = -s, y1 = o.rows * s;
    if (x < x0 - o.margin || x > x1 + o.margin || y < y0 - o.margin || y > y1 + o.margin)
        return -1;
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return kPaper;
    const long a = static_cast<long>(std::floor(x / s)) + 1;
    const long b = static_cast<long>(std::floor(y / s)) + 1;
    return (a + b) % 2 == 0 ? kInk : kPaper;
}

// One photograph of the board in `pose` by `camera`.
std::unique_ptr<Image, void (*)(Image*)> renderBoard(const Rig& rig, const RigCamera& camera,
                                                     const LensTable& lens,
                                                     const CalibrationRenderOptions& o,
                                                     const BoardPose& pose, Random* noise) {
    std::unique_ptr<Image, void (*)(Image*)> image(imgCreate(rig.width, rig.height), imgDestroy);
    if (!image) return image;
    const Vec3 n = cross(pose.ex, pose.ey);
    const Vec3 c = camera.centre;
    const double* r = camera.rotation;
    const double toPlane = dot(pose.origin - c, n);
    const int aa = std::max(1, o.antialias);
    for (int v = 0; v < rig.height; ++v) {
        float* row = image->pixels + 3 * static_cast<size_t>(rig.height - 1 - v) * rig.width;
        for (int u = 0; u < rig.width; ++u) {
            double sum = 0;
            for (int sj = 0; sj < aa; ++sj)
                for (int si = 0; si < aa; ++si) {
                    double x, y;
                    lens.at(u + (si + 0.5) / aa - 0.5, v + (sj + 0.5) / aa - 0.5, &x, &y);
                    double value = kBackground;
                    if (std::isfinite(x) && std::isfinite(y)) {
                        const Vec3 d{r[0] * x + r[3] * y + r[6], r[1] * x + r[4] * y + r[7],
                                     r[2] * x + r[5] * y + r[8]};
                        const double t = toPlane / dot(d, n);
                        if (t > 0 && std::isfinite(t)) {
                            const Vec3 p = c + t * d - pose.origin;
                            const double b = boardBrightness(o, dot(p, pose.ex), dot(p, pose.ey));
                            if (b >= 0) value = b;
                        }
                    }
                    sum += value;
                }
            double value = sum / (aa * aa);
            if (o.noise > 0) value += o.noise / 255.0 * noise->gaussian();
            const float f = static_cast<float>(std::min(1.0, std::max(0.0, value)));
            row[3 * u] = row[3 * u + 1] = row[3 * u + 2] = f;
        }
    }
    return image;
}

// True when the squares and half the margin around them lie inside the
// picture of `camera`, at least 4 pixels from its edge, seen from the front
// at less than 70 degrees from the board's normal.
bool boardFits(const Rig& rig, const RigCamera& camera, const CalibrationRenderOptions& o,
               const BoardPose& pose) {
    const Vec3 n = cross(pose.ex, pose.ey);
    const Vec3 centre = pose.origin + (0.5 * (o.columns - 1) * o.square) * pose.ex +
                        (0.5 * (o.rows - 1) * o.square) * pose.ey;
    const Vec3 view = normalized(camera.centre - centre);
    if (std::fabs(dot(view, n)) < std::cos(70.0 * kPi / 180.0)) return false;
    const double e = 0.5 * o.margin;
    const double x0 = -o.square - e, x1 = o.columns * o.square + e;
    const double y0 = -o.square - e, y1 = o.rows * o.square + e;
    const int steps = 16;  // along each edge: a distorted edge bows outwards
    for (int k = 0; k <= steps; ++k) {
        const double f = static_cast<double>(k) / steps;
        const double xs[4] = {x0 + f * (x1 - x0), x0 + f * (x1 - x0), x0, x1};
        const double ys[4] = {y0, y1, y0 + f * (y1 - y0), y0 + f * (y1 - y0)};
        for (int side = 0; side < 4; ++side) {
            const Vec3 p = pose.origin + xs[side] * pose.ex + ys[side] * pose.ey;
            double u, v;
            if (!rigProject(camera, p, &u, &v)) return false;
            if (u < 4 || v < 4 || u > rig.width - 5 || v > rig.height - 5) return false;
            // Where the lens model folds back, projection is not one to one.
            Vec3 origin, direction;
            if (!rigRay(camera, u, v, &origin, &direction)) return false;
            if (length(cross(direction, normalized(p - origin))) > 1e-6) return false;
        }
    }
    return true;
}

bool fitsBoth(const Rig& rig, const CalibrationRenderOptions& o, const BoardPose& pose) {
    return boardFits(rig, rig.cameras[0], o, pose) && boardFits(rig, rig.cameras[1], o, pose);
}

BoardPose centredPose(const CalibrationRenderOptions& o, Vec3 centre, Vec3 ex, Vec3 ey) {
    return {centre - (0.5 * (o.columns - 1) * o.square) * ex - (0.5 * (o.rows - 1) * o.square) * ey,
            ex, ey};
}

// The point both cameras look at: the middle of the shortest segment between
// their optical axes.
Vec3 lookPoint(const Rig& rig) {
    const Vec3 c1 = rig.cameras[0].centre, c2 = rig.cameras[1].centre;
    const Vec3 f1 = cameraAxis(rig.cameras[0], 2), f2 = cameraAxis(rig.cameras[1], 2);
    const Vec3 w = c1 - c2;
    const double b = dot(f1, f2), d = dot(f1, w), e = dot(f2, w);
    const double den = 1.0 - b * b;
    if (den < 1e-9) return 0.5 * (c1 + c2) + (10.0 * length(c1 - c2)) * normalized(f1 + f2);
    const double s = (b * e - d) / den, t = (e - b * d) / den;
    return 0.5 * ((c1 + s * f1) + (c2 + t * f2));
}

bool stereoPoses(const Rig& rig, const CalibrationRenderOptions& o, std::vector<BoardPose>* poses,
                 std::string* error) {
    const Vec3 look = lookPoint(rig);
    const Vec3 middle = 0.5 * (rig.cameras[0].centre + rig.cameras[1].centre);
    const Vec3 forward = normalized(look - middle);
    Vec3 right = cameraAxis(rig.cameras[0], 0) + cameraAxis(rig.cameras[1], 0);
    right = normalized(right - dot(right, forward) * forward);
    const Vec3 down = cross(forward, right);
    const double distance = length(look - middle);
    // Half the common view at that distance, less half the board.
    double halfWidth = 1e300, halfHeight = 1e300;
    for (const RigCamera& c : rig.cameras) {
        halfWidth = std::min(halfWidth, 0.5 * distance * rig.width / c.fx);
        halfHeight = std::min(halfHeight, 0.5 * distance * rig.height / c.fy);
    }
    const double boardHalfW = 0.5 * ((o.columns + 1) * o.square + o.margin);
    const double boardHalfH = 0.5 * ((o.rows + 1) * o.square + o.margin);
    const double spanW = std::max(0.0, halfWidth - boardHalfW);
    const double spanH = std::max(0.0, halfHeight - boardHalfH);
    if (!fitsBoth(rig, o, centredPose(o, look, right, down))) {
        *error = "the board (" + std::to_string((o.columns + 1) * o.square + 2 * o.margin) +
                 " units wide with its margin) does not fit in both cameras' pictures at the "
                 "distance they look at; choose a smaller square";
        return false;
    }
    Random random{0x5EED0000ull + o.seed};
    for (int k = 0; k < o.stereoPoses; ++k) {
        double gx, gy;
        if (k < 9) {
            gx = (k % 3) - 1.0;
            gy = (k / 3) - 1.0;
        } else {
            gx = random.symmetric();
            gy = random.symmetric();
        }
        const double depth = 1.0 + 0.12 * random.symmetric();
        const double direction = k * 137.5;  // the golden angle: tilts in every direction
        double tilt = o.maxTilt * (0.45 + 0.55 * random.uniform());
        const double spin = 8.0 * random.symmetric();
        double reach = 0.85;
        bool placed = false;
        for (int attempt = 0; attempt < 40 && !placed; ++attempt) {
            const Vec3 axis = std::cos(direction * kPi / 180) * right +
                              std::sin(direction * kPi / 180) * down;
            Vec3 ex = turned(turned(right, forward, spin), axis, tilt);
            Vec3 ey = turned(turned(down, forward, spin), axis, tilt);
            const Vec3 centre = middle + (depth * distance) * forward +
                                (reach * gx * spanW) * right + (reach * gy * spanH) * down;
            const BoardPose pose = centredPose(o, centre, ex, ey);
            if (fitsBoth(rig, o, pose)) {
                poses->push_back(pose);
                placed = true;
            } else {
                reach *= 0.85;
                if (attempt % 4 == 3) tilt *= 0.85;
            }
        }
        if (!placed) {
            *error = "stereo pose " + std::to_string(k + 1) +
                     " does not fit in both cameras' pictures; choose a smaller square";
            return false;
        }
    }
    return true;
}

bool turntablePoses(const Rig& rig, const CalibrationRenderOptions& o,
                    std::vector<BoardPose>* poses, std::string* error) {
    if (o.turntableAngles.empty()) return true;
    if (!rig.turntable.present) {
        *error = "the rig has no turntable to render the turntable series on";
        return false;
    }
    const RigFrame frame = rigTurntableFrame(rig);
    const auto world = [&](Vec3 v) { return v.x * frame.x + v.y * frame.y + v.z * frame.z; };
    // Upright, facing the cameras at angle 0, its columns along x, its rows
    // going down, the paper's lower edge on the turntable's top, the corners
    // off the axis so that every one of them moves; the first place (towards
    // the cameras and to the side first) where every angle fits both pictures.
    const double gridWidth = (o.columns - 1) * o.square;
    const double height = renderCalibrationCornerHeight(o) + 0.5 * (o.rows - 1) * o.square;
    const double sideways[] = {0.3, -0.3, 0.15, -0.15, 0.0};
    const double towards[] = {0.2, 0.0, -0.2, -0.4};
    const Vec3 up{0, 1, 0};
    for (double z : towards)
        for (double x : sideways) {
            const BoardPose local =
                centredPose(o, {x * gridWidth, height, z * gridWidth}, {1, 0, 0}, {0, -1, 0});
            std::vector<BoardPose> placed;
            for (int angle : o.turntableAngles) {
                const double turn = rig.turntable.clockwise ? -angle : angle;
                const BoardPose pose{frame.origin + world(turned(local.origin, up, turn)),
                                     world(turned(local.ex, up, turn)),
                                     world(turned(local.ey, up, turn))};
                if (!fitsBoth(rig, o, pose)) break;
                placed.push_back(pose);
            }
            if (placed.size() == o.turntableAngles.size()) {
                *poses = placed;
                return true;
            }
        }
    *error = "the board standing on the turntable does not fit in both cameras' pictures at "
             "every angle; choose a smaller square";
    return false;
}

bool makeDirectory(const std::string& path, std::string* error) {
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
    *error = path + ": cannot create the folder (" + std::strerror(errno) + ")";
    return false;
}

}  // namespace

bool renderCalibration(const Rig& rig, const CalibrationRenderOptions& options,
                       const std::string& outDir, std::string* error) {
    if (options.columns < 2 || options.rows < 2 || !(options.square > 0) ||
        !(options.margin >= 0) || rig.width <= 0 || rig.height <= 0) {
        *error = "the board or the picture size is not valid";
        return false;
    }
    std::vector<BoardPose> stereo, turntable;
    if (!stereoPoses(rig, options, &stereo, error)) return false;
    if (!turntablePoses(rig, options, &turntable, error)) return false;
    for (int angle : options.turntableAngles)
        if (angle < 0 || angle > 359) {
            *error = "turntable angle " + std::to_string(angle) + " is not 0 to 359";
            return false;
        }
    if (!makeDirectory(outDir, error) || !makeDirectory(outDir + "/stereo", error)) return false;
    if (!turntable.empty() && !makeDirectory(outDir + "/turntable", error)) return false;

    for (int camera = 0; camera < 2; ++camera) {
        const LensTable lens = lensTable(rig.cameras[camera], rig.width, rig.height);
        const size_t count = stereo.size() + turntable.size();
        for (size_t k = 0; k < count; ++k) {
            const bool onTable = k >= stereo.size();
            const BoardPose& pose = onTable ? turntable[k - stereo.size()] : stereo[k];
            Random noise{(static_cast<uint64_t>(options.seed) << 20) + 1000 * camera + k};
            auto image = renderBoard(rig, rig.cameras[camera], lens, options, pose, &noise);
            if (!image) {
                *error = "cannot allocate a picture of " + std::to_string(rig.width) + "x" +
                         std::to_string(rig.height);
                return false;
            }
            char name[64];
            if (onTable)
                std::snprintf(name, sizeof name, "/turntable/cam%d_%03d.bmp", camera + 1,
                              options.turntableAngles[k - stereo.size()]);
            else
                std::snprintf(name, sizeof name, "/stereo/cam%d_%02d.bmp", camera + 1,
                              static_cast<int>(k) + 1);
            const std::string path = outDir + name;
            if (!imgWriteBMP(path.c_str(), image.get())) {
                *error = path + ": cannot be written";
                return false;
            }
        }
    }
    return true;
}
