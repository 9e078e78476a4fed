#include "common/spatial_grid.h"

#include <cmath>

SpatialGrid gridMake(double cell) {
    SpatialGrid grid;
    grid.cell = cell;
    return grid;
}

int64_t gridCoordinate(const SpatialGrid& grid, double x) {
    return static_cast<int64_t>(std::floor(x / grid.cell));
}

GridCell gridCellOf(const SpatialGrid& grid, Vec3 p) {
    return {gridCoordinate(grid, p.x), gridCoordinate(grid, p.y), gridCoordinate(grid, p.z)};
}

void gridInsert(SpatialGrid* grid, Vec3 p, uint32_t id) { grid->cells[gridCellOf(*grid, p)].push_back(id); }

void gridInsertBox(SpatialGrid* grid, Vec3 lo, Vec3 hi, uint32_t id) {
    const GridCell a = gridCellOf(*grid, lo), b = gridCellOf(*grid, hi);
    for (int64_t x = a[0]; x <= b[0]; ++x)
        for (int64_t y = a[1]; y <= b[1]; ++y)
            for (int64_t z = a[2]; z <= b[2]; ++z) grid->cells[{x, y, z}].push_back(id);
}

const std::vector<uint32_t>* gridAt(const SpatialGrid& grid, const GridCell& cell) {
    const auto it = grid.cells.find(cell);
    return it == grid.cells.end() ? nullptr : &it->second;
}
