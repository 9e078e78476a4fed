// A uniform grid of cubes over space, for the near-neighbour questions of the
// mesh tools (vertices closer than a tolerance, triangles whose boxes meet,
// points within a reach of a cloud or a mesh) without a k-d tree: each cell
// of the grid lists the ids put into it, and only the cells that exist are
// stored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "geometry/vec3.h"

using GridCell = std::array<int64_t, 3>;

struct GridCellHash {
    size_t operator()(const GridCell& c) const {
        return static_cast<size_t>(c[0] * 73856093) ^ static_cast<size_t>(c[1] * 19349663) ^
               static_cast<size_t>(c[2] * 83492791);
    }
};

struct SpatialGrid {
    double cell = 1;  // edge of a cube
    std::unordered_map<GridCell, std::vector<uint32_t>, GridCellHash> cells;
};

// An empty grid of cubes of edge `cell` (above 0).
SpatialGrid gridMake(double cell);

// The cell index of coordinate x along any axis: floor(x / cell).
int64_t gridCoordinate(const SpatialGrid& grid, double x);

GridCell gridCellOf(const SpatialGrid& grid, Vec3 p);

// Puts `id` into the cell of p.
void gridInsert(SpatialGrid* grid, Vec3 p, uint32_t id);

// Puts `id` into every cell the box from lo to hi touches.
void gridInsertBox(SpatialGrid* grid, Vec3 lo, Vec3 hi, uint32_t id);

// The ids of a cell, or nullptr when nothing was put there.
const std::vector<uint32_t>* gridAt(const SpatialGrid& grid, const GridCell& cell);
