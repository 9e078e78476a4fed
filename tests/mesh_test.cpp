// The mesh tool: the checks a slicer makes (on hand-built meshes whose
// answers are known), the tool on synthetic clouds of known shape, its
// refusals, and a rendered scan carried through to a measured mesh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/ply.h"
#include "eval/cloud_report.h"
#include "eval/mesh_report.h"
#include "mesh/mesh_clean.h"
#include "mesh/mesh_close.h"
#include "mesh/mesh_intersect.h"
#include "mesh/mesh_io.h"
#include "mesh/mesh_run.h"
#include "mesh/mesh_topology.h"
#include "preview/mesh_draw.h"
#include "test_util.h"
#include "tools_util.h"

namespace {

// An octahedron of radius 1 (volume 4/3), faces counter-clockwise seen from outside.
Mesh octahedron() {
    Mesh m;
    m.vertices = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    m.triangles = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1},
                   {5, 2, 1}, {5, 3, 2}, {5, 4, 3}, {5, 1, 4}};
    return m;
}

bool closed(const Mesh& m) {
    const MeshEdgeCounts e = meshEdgeCounts(m);
    return e.border == 0 && e.nonManifold == 0 && e.misoriented == 0;
}

// Evenly spread points of a sphere (a Fibonacci spiral), normals outward,
// coloured by colour(point).
template <class Colour>
void addSphere(Vec3 centre, double radius, int n, Colour colour, std::vector<PlyVertex>* out,
               double minY = -1e9) {
    for (int i = 0; i < n; ++i) {
        const double y = 1 - 2 * (i + 0.5) / n, r = std::sqrt(1 - y * y), a = 2.399963 * i;
        const Vec3 d{r * std::cos(a), y, r * std::sin(a)};
        const Vec3 p = centre + radius * d;
        if (p.y < minY) continue;
        const MeshColour c = colour(p);
        out->push_back({float(p.x), float(p.y), float(p.z), float(d.x), float(d.y), float(d.z),
                        c[0], c[1], c[2]});
    }
}

MeshColour grey(Vec3) { return {150, 150, 150}; }

// slscan-mesh on a cloud written into dir; its exit status.
// slscan-mesh's run on `cloud`, written as dir/cloud.ply.
// Writes `cloud` as the folder's cloud.ply and meshes it with `options`
// (the folder set to `dir`).
MeshRunReport meshCloud(const TempDir& dir, const std::vector<PlyVertex>& cloud,
                        MeshRunOptions options = {}) {
    std::string error;
    EXPECT_TRUE(plyWrite(dir.file("cloud.ply"), cloud, "", &error)) << error;
    options.dir = dir.path();
    return meshRun(options);
}

Mesh readMesh(const TempDir& dir) {
    Mesh m;
    std::string error;
    EXPECT_TRUE(meshReadPly(dir.file("mesh.ply"), &m, &error)) << error;
    return m;
}

// The triangles of a binary STL: three corners and the stored normal each.
struct StlTriangle {
    float normal[3], corner[3][3];
};

std::vector<StlTriangle> readStl(const std::string& path) {
    const std::string data = readFile(path);
    std::vector<StlTriangle> out;
    if (data.size() < 84) return out;
    uint32_t n;
    std::memcpy(&n, data.data() + 80, 4);
    EXPECT_EQ(data.size(), 84 + 50 * static_cast<size_t>(n));
    for (size_t i = 0; i < n && 84 + 50 * (i + 1) <= data.size(); ++i) {
        StlTriangle t;
        std::memcpy(&t, data.data() + 84 + 50 * i, 48);
        out.push_back(t);
    }
    return out;
}

}  // namespace

TEST(MeshChecks, TopologyOfHandBuiltMeshes) {
    Mesh m = octahedron();
    EXPECT_TRUE(closed(m));
    int pieces = 0;
    std::vector<int> piece = meshPieces(m, &pieces);
    EXPECT_EQ(pieces, 1);
    EXPECT_NEAR(meshPieceVolumes(m, piece, pieces)[0], 4.0 / 3.0, 1e-12);
    // One face turned: two edges used twice in one direction.
    std::swap(m.triangles[0][1], m.triangles[0][2]);
    EXPECT_EQ(meshEdgeCounts(m).misoriented, 3);
    // One face gone: a hole of three border edges.
    m = octahedron();
    m.triangles.pop_back();
    EXPECT_EQ(meshEdgeCounts(m).border, 3);
    // A second octahedron beside the first: two pieces.
    m = octahedron();
    Mesh other = octahedron();
    for (Vec3 v : other.vertices) m.vertices.push_back(v + Vec3{5, 0, 0});
    for (MeshTriangle t : other.triangles) m.triangles.push_back({t[0] + 6, t[1] + 6, t[2] + 6});
    meshPieces(m, &pieces);
    EXPECT_EQ(pieces, 2);
}

// The top half of an octahedron gone: one hole of four edges, closed by a
// fan to the centre of its rim (the origin), which leaves the lower half,
// volume 2/3.
TEST(MeshClose, FanClosesAnOpenTop) {
    Mesh m = octahedron();
    m.triangles.erase(m.triangles.begin(), m.triangles.begin() + 4);
    meshDropUnusedVertices(&m);
    ASSERT_EQ(meshEdgeCounts(m).border, 4);
    EXPECT_EQ(meshCloseHoles(&m), 1);
    EXPECT_TRUE(closed(m));
    EXPECT_EQ(m.triangles.size(), 8u);
    int pieces = 0;
    const std::vector<int> piece = meshPieces(m, &pieces);
    EXPECT_NEAR(meshPieceVolumes(m, piece, pieces)[0], 2.0 / 3.0, 1e-9);
}

// A small octahedron inside a large one, facing inward, is a hollow: it
// goes. A mesh entirely inside out is turned.
TEST(MeshOrient, HollowsDroppedAndInsideOutTurned) {
    Mesh m = octahedron();
    for (Vec3& v : m.vertices) v = 10.0 * v;
    for (Vec3 v : octahedron().vertices) m.vertices.push_back(v);
    for (MeshTriangle t : octahedron().triangles) m.triangles.push_back({t[0] + 6, t[2] + 6, t[1] + 6});
    bool turned = true;
    EXPECT_EQ(meshOrientOutward(&m, &turned), 1);
    EXPECT_FALSE(turned);
    EXPECT_EQ(m.triangles.size(), 8u);
    EXPECT_EQ(m.vertices.size(), 6u);
    for (MeshTriangle& t : m.triangles) std::swap(t[0], t[1]);
    EXPECT_EQ(meshOrientOutward(&m, &turned), 0);
    EXPECT_TRUE(turned);
    int pieces = 0;
    const std::vector<int> piece = meshPieces(m, &pieces);
    EXPECT_NEAR(meshPieceVolumes(m, piece, pieces)[0], 4000.0 / 3.0, 1e-9);
}

TEST(MeshChecks, SelfIntersectionOfTrianglePairs) {
    struct Case {
        const char* name;
        std::vector<Vec3> vertices;
        MeshTriangle a, b;
        long expected;
    };
    const std::vector<Case> cases = {
        {"apart", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {0, 1, 2}, {3, 4, 5}, 0},
        {"crossing", {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0.5, 0.5, -1}, {0.5, 0.5, 1}, {3, 3, 0.2}}, {0, 1, 2}, {3, 4, 5}, 1},
        {"coplanar overlap", {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0.2, 0.2, 0}, {3, 0.2, 0}, {0.2, 3, 0}}, {0, 1, 2}, {3, 4, 5}, 1},
        {"edge, bent", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0.5}}, {0, 1, 2}, {1, 0, 3}, 0},
        {"edge, flat", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}}, {0, 1, 2}, {1, 0, 3}, 0},
        {"edge, folded", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.5, 2, 0}}, {0, 1, 2}, {1, 0, 3}, 1},
        {"vertex, apart", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0.3}, {0, -1, 0.3}}, {0, 1, 2}, {0, 3, 4}, 0},
        {"vertex, through", {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {1, 1, -1}, {1, 1, 1}}, {0, 1, 2}, {0, 3, 4}, 1},
    };
    for (const Case& c : cases) {
        Mesh m;
        m.vertices = c.vertices;
        m.triangles = {c.a, c.b};
        EXPECT_EQ(meshSelfIntersections(m).pairs, c.expected) << c.name;
    }
    EXPECT_EQ(meshSelfIntersections(octahedron()).pairs, 0);
}

// A row of 3000 crossings spread over many grid cells, searched on one
// thread and on two: each triangle flat in z = 0 is pierced by the one
// standing in x = i + 0.5 and meets nothing else, so the pairs are exactly
// (2 i, 2 i + 1), and the list is the same whatever the threads.
TEST(MeshChecks, SelfIntersectionsTheSameOnAnyNumberOfThreads) {
    Mesh m;
    const int n = 3000;
    for (int i = 0; i < n; ++i) {
        const uint32_t v = static_cast<uint32_t>(m.vertices.size());
        const double x = i;
        m.vertices.insert(m.vertices.end(), {{x, -1, 0}, {x + 0.8, -1, 0}, {x + 0.4, 1, 0},
                                             {x + 0.5, 0, -1}, {x + 0.5, 0.5, 1}, {x + 0.5, -0.5, 1}});
        m.triangles.push_back({v, v + 1, v + 2});
        m.triangles.push_back({v + 3, v + 4, v + 5});
    }
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> lists;
    for (const char* threads : {"1", "2"}) {
        setenv("SLSCAN_THREADS", threads, 1);
        lists.emplace_back();
        EXPECT_EQ(meshSelfIntersections(m, &lists.back()).pairs, n) << threads << " threads";
    }
    unsetenv("SLSCAN_THREADS");
    EXPECT_EQ(lists[0], lists[1]);
    std::vector<std::pair<uint32_t, uint32_t>> sorted = lists[0];
    for (auto& [a, b] : sorted)
        if (a > b) std::swap(a, b);
    std::sort(sorted.begin(), sorted.end());
    long wrong = 0;
    for (int i = 0; i < static_cast<int>(sorted.size()); ++i)
        wrong += sorted[i] != std::pair<uint32_t, uint32_t>(2 * i, 2 * i + 1);
    EXPECT_EQ(wrong, 0);
}

// The top of an octahedron split into two vertices 1e-5 apart, joined by two
// sliver triangles that fold onto each other: closed, but cutting itself.
// Merging the pair gives the octahedron back.
TEST(MeshClean, MergedSliversLeaveNoSelfIntersection) {
    Mesh m = octahedron();
    m.vertices.push_back({1e-5, 0, 1});  // 6, beside 0
    m.triangles[2] = {6, 3, 4};
    m.triangles[3] = {6, 4, 1};
    m.triangles.push_back({0, 3, 6});
    m.triangles.push_back({1, 0, 6});
    ASSERT_TRUE(closed(m));
    ASSERT_GT(meshSelfIntersections(m).pairs, 0);
    MeshCleanStats stats;
    meshClean(&m, 0.01, &stats);
    EXPECT_EQ(stats.mergedVertices, 1);
    EXPECT_EQ(stats.degenerate, 2);
    EXPECT_EQ(m.triangles.size(), 8u);
    EXPECT_TRUE(closed(m));
    const MeshIntersections after = meshSelfIntersections(m);
    EXPECT_EQ(after.pairs + after.degenerate, 0);
}

// An octahedron whose top face is split at the middle of an edge, the hole
// along that edge filled by a triangle of no area: splitting the bottom face
// at the same point keeps it closed, of the same volume, with nothing flat.
TEST(MeshClean, FlatTriangleSplitsItsNeighbour) {
    Mesh m = octahedron();
    m.vertices.push_back({0.5, 0.5, 0});  // 6, between 1 and 2
    m.triangles[0] = {0, 1, 6};
    m.triangles.push_back({0, 6, 2});
    m.triangles.push_back({1, 2, 6});
    ASSERT_TRUE(closed(m));
    MeshCleanStats stats;
    meshClean(&m, 0.01, &stats);
    EXPECT_EQ(stats.split, 1);
    EXPECT_EQ(m.triangles.size(), 10u);
    EXPECT_TRUE(closed(m));
    EXPECT_EQ(meshSelfIntersections(m).degenerate, 0);
    int pieces = 0;
    const std::vector<int> piece = meshPieces(m, &pieces);
    EXPECT_NEAR(meshPieceVolumes(m, piece, pieces)[0], 4.0 / 3.0, 1e-12);
}

// Four triangles on one edge (two octahedra sharing it): the smallest two go.
TEST(MeshClean, EdgeOfFourKeepsTheLargestTwo) {
    Mesh m;
    m.vertices = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0.5}, {-3, 0, 0.5}, {0, 2, 0.5}, {0, -0.5, 0.5}};
    m.triangles = {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {1, 0, 5}};
    MeshCleanStats stats;
    meshClean(&m, 0.01, &stats);
    EXPECT_EQ(stats.nonManifold, 2);
    ASSERT_EQ(m.triangles.size(), 2u);
    EXPECT_EQ(meshEdgeCounts(m).nonManifold, 0);
}

// The shaded picture: a red octahedron seen from the front is red where it
// faces the viewer (its tip, lit fully), dimmer toward its rim, and the
// panel's background around it.
TEST(MeshPreview, ShadedInItsColoursLitFromTheViewer) {
    Mesh m = octahedron();
    m.colours.assign(6, MeshColour{200, 0, 0});
    const int w = 3 * 420 + 4 * 20, h = 420 + 2 * 20;  // the cloud picture's panels
    std::vector<unsigned char> rgb(3 * w * h, 0);
    previewDrawMesh(m, &rgb, w);
    auto at = [&](int x, int y) { return &rgb[3 * (static_cast<size_t>(y) * w + x)]; };
    const int cx = 20 + 210, cy = 20 + 210;  // the front view's centre
    EXPECT_GE(at(cx, cy)[0], 190);
    EXPECT_EQ(at(cx, cy)[1], 0);
    EXPECT_LT(at(cx + 150, cy)[0], at(cx + 20, cy)[0]);
    EXPECT_EQ(at(22, 22)[0], 40);
}

// A sphere's cloud: one closed piece facing outward, of the sphere's volume;
// the STL holds the PLY's triangles with outward normals; a two-coloured
// cloud gives a two-coloured mesh, a grey one a grey mesh.
TEST(MeshTool, SphereClosedOutwardAndColoured) {
    TempDir dir;
    std::vector<PlyVertex> cloud;
    const Vec3 centre{0, -10, 0};
    addSphere(centre, 20, 4000, [](Vec3 p) { return p.x < 0 ? MeshColour{200, 30, 30} : MeshColour{30, 30, 200}; },
              &cloud);
    const MeshRunReport report = meshCloud(dir, cloud);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    const Mesh m = readMesh(dir);
    EXPECT_TRUE(closed(m));
    EXPECT_TRUE(report.closed);
    EXPECT_EQ(report.triangles, static_cast<long>(m.triangles.size()));
    int pieces = 0;
    const std::vector<int> piece = meshPieces(m, &pieces);
    ASSERT_EQ(pieces, 1);
    const double volume = meshPieceVolumes(m, piece, 1)[0];
    EXPECT_NEAR(volume, 4.0 / 3.0 * kPi * 8000, 0.02 * 4.0 / 3.0 * kPi * 8000);
    const MeshIntersections crossings = meshSelfIntersections(m);
    EXPECT_EQ(crossings.pairs + crossings.degenerate, 0);
    long wrongColour = 0, sided = 0;
    for (size_t v = 0; v < m.vertices.size(); ++v) {
        const double x = m.vertices[v].x;
        if (std::fabs(x) < 2) continue;  // the seam blends
        ++sided;
        wrongColour += x < 0 ? m.colours[v][0] < 190 || m.colours[v][2] > 40
                             : m.colours[v][2] < 190 || m.colours[v][0] > 40;
    }
    EXPECT_EQ(wrongColour, 0) << "of " << sided;

    const std::vector<StlTriangle> stl = readStl(dir.file("mesh.stl"));
    ASSERT_EQ(stl.size(), m.triangles.size());
    long mismatched = 0, inward = 0;
    for (size_t t = 0; t < stl.size(); ++t) {
        for (int k = 0; k < 3; ++k) {
            const Vec3 v = m.vertices[m.triangles[t][k]];
            mismatched += float(v.x) != stl[t].corner[k][0] || float(v.y) != stl[t].corner[k][1] ||
                          float(v.z) != stl[t].corner[k][2];
        }
        const Vec3 n{stl[t].normal[0], stl[t].normal[1], stl[t].normal[2]};
        const Vec3 at{stl[t].corner[0][0], stl[t].corner[0][1], stl[t].corner[0][2]};
        inward += dot(n, at - centre) <= 0 || std::fabs(length(n) - 1) > 1e-5;
    }
    EXPECT_EQ(mismatched, 0);
    EXPECT_EQ(inward, 0);

    cloud.clear();
    addSphere(centre, 20, 3000, grey, &cloud);
    ASSERT_EQ(meshCloud(dir, cloud).result.status, 0);
    long notGrey = 0;
    for (const MeshColour& c : readMesh(dir).colours) notGrey += c != MeshColour{150, 150, 150};
    EXPECT_EQ(notGrey, 0);
}

// Two spheres apart give two closed pieces; a sphere seen only above its
// lowest fifth (the turntable hides the rest) comes out closed; --open keeps
// the open rim instead and adds nothing below the points.
TEST(MeshTool, PartsAndAnOpenBottom) {
    TempDir dir;
    std::vector<PlyVertex> cloud;
    addSphere({-16, -10, 0}, 12, 2500, grey, &cloud);
    addSphere({16, -10, 0}, 12, 2500, grey, &cloud);
    MeshRunReport report = meshCloud(dir, cloud);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_EQ(report.pieces, 2);
    Mesh m = readMesh(dir);
    int pieces = 0;
    std::vector<int> piece = meshPieces(m, &pieces);
    EXPECT_EQ(pieces, 2);
    EXPECT_TRUE(closed(m));
    for (double v : meshPieceVolumes(m, piece, pieces)) EXPECT_NEAR(v, 4.0 / 3.0 * kPi * 1728, 0.03 * 4.0 / 3.0 * kPi * 1728);

    cloud.clear();
    addSphere({0, -10, 0}, 20, 4000, grey, &cloud, -10 - 12);  // no point below y = -22
    report = meshCloud(dir, cloud);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_EQ(report.holes, 1);
    m = readMesh(dir);
    EXPECT_TRUE(closed(m));
    const MeshIntersections crossings = meshSelfIntersections(m);
    EXPECT_EQ(crossings.pairs + crossings.degenerate, 0);
    piece = meshPieces(m, &pieces);
    EXPECT_EQ(pieces, 1);
    EXPECT_GT(meshPieceVolumes(m, piece, pieces)[0], 0);

    MeshRunOptions open;
    open.open = true;
    report = meshCloud(dir, cloud, open);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_EQ(report.holes, 0);
    EXPECT_FALSE(report.closed);
    m = readMesh(dir);
    EXPECT_GT(meshEdgeCounts(m).border, 0);
    double lowest = 1e9;
    for (const Vec3& v : m.vertices) lowest = std::min(lowest, v.y);
    EXPECT_GT(lowest, -22 - 2.5);
}

// A streak of points two millimetres off a sphere (two lines of them
// down its side, as a scan leaves where it saw a thin part poorly) is wrapped
// by the reconstruction into a small closed shell beside the sphere: that
// shell goes, leaving one piece.
TEST(MeshTool, StrayShellBesideTheSurfaceDropped) {
    TempDir dir;
    std::vector<PlyVertex> cloud;
    const Vec3 centre{0, -10, 0};
    addSphere(centre, 12, 1500, grey, &cloud);
    for (int line = 0; line < 2; ++line)
        for (int i = 0; i < 20; ++i) {
            const double a = 0.1 + 0.25 / 12 * i, r = 14 + 0.01 * line;  // down the side, 2 off
            const Vec3 d{std::cos(a), -std::sin(a), 0.1 / 12 * line};
            const Vec3 p = centre + r * d;
            cloud.push_back({float(p.x), float(p.y), float(p.z), float(d.x), float(d.y), float(d.z),
                             150, 150, 150});
        }
    MeshRunOptions keepAll;
    keepAll.strayShare = 0;  // nothing counts as small: the shell the reconstruction makes stays
    MeshRunReport report = meshCloud(dir, cloud, keepAll);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_EQ(report.pieces, 2);
    report = meshCloud(dir, cloud);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    EXPECT_EQ(report.strays, 1);
    EXPECT_EQ(report.pieces, 1);
    Mesh m = readMesh(dir);
    int pieces = 0;
    std::vector<int> piece = meshPieces(m, &pieces);
    EXPECT_EQ(pieces, 1);
    EXPECT_TRUE(closed(m));
    EXPECT_NEAR(meshPieceVolumes(m, piece, pieces)[0], 4.0 / 3.0 * kPi * 1728, 0.03 * 4.0 / 3.0 * kPi * 1728);
}

// A sphere of radius 2 (under half a percent of the volume) 6 from one of
// radius 12 is a part of its own and stays; the same 1.5 from it goes.
TEST(MeshTool, SmallPartKeptUnlessPressedAgainstALargerOne) {
    TempDir dir;
    const Vec3 centre{0, -10, 0};
    for (const auto& [gap, kept] : {std::pair<double, int>{6, 2}, {1.5, 1}}) {
        std::vector<PlyVertex> cloud;
        addSphere(centre, 12, 1500, grey, &cloud);
        addSphere(centre + Vec3{14 + gap, 0, 0}, 2, 150, grey, &cloud);
        const MeshRunReport report = meshCloud(dir, cloud);
        ASSERT_EQ(report.result.status, 0) << report.result.reason;
        EXPECT_EQ(report.pieces, kept) << "gap " << gap;
        EXPECT_EQ(report.strays, 2 - kept) << "gap " << gap;
    }
}

// A cloud sampled as dense stripe points sample a surface: densely along
// curves (here meridians of a sphere, 0.3 apart along them) and sparsely
// across (2 apart at the equator). The k nearest points of a point lie on
// its own curve, so a plane refitted to them can lean any way about it;
// with --cloud-normals the cloud's own normals (here exact) are used and
// the mesh is the sphere, closed, in one piece.
TEST(MeshTool, CurveSampledCloudKeepsItsOwnNormals) {
    TempDir dir;
    std::vector<PlyVertex> cloud;
    const Vec3 centre{0, -10, 0};
    const double radius = 20;
    for (int meridian = 0; meridian < 60; ++meridian) {
        const double a = 2 * kPi * meridian / 60;
        for (int i = 1; i < 210; ++i) {
            const double polar = kPi * i / 210;  // 0.3 apart along the meridian
            const Vec3 d{std::sin(polar) * std::cos(a), std::cos(polar), std::sin(polar) * std::sin(a)};
            const Vec3 p = centre + radius * d;
            cloud.push_back({float(p.x), float(p.y), float(p.z), float(d.x), float(d.y), float(d.z),
                             150, 150, 150});
        }
    }
    MeshRunOptions options;
    options.depth = 7;  // enough for a sphere, and quicker
    options.cloudNormals = true;
    const MeshRunReport report = meshCloud(dir, cloud, options);
    ASSERT_EQ(report.result.status, 0) << report.result.reason;
    const Mesh m = readMesh(dir);
    EXPECT_TRUE(closed(m));
    int pieces = 0;
    const std::vector<int> piece = meshPieces(m, &pieces);
    ASSERT_EQ(pieces, 1);
    const double volume = 4.0 / 3.0 * kPi * radius * radius * radius;
    EXPECT_NEAR(meshPieceVolumes(m, piece, pieces)[0], volume, 0.02 * volume);
    double worst = 0;
    for (const Vec3& v : m.vertices) worst = std::max(worst, std::fabs(length(v - centre) - radius));
    EXPECT_LT(worst, 0.5);
}

TEST(MeshTool, RefusesBadInputWithItsReason) {
    std::vector<PlyVertex> sphere;
    addSphere({0, 0, 0}, 10, 500, grey, &sphere);
    std::vector<PlyVertex> withNan = sphere;
    withNan[7].y = std::nanf("");
    struct Case {
        const char* name;
        std::string cloudText;  // written as cloud.ply when not empty
        std::vector<PlyVertex> cloud;
        const char* message;
    };
    const std::string noNormals =
        "ply\nformat binary_little_endian 1.0\nelement vertex 0\nproperty float x\nproperty float y\n"
        "property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n";
    const std::vector<Case> cases = {
        {"missing file", "", {}, "run slscan-cloud"},
        {"no normals", noNormals, {}, "no normals"},
        {"three points", "", {sphere.begin(), sphere.begin() + 3}, "too few"},
        {"NaN", "", withNan, "not a finite number"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (!c.cloudText.empty()) writeText(dir.file("cloud.ply"), c.cloudText);
        std::string error;
        if (!c.cloud.empty()) {
            ASSERT_TRUE(plyWrite(dir.file("cloud.ply"), c.cloud, "", &error));
        }
        MeshRunOptions options;
        options.dir = dir.path();
        const MeshRunReport report = meshRun(options);
        EXPECT_EQ(report.result.status, 1) << c.name;
        const std::string& err = report.result.reason;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
        EXPECT_NE(err.find("cloud.ply"), std::string::npos) << c.name << ": " << err;
        for (const char* left : {"mesh.ply", "mesh.stl", "mesh.ply.tmp", "mesh.stl.tmp"})
            EXPECT_FALSE(std::filesystem::exists(dir.file(left))) << c.name << ": " << left;
    }
    // A FIFO in the cloud's place is refused, not waited on.
    {
        TempDir fifo;
        ASSERT_EQ(runCommand("mkfifo '" + fifo.file("cloud.ply") + "'"), 0);
        EXPECT_EQ(runCommand("timeout 60 " + toolCommand("slscan-mesh") + "'" + fifo.path() +
                             "' > /dev/null 2> '" + fifo.file("e") + "'"),
                  1);
        EXPECT_NE(readFile(fifo.file("e")).find("not a regular file"), std::string::npos);
    }
    // A file that cannot be written: the old mesh stays, no temporary file is left.
    TempDir dir;
    const std::string tool = toolCommand("slscan-mesh");
    std::string error;
    ASSERT_TRUE(plyWrite(dir.file("cloud.ply"), sphere, "", &error));
    writeText(dir.file("mesh.ply"), "old");
    std::filesystem::create_directory(dir.file("mesh.stl.tmp"));
    EXPECT_EQ(runCommand(tool + "'" + dir.path() + "' > /dev/null 2> '" + dir.file("e") + "'"), 1);
    EXPECT_NE(readFile(dir.file("e")).find("mesh.stl.tmp"), std::string::npos);
    EXPECT_EQ(readFile(dir.file("mesh.ply")), "old");
    EXPECT_FALSE(std::filesystem::exists(dir.file("mesh.ply.tmp")));
    // Interrupted at any moment: ended by the signal or finished, never a
    // temporary file left.
    std::filesystem::remove(dir.file("mesh.stl.tmp"));
    for (const char* delay : {"0.3", "1", "2"}) {
        runCommand("(" + tool + "'" + dir.path() + "' > /dev/null & p=$!; sleep " + delay +
                   "; kill -TERM $p; wait $p) 2> /dev/null");
        for (const char* left : {"mesh.ply.tmp", "mesh.stl.tmp"})
            EXPECT_FALSE(std::filesystem::exists(dir.file(left))) << delay << ": " << left;
    }
    EXPECT_EQ(runCommand(tool + "> /dev/null 2>&1"), 2);
    EXPECT_EQ(runCommand(tool + "--depth 40 '" + dir.path() + "' > /dev/null 2> '" + dir.file("e") + "'"), 2);
    EXPECT_NE(readFile(dir.file("e")).find("--depth"), std::string::npos);
    EXPECT_EQ(runCommand(tool + "--help > '" + dir.file("h") + "' 2>&1"), 0);
    EXPECT_NE(readFile(dir.file("h")).find("--open"), std::string::npos);
}

// A small rendered scan with sensor noise, through the mask, the scanner,
// the cloud and the mesh, measured against the truth by the limits the mesh
// is held to.
TEST(MeshEndToEnd, NoisyHorseScanGivesAClosedAccurateMesh) {
    TempDir raw, dir;
    ASSERT_EQ(renderScan("--aa 1 --blur 0.7 --noise 2 --black 16 --size 660x768", raw.path()), 0);
    ASSERT_EQ(runCommand(toolCommand("slscan-mask") + "--quiet '" + raw.path() + "' '" + dir.path() +
                         "/m' > /dev/null"),
              0);
    const std::string scan = dir.file("m");
    ASSERT_EQ(runCommand("cd '" + scan + "' && '" SLSCAN_EXE "' > console.txt"), 0);
    ASSERT_EQ(runCommand(toolCommand("slscan-cloud") + "'" + scan + "' > /dev/null"), 0);
    ASSERT_EQ(runCommand(toolCommand("slscan-mesh") + "'" + scan + "' > /dev/null"), 0);
    MeshReport r;
    std::string error;
    ASSERT_TRUE(evalMesh(scan, &r, &error)) << error;
    EXPECT_TRUE(r.watertight) << evalMeshText(r);
    EXPECT_EQ(r.pieces, r.parts);
    EXPECT_LE(r.median, 0.15);
    EXPECT_LE(r.beyond5, 0.005);
    EXPECT_LE(r.nearP95, 1.6);
    EXPECT_GE(r.seenWithin1, 0.88);
}

// The reports measure against the scene the scan was rendered from; without
// scene.txt there is no truth, and neither report may invent one.
TEST(MeshReport, NoSceneNoReport) {
    TempDir dir;
    std::vector<PlyVertex> cloud;
    addSphere({0, 0, 0}, 10, 500, grey, &cloud);
    ASSERT_EQ(meshCloud(dir, cloud).result.status, 0);
    writeText(dir.file("pontos.txt"), "0 0 10\n");
    MeshReport mesh;
    CloudReport points;
    std::string error;
    EXPECT_FALSE(evalMesh(dir.path(), &mesh, &error));
    EXPECT_NE(error.find("scene.txt"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(evalCloud(dir.path(), &points, &error));
    EXPECT_NE(error.find("scene.txt"), std::string::npos) << error;
}
