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

// The half of the picture that row `y` lies in: 0 for y <= height / 2 (the
// integer quotient), 1 below that.
inline int correspondenceHalf(int32_t y, int32_t height) { return y > height / 2 ? 1 : 0; }

// The cell of a crossing: vertical code v and horizontal code h (0 to 35),
// half k (correspondenceHalf). Seen as an array the table is [v][k][h].
inline int correspondenceCell(int v, int k, int h) { return 72 * v + 36 * k + h; }

// The crossings of one camera view being filed. The rule is that of a visit
// column by column in which the last crossing visited holds its cell: the
// greatest x, and for that x the greatest y. Filing row by row instead reads
// memory in order; a crossing then takes its cell when this filing has not
// yet written it or when its x is at least the holder's (rows only grow, so
// an equal x means a greater y).
struct CorrespondenceFiling {
    CorrespondenceTable* table;
    bool filled[kCorrespondenceCells];  // cells written by this filing
};

// A filing into `table` that has written nothing yet.
inline void correspondenceFilingStart(CorrespondenceFiling* filing, CorrespondenceTable* table) {
    filing->table = table;
    for (bool& f : filing->filled) f = false;
}

// Files crossing (x, y) in `cell`; crossings must come row by row, each row
// in increasing x.
inline void correspondenceFile(CorrespondenceFiling* filing, int cell, int32_t x, int32_t y) {
    CorrespondenceCell& held = filing->table->cells[cell];
    if (!filing->filled[cell] || x >= held.x) {
        filing->filled[cell] = true;
        held.x = x;
        held.y = y;
    }
}

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
