#include "scene/scene.h"

#include <algorithm>
#include <cmath>

namespace {

Primitive sphere(Vec3 c, double r) { return {PrimitiveKind::kSphere, c, {0, 0, 0}, r, nullptr}; }
Primitive capsule(Vec3 a, Vec3 b, double r) { return {PrimitiveKind::kCapsule, a, b, r, nullptr}; }
Primitive box(Vec3 c, Vec3 half) { return {PrimitiveKind::kBox, c, half, 0, nullptr}; }
Primitive lathe(const Lathe& profile) {
    Primitive p{PrimitiveKind::kLathe, {0, 0, 0}, {0, 0, 0}, 0,
                std::make_shared<const Lathe>(profile)};
    latheBound(profile, &p.a, &p.radius);
    return p;
}

// A horse about 56 long and 72 high standing on its hooves near y = -45, every
// part within 30 of the turntable axis.
std::vector<Primitive> horse() {
    std::vector<Primitive> p;
    p.push_back(capsule({-13, 2, 0}, {12, 3, 0}, 9.5));        // body
    p.push_back(sphere({11, 4, 0}, 10));                        // chest
    p.push_back(sphere({-12, 3, 0}, 9.5));                      // hindquarters
    p.push_back(capsule({14, 8, 0}, {20, 21, 0}, 5));           // neck
    p.push_back(capsule({20, 22, 0}, {27, 15, 0}, 3.8));        // head
    p.push_back(sphere({27.5, 14.5, 0}, 3.2));                  // muzzle
    p.push_back(capsule({19, 25, -1.8}, {18.5, 29, -2}, 1.1));  // ears
    p.push_back(capsule({19, 25, 1.8}, {18.5, 29, 2}, 1.1));
    for (double x : {-12.0, 11.0}) {
        for (double z : {-4.5, 4.5}) {
            p.push_back(capsule({x, -4, z}, {x + 0.5, -41, z}, 2.9));  // leg
            p.push_back(sphere({x + 0.5, -42, z}, 3.2));               // hoof
        }
    }
    p.push_back(capsule({-20, 6, 0}, {-26, -16, 0}, 2.2));  // tail
    p.push_back(capsule({14, 19, 0}, {-4, 12, 0}, 1.4));    // mane
    return p;
}

Vec3 closestOnSegment(Vec3 p, Vec3 a, Vec3 b) {
    const Vec3 ab = b - a;
    const double t = std::clamp(dot(p - a, ab) / dot(ab, ab), 0.0, 1.0);
    return a + t * ab;
}

double distanceTo(const Primitive& prim, Vec3 p) {
    switch (prim.kind) {
        case PrimitiveKind::kSphere:
            return length(p - prim.a) - prim.radius;
        case PrimitiveKind::kCapsule:
            return length(p - closestOnSegment(p, prim.a, prim.b)) - prim.radius;
        case PrimitiveKind::kBox: {
            const Vec3 d = p - prim.a;
            const Vec3 q{std::fabs(d.x) - prim.b.x, std::fabs(d.y) - prim.b.y,
                         std::fabs(d.z) - prim.b.z};
            const Vec3 outside{std::max(q.x, 0.0), std::max(q.y, 0.0), std::max(q.z, 0.0)};
            return length(outside) + std::min(std::max(q.x, std::max(q.y, q.z)), 0.0);
        }
        case PrimitiveKind::kLathe:
            return latheDistance(*prim.lathe, p);
    }
    return 0;
}

// Entry of a ray into a sphere, or -1.
double hitSphere(Vec3 o, Vec3 d, Vec3 c, double r) {
    const Vec3 oc = o - c;
    const double b = dot(oc, d);
    const double h = b * b - (dot(oc, oc) - r * r);
    if (h < 0) return -1;
    return -b - std::sqrt(h);
}

// Entry into the open cylinder of a capsule, or -1.
double hitCylinder(Vec3 o, Vec3 d, Vec3 a, Vec3 b, double r) {
    const Vec3 ba = b - a, oa = o - a;
    const double baba = dot(ba, ba), bard = dot(ba, d), baoa = dot(ba, oa);
    const double k2 = baba - bard * bard;
    if (k2 < 1e-12) return -1;  // parallel to the axis: only the caps count
    const double k1 = baba * dot(oa, d) - baoa * bard;
    const double k0 = baba * dot(oa, oa) - baoa * baoa - r * r * baba;
    const double h = k1 * k1 - k2 * k0;
    if (h < 0) return -1;
    const double t = (-k1 - std::sqrt(h)) / k2;
    const double y = baoa + t * bard;
    return y > 0 && y < baba ? t : -1;
}

// Entry into a box (slabs), with the normal of the entry face.
double hitBox(Vec3 o, Vec3 d, const Primitive& p, Vec3* normal) {
    const double oc[3] = {o.x - p.a.x, o.y - p.a.y, o.z - p.a.z};
    const double dir[3] = {d.x, d.y, d.z};
    const double half[3] = {p.b.x, p.b.y, p.b.z};
    double tNear = -1e300, tFar = 1e300;
    int axis = 0;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(dir[i]) < 1e-15) {
            if (std::fabs(oc[i]) > half[i]) return -1;
            continue;
        }
        double t1 = (-half[i] - oc[i]) / dir[i], t2 = (half[i] - oc[i]) / dir[i];
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > tNear) {
            tNear = t1;
            axis = i;
        }
        tFar = std::min(tFar, t2);
        if (tNear > tFar) return -1;
    }
    double n[3] = {0, 0, 0};
    n[axis] = dir[axis] > 0 ? -1 : 1;
    *normal = {n[0], n[1], n[2]};
    return tNear;
}

}  // namespace

bool sceneMakeObject(const std::string& name, SceneObject* object) {
    object->name = name;
    if (name == "horse") {
        object->parts = horse();
    } else if (name == "sphere") {
        object->parts = {sphere({0, -10, 0}, 25)};
    } else if (name == "board") {
        object->parts = {box({0, -10, 0}, {30, 30, 1})};
    } else if (name == "spheres") {  // two separate parts, 8 apart
        object->parts = {sphere({-16, -10, 0}, 12), sphere({16, -10, 0}, 12)};
    } else if (name == "vase") {
        object->parts = {lathe(latheVase())};
    } else {
        return false;
    }
    // Bound: the centroid of the parts' centres and the farthest extent.
    Vec3 c{0, 0, 0};
    for (const Primitive& p : object->parts) c = c + (1.0 / object->parts.size()) * p.a;
    double r = 0;
    for (const Primitive& p : object->parts) {
        double extent = 0;
        switch (p.kind) {
            case PrimitiveKind::kSphere:
            case PrimitiveKind::kLathe: extent = length(p.a - c) + p.radius; break;
            case PrimitiveKind::kCapsule:
                extent = std::max(length(p.a - c), length(p.b - c)) + p.radius;
                break;
            case PrimitiveKind::kBox: extent = length(p.a - c) + length(p.b); break;
        }
        r = std::max(r, extent);
    }
    object->boundCentre = c;
    object->boundRadius = r + 1e-6;
    return true;
}

bool sceneIntersect(const SceneObject& object, Vec3 o, Vec3 d, double tMin, double tMax,
                    Hit* hit) {
    // Most rays of a photograph miss the object: test the bound first.
    {
        const Vec3 oc = o - object.boundCentre;
        const double b = dot(oc, d);
        const double c = dot(oc, oc) - object.boundRadius * object.boundRadius;
        if (c > 0 && (b > 0 || b * b - c < 0)) return false;
    }
    double best = tMax;
    const Primitive* bestPart = nullptr;
    Vec3 partNormal{0, 0, 0};  // the entry normal of a box or a lathe
    for (const Primitive& p : object.parts) {
        double t = -1;
        Vec3 n{0, 0, 0};
        switch (p.kind) {
            case PrimitiveKind::kSphere: t = hitSphere(o, d, p.a, p.radius); break;
            case PrimitiveKind::kCapsule: {
                t = hitCylinder(o, d, p.a, p.b, p.radius);
                for (Vec3 end : {p.a, p.b}) {
                    const double te = hitSphere(o, d, end, p.radius);
                    if (te > tMin && (t <= tMin || te < t)) t = te;
                }
                break;
            }
            case PrimitiveKind::kBox: t = hitBox(o, d, p, &n); break;
            case PrimitiveKind::kLathe:
                if (!latheIntersect(*p.lathe, o, d, tMin, best, &t, &n)) t = -1;
                break;
        }
        if (t > tMin && t < best) {
            best = t;
            bestPart = &p;
            partNormal = n;
        }
    }
    if (bestPart == nullptr) return false;
    const Vec3 x = o + best * d;
    hit->t = best;
    switch (bestPart->kind) {
        case PrimitiveKind::kSphere: hit->normal = normalized(x - bestPart->a); break;
        case PrimitiveKind::kCapsule:
            hit->normal = normalized(x - closestOnSegment(x, bestPart->a, bestPart->b));
            break;
        case PrimitiveKind::kBox:
        case PrimitiveKind::kLathe: hit->normal = partNormal; break;
    }
    return true;
}

double sceneDistance(const SceneObject& object, Vec3 p) {
    double d = 1e300;
    for (const Primitive& prim : object.parts) d = std::min(d, distanceTo(prim, p));
    return d;
}

Vec3 turntableToWorld(Vec3 q, double degrees) {
    const double a = degrees * kPi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    return {q.x * c + q.z * s, q.y, -q.x * s + q.z * c};
}

Vec3 turntableToObject(Vec3 p, double degrees) { return turntableToWorld(p, -degrees); }

namespace {

struct ProjectorFrame {
    Vec3 centre, right, up, forward;
};

ProjectorFrame projectorFrame() {
    const Vec3 c{0, 50, 200};
    const Vec3 f = normalized(Vec3{0, -10, 0} - c);
    const Vec3 r = normalized(cross(f, {0, 1, 0}));
    return {c, r, cross(r, f), f};
}

}  // namespace

Vec3 projectorCentre() { return {0, 50, 200}; }

ProjectorPixel projectorProject(Vec3 world) {
    static const ProjectorFrame frame = projectorFrame();
    const Vec3 v = world - frame.centre;
    const double z = dot(v, frame.forward);
    return {2200.0 * dot(v, frame.right) / z + 512.0, 2200.0 * dot(v, frame.up) / z + 384.0,
            z > 0};
}

Vec3 sceneNormal(const SceneObject& object, Vec3 p) {
    const double h = 1e-4;
    const Vec3 g{sceneDistance(object, p + Vec3{h, 0, 0}) - sceneDistance(object, p - Vec3{h, 0, 0}),
                 sceneDistance(object, p + Vec3{0, h, 0}) - sceneDistance(object, p - Vec3{0, h, 0}),
                 sceneDistance(object, p + Vec3{0, 0, h}) - sceneDistance(object, p - Vec3{0, 0, h})};
    return length(g) > 0 ? normalized(g) : Vec3{0, 0, 0};
}
