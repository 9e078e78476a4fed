#include "render/render.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

const int kStripePattern1[37] = {1, 2, 3, 1, 2, 3, 1, 3, 2, 1, 3, 1, 3, 2, 1, 2, 3, 1, 2,
                                 1, 3, 2, 1, 3, 1, 3, 2, 3, 1, 2, 3, 2, 3, 2, 1, 2, 1};
const int kStripePattern2[37] = {1, 2, 3, 1, 3, 2, 1, 2, 3, 1, 3, 2, 1, 3, 2, 3, 1, 2, 1,
                                 2, 3, 1, 3, 1, 3, 2, 1, 2, 3, 1, 3, 2, 1, 2, 3, 2, 1};

namespace {

// The dark band between the two copies of the horizontal stripes: rows 368
// to 399 of 768, in that proportion for any projector height.
constexpr double kBandLow = 368.0, kBandHigh = 400.0, kBandRows = 768.0;

// What one subsample of a pixel sees, shared by the eight photographs.
struct Sample {
    bool hit;
    double albedo[3];
    double light;  // 0.8 max(0, n.l) when the projector reaches the point, else 0
    double column, row;
    double gloss;  // max(0, n.h)^40, the projector's highlight seen by the camera
};

// How a camera of the rig casts the ray of a pixel: through the
// triangulation's own record for an ideal lens (which keeps the built-in rig's
// scans the very bytes they always were), else through the lens model.
struct CameraRays {
    const Rig* rig;
    int index;
    bool ideal;
    Camera record;
    RigFrame frame;
};

CameraRays cameraRays(const Rig& rig, int camera) {
    const RigCamera& c = rig.cameras[camera - 1];
    return {&rig, camera - 1, !rigHasDistortion(c) && c.fx == c.fy,
            rigTriangulationCamera(rig, camera - 1), rigTurntableFrame(rig)};
}

// The ray of pixel (px, py), py counted as the BMP reader counts rows, in the
// turntable frame; false where the lens model cannot be inverted.
bool turntableRay(const CameraRays& rays, double px, double py, Vec3* origin, Vec3* direction) {
    Vec3 o, d;
    if (rays.ideal) {
        cameraRay(rays.record, px, py, &o, &d);
    } else if (!rigRay(rays.rig->cameras[rays.index], px, (rays.rig->height - 1) - py, &o, &d)) {
        return false;
    }
    if (rays.frame.identity) {
        *origin = o;
        *direction = d;
        return true;
    }
    *origin = rigToTurntable(rays.frame, o);
    const RigFrame& f = rays.frame;
    *direction = {dot(f.x, d), dot(f.y, d), dot(f.z, d)};
    return true;
}

// The object's turn at `angle` about the frame's y axis: positive
// (counterclockwise seen from above) unless the rig turns clockwise.
double turnDegrees(const Rig& rig, int angle) {
    return rig.turntable.clockwise ? -static_cast<double>(angle) : static_cast<double>(angle);
}

Sample trace(const SceneObject& object, const RenderOptions& options, const CameraRays& rays,
             int angle, double px, double py) {
    Sample s{false, {0, 0, 0}, 0, -1, -1, 0};
    Vec3 origin, direction;
    if (!turntableRay(rays, px, py, &origin, &direction)) return s;
    const double turn = turnDegrees(options.rig, angle);
    const Vec3 o = turntableToObject(origin, turn);
    const Vec3 d = turntableToObject(direction, turn);
    Hit hit;
    if (!sceneIntersect(object, o, d, 1e-6, 1e9, &hit)) return s;
    s.hit = true;
    const Vec3 q = o + hit.t * d;
    renderAlbedo(options, q, s.albedo);

    const RigProjector& projector = options.rig.projector;
    const Vec3 world = rigFromTurntable(rays.frame, turntableToWorld(q, turn));
    const ProjectorPixel p = renderProjectorPixel(projector, world);
    if (!p.inFront || p.column < 0 || p.column >= projector.width || p.row < 0 ||
        p.row >= projector.height)
        return s;
    const Vec3 toProjector =
        turntableToObject(rigToTurntable(rays.frame, projector.centre), turn) - q;
    const double distance = length(toProjector);
    const Vec3 l = (1.0 / distance) * toProjector;
    const double facing = dot(hit.normal, l);
    if (facing <= 0) return s;
    Hit blocker;
    if (sceneIntersect(object, q + 1e-4 * hit.normal, l, 1e-6, distance, &blocker)) return s;
    s.light = 0.8 * facing;
    const double gloss = dot(hit.normal, normalized(l - d));
    s.gloss = gloss > 0 ? std::pow(gloss, 40) : 0.0;
    s.column = p.column;
    s.row = p.row;
    return s;
}

// A reproducible standard normal number from the photograph, pixel and channel.
double gaussian(uint64_t key) {
    const auto mix = [](uint64_t z) {
        z += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    const uint64_t a = mix(key), b = mix(a);
    const double u1 = ((a >> 11) + 1.0) / 9007199254740993.0;
    const double u2 = (b >> 11) / 9007199254740992.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

// The light of camera channels r, g, b that one subsample of photograph
// (pattern, positive, vertical) sends, with the effects of the projector and
// the camera's colour filters: the light of each primary, mixed by the
// crosstalk matrix.
void effectSample(const RenderOptions& options, const Sample& s, int pattern, bool positive,
                  bool vertical, double v[3]) {
    const RenderEffects& e = options.effects;
    const RigProjector& projector = options.rig.projector;
    const int colour = s.light > 0 ? projectorColour(pattern, vertical, s.column, s.row,
                                                     projector.width, projector.height)
                                   : 0;
    double primary[3];
    for (int p = 0; p < 3; ++p) {
        const bool lit = colour != 0 && ((colour == p + 1) == positive);
        const double shown = s.light > 0 ? (lit ? 1.0 : e.projectorBlack) : 0.0;
        primary[p] = s.albedo[p] * (options.ambient + s.light * shown) + e.specular * s.gloss * shown;
    }
    for (int c = 0; c < 3; ++c)
        for (int p = 0; p < 3; ++p) v[c] += e.crosstalk[3 * c + p] * primary[p];
}

// The gain of vignetting, white balance and exposure at pixel (x, y), channel
// c, of a rig of w x h pixels.
double effectGain(const RenderEffects& e, int w, int h, int x, int y, int c) {
    const double half = w / 2.0, aspect = static_cast<double>(h) / w;
    const double dx = (x - (w - 1) / 2.0) / half, dy = (y - (h - 1) / 2.0) / half;
    const double r2 = (dx * dx + dy * dy) / (1.0 + aspect * aspect);  // 1 in the rig's corners
    return (1.0 - (1.0 - e.vignetting) * r2) * e.whiteBalance[c] * e.exposure;
}

// The sensor's clipping and the camera's encoding.
double effectEncode(const RenderEffects& e, double v) {
    v = std::clamp(v, 0.0, 1.0);
    return e.gamma == 1.0 ? v : std::pow(v, 1.0 / e.gamma);
}

}  // namespace

bool renderEffectsOn(const RenderEffects& e) {
    const RenderEffects off;
    for (int i = 0; i < 9; ++i)
        if (e.crosstalk[i] != off.crosstalk[i]) return true;
    for (int c = 0; c < 3; ++c)
        if (e.whiteBalance[c] != 1.0) return true;
    return e.gamma != 1.0 || e.projectorBlack != 0.0 || e.vignetting != 1.0 || e.exposure != 1.0 ||
           e.specular != 0.0;
}

void renderBayerCrosstalk(double x, RenderEffects* e) {
    static const double kLeak[9] = {0, 1.0, 0.3, 0.6, 0, 0.8, 0.2, 1.0, 0};
    for (int k = 0; k < 9; ++k) e->crosstalk[k] = (k % 4 == 0 ? 1.0 : 0.0) + x * kLeak[k];
}

void renderAlbedo(const RenderOptions& options, Vec3 q, double rgb[3]) {
    if (!options.texture) {
        rgb[0] = rgb[1] = rgb[2] = 0.85;
        return;
    }
    // Three patches of colour that drift across the surface at different
    // rates, each channel within 0.2 to 0.9 so every stripe colour still
    // shows on it.
    const double base = std::sin(0.9 * q.x) * std::sin(0.7 * q.y + 1.0) * std::sin(0.8 * q.z);
    rgb[0] = 0.55 + 0.35 * base;
    rgb[1] = 0.55 + 0.35 * std::sin(0.5 * q.x + 2.0) * std::cos(0.45 * q.y);
    rgb[2] = 0.55 + 0.35 * std::cos(0.6 * q.z + 0.5) * std::sin(0.35 * q.y + 0.3 * q.x);
}

int projectorColour(int pattern, bool vertical, double column, double row, int width,
                    int height) {
    if (column < 0 || column >= width || row < 0 || row >= height) return 0;
    const int* sequence = pattern == 1 ? kStripePattern1 : kStripePattern2;
    // Exact for 768 rows: 368 and 400.
    const double bandLow = height * kBandLow / kBandRows, bandHigh = height * kBandHigh / kBandRows;
    int stripe;
    if (vertical) {
        stripe = static_cast<int>(std::floor(column * 37 / width));
    } else if (row < bandLow) {
        stripe = static_cast<int>(std::floor(row * 37 / bandLow));
    } else if (row >= bandHigh) {
        stripe = static_cast<int>(std::floor((row - bandHigh) * 37 / (height - bandHigh)));
    } else {
        return 0;
    }
    return sequence[stripe < 0 ? 0 : stripe > 36 ? 36 : stripe];
}

ProjectorPixel renderProjectorPixel(const RigProjector& projector, Vec3 world) {
    // OpenCV's pixel centres at whole numbers and rows from the top become
    // projectorColour's pixel corners and rows from the bottom; in this order
    // of operations the built-in projector gives the very numbers it always
    // did (the rows of its rotation are right, -up and forward).
    const Vec3 v = world - projector.centre;
    const double* r = projector.rotation;
    const double x = r[0] * v.x + r[1] * v.y + r[2] * v.z;
    const double up = -(r[3] * v.x + r[4] * v.y + r[5] * v.z);
    const double z = r[6] * v.x + r[7] * v.y + r[8] * v.z;
    return {projector.fx * x / z + (projector.cx + 0.5),
            projector.fy * up / z + ((projector.height - 0.5) - projector.cy), z > 0};
}

void renderView(const SceneObject& object, const RenderOptions& options, int camera, int angle,
                int threads, Image* out[8]) {
    const CameraRays cam = cameraRays(options.rig, camera);
    const int w = options.width, h = options.height, n = options.antialias;
    for (int i = 0; i < 8; ++i) out[i] = imgCreate(w, h);
    // Noise keys of one photograph never meet another's (2^20 keeps the bytes
    // of every scan up to a megapixel as they always were).
    const uint64_t keysPerPhotograph =
        std::max<uint64_t>(1048576, static_cast<uint64_t>(w) * static_cast<uint64_t>(h));
    const bool blurred = options.blur > 0;
    const bool effects = renderEffectsOn(options.effects);
    // What the sensor adds to the light that reaches pixel (x, y), channel c,
    // of photograph `read`.
    const auto sensor = [&](int read, int x, int y, int c) {
        double add = options.black / 255.0;
        if (options.noise > 0) {
            const uint64_t key =
                ((((static_cast<uint64_t>(options.seed) * 2 + camera) * 360 + angle) * 8 + read) *
                     keysPerPhotograph + static_cast<uint64_t>(y) * w + x) * 3 + c;
            add += options.noise / 255.0 * gaussian(key);
        }
        return add;
    };
    // Runs rowWork(y) for every row, spread over the threads.
    const auto forRows = [&](const auto& rowWork) {
        std::atomic<int> nextRow{0};
        const auto work = [&] {
            for (int y; (y = nextRow.fetch_add(1)) < h;) rowWork(y);
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) pool.emplace_back(work);
        work();
        for (std::thread& t : pool) t.join();
    };

    forRows([&](int y) {
        std::vector<Sample> samples(static_cast<size_t>(n) * n);
        for (int x = 0; x < w; ++x) {
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i)
                    samples[j * n + i] = trace(object, options, cam, angle,
                                               x + (i + 0.5) / n - 0.5, y + (j + 0.5) / n - 0.5);
            for (int read = 1; read <= 8; ++read) {
                const int pattern = (read - 1) / 2 % 2 + 1;
                const bool positive = read % 2 == 1, vertical = read <= 4;
                double v[3] = {0, 0, 0};
                float* p = out[read - 1]->pixels + 3 * (static_cast<size_t>(y) * w + x);
                if (effects) {
                    for (const Sample& s : samples)
                        if (s.hit) effectSample(options, s, pattern, positive, vertical, v);
                    for (int c = 0; c < 3; ++c) {
                        const double light = v[c] / (n * n) * effectGain(options.effects, options.rig.width,
                                                                    options.rig.height, x, y, c);
                        p[c] = static_cast<float>(
                            blurred ? light : effectEncode(options.effects, light) + sensor(read, x, y, c));
                    }
                    continue;
                }
                for (const Sample& s : samples) {
                    if (!s.hit) continue;
                    const int colour =
                        s.light > 0 ? projectorColour(pattern, vertical, s.column, s.row,
                                                      options.rig.projector.width,
                                                      options.rig.projector.height)
                                    : 0;
                    for (int c = 0; c < 3; ++c) {
                        const bool lit = colour != 0 && ((colour == c + 1) == positive);
                        v[c] += s.albedo[c] * (options.ambient + (lit ? s.light : 0.0));
                    }
                }
                // Without a blur the sensor's part is added here, in double,
                // as scans have always been made.
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<float>(v[c] / (n * n) + (blurred ? 0.0 : sensor(read, x, y, c)));
            }
        }
    });
    if (!blurred) return;

    // The spot, cut at three standard deviations and normalised.
    const int radius = std::max(1, static_cast<int>(std::ceil(3 * options.blur)));
    std::vector<double> kernel(2 * radius + 1);
    double sum = 0;
    for (int k = -radius; k <= radius; ++k)
        sum += kernel[k + radius] = std::exp(-0.5 * k * k / (options.blur * options.blur));
    for (double& k : kernel) k /= sum;
    // Separable: along the rows into `across`, then down the columns back
    // into the photograph, each as whole-row sums of shifted rows (edges
    // repeated), which the compiler vectorises.
    const size_t rowFloats = 3 * static_cast<size_t>(w);
    std::vector<float> across(rowFloats * h);
    for (int read = 1; read <= 8; ++read) {
        float* pixels = out[read - 1]->pixels;
        forRows([&](int y) {
            const float* row = pixels + y * rowFloats;
            std::vector<float> padded(rowFloats + 6 * radius);
            for (int x = -radius; x < w + radius; ++x)
                for (int c = 0; c < 3; ++c)
                    padded[3 * (x + radius) + c] = row[3 * std::clamp(x, 0, w - 1) + c];
            std::vector<double> sum(rowFloats, 0.0);
            for (int k = 0; k <= 2 * radius; ++k) {
                const float* shifted = padded.data() + 3 * k;
                for (size_t i = 0; i < rowFloats; ++i) sum[i] += kernel[k] * shifted[i];
            }
            float* into = across.data() + y * rowFloats;
            for (size_t i = 0; i < rowFloats; ++i) into[i] = static_cast<float>(sum[i]);
        });
        forRows([&](int y) {
            std::vector<double> sum(rowFloats, 0.0);
            for (int k = -radius; k <= radius; ++k) {
                const float* row = across.data() + std::clamp(y + k, 0, h - 1) * rowFloats;
                for (size_t i = 0; i < rowFloats; ++i) sum[i] += kernel[k + radius] * row[i];
            }
            float* into = pixels + y * rowFloats;
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    into[3 * x + c] = static_cast<float>(
                        (effects ? effectEncode(options.effects, sum[3 * x + c]) : sum[3 * x + c]) +
                        sensor(read, x, y, c));
        });
    }
}

std::string renderDescription(const RenderOptions& o) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "slscan-render 1\nobject %s\nantialias %d\nnoise %.17g\ntexture %d\n"
                  "ambient %.17g\nseed %u\nsize %d %d\nblack %.17g\nblur %.17g\n",
                  o.object.c_str(), o.antialias, o.noise, o.texture ? 1 : 0, o.ambient, o.seed,
                  o.width, o.height, o.black, o.blur);
    std::string text = buf;
    if (!renderEffectsOn(o.effects)) return text;
    const RenderEffects& e = o.effects;
    std::snprintf(buf, sizeof buf,
                  "crosstalk %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g\ngamma %.17g\n"
                  "projector-black %.17g\nvignetting %.17g\nwhite-balance %.17g %.17g %.17g\n"
                  "exposure %.17g\nspecular %.17g\n",
                  e.crosstalk[0], e.crosstalk[1], e.crosstalk[2], e.crosstalk[3], e.crosstalk[4],
                  e.crosstalk[5], e.crosstalk[6], e.crosstalk[7], e.crosstalk[8], e.gamma,
                  e.projectorBlack, e.vignetting, e.whiteBalance[0], e.whiteBalance[1], e.whiteBalance[2],
                  e.exposure, e.specular);
    return text + buf;
}
