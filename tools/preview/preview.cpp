#include "preview/preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "image/scan_layout.h"

namespace {

constexpr int kPanel = 420;   // side of one view in pixels
constexpr int kMargin = 20;
constexpr int kKeyHeight = 40;

Rgb hsv(double h) {
    const double c = 0.9, x = c * (1 - std::fabs(std::fmod(h / 60, 2) - 1)), m = 0.1;
    double r = 0, g = 0, b = 0;
    if (h < 60) { r = c; g = x; }
    else if (h < 120) { r = x; g = c; }
    else if (h < 180) { g = c; b = x; }
    else if (h < 240) { g = x; b = c; }
    else if (h < 300) { r = x; b = c; }
    else { r = c; b = x; }
    const auto byte = [&](double v) { return static_cast<unsigned char>(std::lround((v + m) * 255)); };
    return {byte(r), byte(g), byte(b)};
}

// A five-by-seven font for the key and the panel labels: each row of a glyph
// is five bits, the leftmost pixel the highest. Characters not here are blank.
struct Glyph {
    char ch;
    unsigned char rows[7];
};
const Glyph kFont[] = {
    {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
    {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},
    {'6', {6, 8, 16, 30, 17, 17, 14}},   {'7', {31, 1, 2, 4, 8, 8, 8}},
    {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {'D', {30, 17, 17, 17, 17, 17, 30}}, {'E', {31, 16, 16, 30, 16, 16, 31}},
    {'F', {31, 16, 16, 30, 16, 16, 16}}, {'G', {14, 17, 16, 23, 17, 17, 15}},
    {'H', {17, 17, 17, 31, 17, 17, 17}}, {'I', {14, 4, 4, 4, 4, 4, 14}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 25, 21, 19, 17, 17, 17}},
    {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
    {'R', {30, 17, 17, 30, 20, 18, 17}}, {'S', {15, 16, 16, 14, 1, 1, 30}},
    {'T', {31, 4, 4, 4, 4, 4, 4}},       {'U', {17, 17, 17, 17, 17, 17, 14}},
    {'V', {17, 17, 17, 17, 17, 10, 4}},  {'W', {17, 17, 17, 21, 21, 21, 10}},
    {'X', {17, 17, 10, 4, 10, 17, 17}},  {'Y', {17, 17, 10, 4, 4, 4, 4}},
    {'Z', {31, 1, 2, 4, 8, 16, 31}},     {'(', {2, 4, 8, 8, 8, 4, 2}},
    {')', {8, 4, 2, 2, 2, 4, 8}},        {'+', {0, 4, 4, 31, 4, 4, 0}},
    {'-', {0, 0, 0, 31, 0, 0, 0}},       {',', {0, 0, 0, 0, 6, 4, 8}},
};

const unsigned char* glyph(char ch) {
    for (const Glyph& g : kFont)
        if (g.ch == ch) return g.rows;
    return nullptr;
}

// What each panel shows: the view, where it looks from, and the axes as they
// run on the page.
const char* const kPanelLabels[3] = {"FRONT VIEW (FROM +Z)  X RIGHT, Y UP",
                                     "SIDE VIEW (FROM -X)  Z RIGHT, Y UP",
                                     "TOP VIEW (FROM +Y)  X RIGHT, Z DOWN"};

struct Canvas {
    int width, height;
    std::vector<unsigned char> rgb;
    void set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        unsigned char* p = &rgb[3 * (static_cast<size_t>(y) * width + x)];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
    void text(int x, int y, const std::string& s, Rgb c) {
        for (char ch : s) {
            if (const unsigned char* rows = glyph(ch))
                for (int r = 0; r < 7; ++r)
                    for (int k = 0; k < 5; ++k)
                        if (rows[r] >> (4 - k) & 1) set(x + k, y + r, c);
            x += 6;
        }
    }
};

}  // namespace

Rgb previewAngleColour(int angle) {
    if (angle < 0) return {160, 160, 160};
    return hsv(std::fmod(angle, 360.0));
}

std::vector<unsigned char> previewDraw(const std::vector<CloudPoint>& cloud, int* width,
                                       int* height) {
    Canvas canvas{3 * kPanel + 4 * kMargin, kPanel + 2 * kMargin + kKeyHeight, {}};
    canvas.rgb.assign(3 * static_cast<size_t>(canvas.width) * canvas.height, 24);
    // One scale for all three views: the largest extent of the cloud.
    Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
    for (const CloudPoint& c : cloud) {
        lo = {std::min(lo.x, c.p.x), std::min(lo.y, c.p.y), std::min(lo.z, c.p.z)};
        hi = {std::max(hi.x, c.p.x), std::max(hi.y, c.p.y), std::max(hi.z, c.p.z)};
    }
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z, 1e-9});
    const Vec3 mid = 0.5 * (lo + hi);
    const double scale = (kPanel - 10) / extent;
    for (int view = 0; view < 3; ++view) {
        const int left = kMargin + view * (kPanel + kMargin);
        for (int i = 0; i < kPanel; ++i) {  // panel background
            for (int j = 0; j < kPanel; ++j) canvas.set(left + i, kMargin + j, {40, 40, 44});
        }
        canvas.text(left, kMargin - 13, kPanelLabels[view], {230, 230, 230});
        // Far points first, so that near ones stay on top.
        std::vector<const CloudPoint*> order;
        const Vec3 viewer = view == 0 ? Vec3{0, 0, 1} : view == 1 ? Vec3{-1, 0, 0} : Vec3{0, 1, 0};
        for (const CloudPoint& c : cloud) {
            const bool unknown = c.normal.x == 0 && c.normal.y == 0 && c.normal.z == 0;
            if (unknown || dot(c.normal, viewer) > 0) order.push_back(&c);
        }
        const auto depth = [view](const CloudPoint* c) {
            return view == 0 ? c->p.z : view == 1 ? -c->p.x : c->p.y;
        };
        std::sort(order.begin(), order.end(),
                  [&](const CloudPoint* a, const CloudPoint* b) { return depth(a) < depth(b); });
        for (const CloudPoint* c : order) {
            const double u = view == 0 ? c->p.x - mid.x : view == 1 ? c->p.z - mid.z : c->p.x - mid.x;
            // Up the page: y in the front and side views; in the top view, seen
            // from above with x to the right, -z (so the front is at the bottom).
            const double v = view == 2 ? mid.z - c->p.z : c->p.y - mid.y;
            const int x = left + kPanel / 2 + static_cast<int>(std::lround(u * scale));
            const int y = kMargin + kPanel / 2 - static_cast<int>(std::lround(v * scale));
            const Rgb colour = c->ownColour ? c->colour : previewAngleColour(c->angle);
            const int dot = c->ownColour ? 3 : 2;  // a cleaned cloud is sparser
            for (int dy = 0; dy < dot; ++dy)
                for (int dx = 0; dx < dot; ++dx) canvas.set(x + dx, y + dy, colour);
        }
    }
    // The key: a swatch and the angle for each angle of the scan.
    const int keyTop = kMargin + kPanel + 14;
    const bool allOwn = !cloud.empty() && std::all_of(cloud.begin(), cloud.end(),
                                                      [](const CloudPoint& c) { return c.ownColour; });
    std::vector<int> angles;
    for (const CloudPoint& c : cloud)
        if (!c.ownColour && c.angle >= 0) angles.push_back(c.angle);
    std::sort(angles.begin(), angles.end());
    angles.erase(std::unique(angles.begin(), angles.end()), angles.end());
    const int spacing = angles.empty() ? 105
                                       : std::min(105, (canvas.width - 2 * kMargin) /
                                                           static_cast<int>(angles.size()));
    for (size_t i = 0; i < angles.size() && !allOwn; ++i) {
        const int x = kMargin + static_cast<int>(i) * spacing;
        for (int a = 0; a < 14; ++a)
            for (int b = 0; b < 14; ++b) canvas.set(x + a, keyTop + b, previewAngleColour(angles[i]));
        canvas.text(x + 20, keyTop + 4, std::to_string(angles[i]), {230, 230, 230});
    }
    *width = canvas.width;
    *height = canvas.height;
    return canvas.rgb;
}

std::string previewPly(const std::vector<CloudPoint>& cloud) {
    std::string s = "ply\nformat ascii 1.0\ncomment slscan point cloud, coloured by turntable angle\n";
    s += "element vertex " + std::to_string(cloud.size()) + "\n";
    s += "property float x\nproperty float y\nproperty float z\n";
    s += "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n";
    char line[160];
    for (const CloudPoint& c : cloud) {
        const Rgb colour = previewAngleColour(c.angle);
        std::snprintf(line, sizeof line, "%.6f %.6f %.6f %d %d %d\n", c.p.x, c.p.y, c.p.z,
                      colour.r, colour.g, colour.b);
        s += line;
    }
    return s;
}
