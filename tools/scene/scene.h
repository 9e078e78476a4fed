// Synthetic scenes for the tools: exact objects, the projector and the rig.
//
// An object is a union of spheres, capsules, boxes and lathes (solids of
// revolution, scene/lathe.h) in its own frame (the frame of the turntable,
// y up). Rays are intersected analytically and the distance of a point to the
// surface is the union's signed distance, so the renderer and the accuracy
// report share one exact truth.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "geometry/vec3.h"
#include "geometry/camera_model.h"
#include "scene/lathe.h"

enum class PrimitiveKind { kSphere, kCapsule, kBox, kLathe };

struct Primitive {
    PrimitiveKind kind;
    Vec3 a;           // sphere centre, capsule end, box centre, lathe's bound centre
    Vec3 b;           // capsule other end, box half extents
    double radius;    // sphere and capsule; the lathe's bound radius
    std::shared_ptr<const Lathe> lathe;  // the lathe's profile (lathes only)
};

struct SceneObject {
    std::string name;
    std::vector<Primitive> parts;
    Vec3 boundCentre;  // a sphere that holds every part
    double boundRadius;
};

// "horse" (the default sample), "sphere", "board", "spheres" (two separate
// spheres: an object of two parts) or "vase" (a lathe, latheVase); false for
// other names.
bool sceneMakeObject(const std::string& name, SceneObject* object);
const char* const kSceneObjects = "horse, sphere, board, spheres, vase";

struct Hit {
    double t;     // distance along the unit ray
    Vec3 normal;  // outward unit normal
};

// The nearest entry of the ray (origin, unit direction) into the object with
// t in (tMin, tMax); false when there is none.
bool sceneIntersect(const SceneObject& object, Vec3 origin, Vec3 direction, double tMin,
                    double tMax, Hit* hit);

// Signed distance of a point of the object frame to the surface (negative
// inside); exact outside the union.
double sceneDistance(const SceneObject& object, Vec3 p);

// The surface's outward unit normal near p: the gradient of the signed
// distance by central differences; zero where the gradient vanishes.
Vec3 sceneNormal(const SceneObject& object, Vec3 p);

// The turntable: at `degrees` an object point q stands at Rot_y(+degrees) q.
Vec3 turntableToWorld(Vec3 q, double degrees);
Vec3 turntableToObject(Vec3 p, double degrees);

// The projector: centre (0, 50, 200) looking at (0, -10, 0), 1024 x 768
// pixels, focal length 2200; rows grow upwards.
struct ProjectorPixel {
    double column, row;
    bool inFront;
};
Vec3 projectorCentre();
ProjectorPixel projectorProject(Vec3 world);
