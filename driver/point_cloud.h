// Point cloud generation: pairs the two cameras' tables and writes the points.
//
// For one turntable angle, every cell that both tables filled is a grid point
// seen by both cameras; it is triangulated and written as "%f %f %f\n" twice:
// as triangulated to the per-angle file, then turned back by the angle about
// the y axis (into the frame of the object on the turntable) to the
// all-points file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "decode/correspondence.h"

// Prints "Gerando lista de pontos (angulo = %d)...". A null file (one that
// could not be created) receives nothing; the other still gets its lines.
// Returns the number of points the angle gave.
int generatePointCloud(int32_t angle, const CorrespondenceTable* camera1,
                        const CorrespondenceTable* camera2, std::FILE* angleFile,
                        std::FILE* allFile);
