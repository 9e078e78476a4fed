#include "preview/mesh_draw.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "mesh/mesh_io.h"

namespace {

constexpr int kPanel = 420;  // as the cloud's views
constexpr int kMargin = 20;

struct ScreenVertex {
    double x, y, depth;  // pixels; larger depth is nearer the viewer
    double rgb[3];       // colour times light
};

// Fills one triangle into the panel, nearest surface winning per pixel.
void fill(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, int width,
          int height, std::vector<double>* depth, std::vector<unsigned char>* rgb) {
    const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0) return;
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))));
    const int x1 = std::min(width - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
    const int y1 = std::min(height - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double wa = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) / area;
            const double wb = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) / area;
            const double wc = 1 - wa - wb;
            if (wa < 0 || wb < 0 || wc < 0) continue;
            const double z = wa * a.depth + wb * b.depth + wc * c.depth;
            const size_t i = static_cast<size_t>(y) * width + x;
            if (z <= (*depth)[i]) continue;
            (*depth)[i] = z;
            for (int k = 0; k < 3; ++k)
                (*rgb)[3 * i + k] = static_cast<unsigned char>(std::clamp(
                    std::lround(wa * a.rgb[k] + wb * b.rgb[k] + wc * c.rgb[k]), 0L, 255L));
        }
    }
}

}  // namespace

void previewDrawMesh(const Mesh& mesh, std::vector<unsigned char>* rgb, int width) {
    Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
    for (const Vec3& p : mesh.vertices) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z, 1e-9});
    const Vec3 mid = 0.5 * (lo + hi);
    const double scale = (kPanel - 10) / extent;
    // Vertex normals: the area-weighted mean of the faces around each.
    std::vector<Vec3> normal(mesh.vertices.size(), Vec3{0, 0, 0});
    for (const MeshTriangle& t : mesh.triangles) {
        const Vec3 n = meshTriangleNormal(mesh, t);
        for (uint32_t v : t) normal[v] = normal[v] + n;
    }
    for (Vec3& n : normal)
        if (length(n) > 0) n = normalized(n);
    std::vector<double> depth;
    std::vector<unsigned char> panel;
    for (int view = 0; view < 3; ++view) {
        const Vec3 viewer = view == 0 ? Vec3{0, 0, 1} : view == 1 ? Vec3{-1, 0, 0} : Vec3{0, 1, 0};
        depth.assign(static_cast<size_t>(kPanel) * kPanel, -std::numeric_limits<double>::infinity());
        panel.assign(3 * static_cast<size_t>(kPanel) * kPanel, 0);
        for (size_t i = 0; i < panel.size(); i += 3) panel[i] = 40, panel[i + 1] = 40, panel[i + 2] = 44;
        std::vector<ScreenVertex> screen(mesh.vertices.size());
        for (size_t v = 0; v < mesh.vertices.size(); ++v) {
            const Vec3 p = mesh.vertices[v] - mid;
            // As the cloud's views: up the page is y, in the top view -z.
            const double u = view == 1 ? p.z : p.x, w = view == 2 ? -p.z : p.y;
            // Lit from the viewer: bright where the surface faces the eye.
            const double light = 0.12 + 0.88 * std::max(0.0, dot(normal[v], viewer));
            ScreenVertex& s = screen[v];
            s = {kPanel / 2 + u * scale, kPanel / 2 - w * scale, dot(p, viewer), {0, 0, 0}};
            for (int k = 0; k < 3; ++k)
                s.rgb[k] = light * (mesh.colours.empty() ? 200 : mesh.colours[v][k]);
        }
        for (const MeshTriangle& t : mesh.triangles)
            fill(screen[t[0]], screen[t[1]], screen[t[2]], kPanel, kPanel, &depth, &panel);
        const int left = kMargin + view * (kPanel + kMargin);
        for (int y = 0; y < kPanel; ++y)
            std::copy_n(&panel[3 * static_cast<size_t>(y) * kPanel], 3 * kPanel,
                        &(*rgb)[3 * (static_cast<size_t>(kMargin + y) * width + left)]);
    }
}

bool previewMeshIfPresent(const std::string& dir, std::vector<unsigned char>* rgb, int width,
                          bool* drawn, std::string* error) {
    *drawn = false;
    const std::string path = dir + "/mesh.ply";
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) return true;
    Mesh mesh;
    if (!meshReadPly(path, &mesh, error)) return false;
    previewDrawMesh(mesh, rgb, width);
    *drawn = true;
    return true;
}
