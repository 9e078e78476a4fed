// A solid of revolution about a vertical axis: the object kind for smooth,
// rounded shapes (the vase) that spheres, capsules and boxes cannot make.
//
// The shape is a profile in the half-plane of (radius, height): a polyline
// from the axis at the bottom, out and up, and back to the axis at the top,
// its heights never falling (flat only for the bottom and top discs). The
// surface is this polyline turned about the axis: a stack of cone frusta. The
// polyline is the exact truth: the distance of a point to the surface is the
// 2D distance of its (radius, height) to the polyline, and a ray meets each
// frustum where its trace in the half-plane (a hyperbola) crosses the segment,
// a quadratic solved in closed form.
#pragma once

#include <vector>

#include "geometry/vec3.h"

struct Lathe {
    double axisX = 0, axisZ = 0;  // where the vertical axis crosses y = 0
    std::vector<double> r, y;     // the profile's vertices, bottom to top
    double maxRadius = 0;
    std::vector<double> areaBelow;  // the surface's area up to each vertex
};

// The lathe of a profile through (r[i], y[i]) about the vertical line
// x = axisX, z = axisZ, closed to the axis at both ends. False, with the
// lathe untouched, unless there are at least two vertices, every radius is
// positive and the heights strictly rise.
bool latheMake(double axisX, double axisZ, const std::vector<double>& r,
               const std::vector<double>& y, Lathe* lathe);

// A vase 69 high and about 38 wide on the axis x = z = 0, standing on y = -45
// as the horse does, its top low enough for the projector to light it: a
// rounded foot, a swelling body, a narrow neck and a flared, rounded lip, its
// profile sampled every 0.1 units along a smooth curve.
Lathe latheVase();

// Signed distance of p to the surface (negative inside), exact.
double latheDistance(const Lathe& lathe, Vec3 p);

// The smallest t in (tMin, tMax) where the ray (origin, unit direction)
// enters the lathe, with the outward normal there interpolated along the
// profile between its vertices' normals (smooth shading; the hit itself lies
// on the polyline's surface). False when there is none.
bool latheIntersect(const Lathe& lathe, Vec3 origin, Vec3 direction, double tMin, double tMax,
                    double* t, Vec3* normal);

// The centre and radius of a sphere that holds the lathe.
void latheBound(const Lathe& lathe, Vec3* centre, double* radius);

// The area of the surface (the two discs and every frustum).
double latheArea(const Lathe& lathe);

// The point of the surface that three numbers in [0, 1) pick, evenly over
// its area when the numbers are uniform.
Vec3 lathePoint(const Lathe& lathe, double u1, double u2, double u3);
