// CorrespondenceTable: where one camera sees each crossing of the stripe grid.
//
// A crossing is a pixel marked in both the vertical and the horizontal
// BoundaryImage. It is filed in cell 72 * v + 36 * k + h, where v and h are the
// vertical and horizontal boundary codes and k is the half of the picture
// (0 for rows y <= height / 2, 1 below that). Both cameras file the same grid
// point under the same cell, which is what pairs their pixels.
#pragma once

#include <cstdint>

#include "image/image.h"

struct CorrespondenceCell {
    int32_t x;  // column, or -1 for an empty cell
    int32_t y;  // row, or -1 for an empty cell
};

constexpr int kCorrespondenceCells = 36 * 72;

struct CorrespondenceTable {
    CorrespondenceCell cells[kCorrespondenceCells];
};
static_assert(sizeof(CorrespondenceTable) == 20736, "8 bytes a cell, no header");

// Files the crossings of the two boundary images into `table`, overwriting
// what the cells held; cells no crossing reaches are left as they are. When
// several crossings share a cell the one with the greatest x, then the
// greatest y, holds it. A pixel whose code reads outside 0 to 35 is skipped;
// missing images or images of different sizes give one line on stderr and
// leave the table unchanged.
void buildCorrespondenceTable(const Image* vertical, const Image* horizontal,
                              CorrespondenceTable* table);

// Marks every cell empty (every byte 0xFF).
void clearCorrespondenceTable(CorrespondenceTable* table);
