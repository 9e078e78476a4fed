// The scan driver: the whole batch over the turntable angles of the scan's
// layout (image/scan_layout.h).
//
// In the working directory it reads the photographs of cavalo/ and writes
// "pontos.txt" (all angles, in the object's frame) and "pontos_<angle>.txt"
// (one per angle, as triangulated). For every angle and camera it reads the
// positive and negative exposures of the two vertical and the two horizontal
// patterns, forms their differences, decodes the stripe boundaries and files
// the grid crossings in that camera's table; then both tables become points.
// Each image is released as soon as the stage that consumes it has run, so no
// more than five are alive at once.
//
// That camera sequence of images is the slow path. The views are decoded on
// every core by a silent fast path of one byte a pixel (driver/scan_view.h,
// driver/scan_pool.h), which gives the same tables; a view it cannot read goes
// through the camera sequence, in the run's order, so that every message is
// printed where it always was.
//
// A camera whose photographs cannot all be read or decoded is skipped for that
// angle (its table stays empty, so the angle gives no points) and the run goes
// on. A point file that cannot be created or written is named on stderr and
// the run goes on without it. Either way the run ends with a summary line on
// stderr and status 1 instead of the success line. Photographs of another
// size than the built-in calibration's are warned about once.
#pragma once

#include <cstdint>

// Runs the scan in the working directory; returns the exit status. When
// `pointCount` is not null it receives the number of points found over all
// angles (whether or not the point files could take them), or -1 when there
// is no folder of photographs: the run then prints one line on stderr, writes
// nothing and returns 1.
int scanRun(long* pointCount = nullptr);
