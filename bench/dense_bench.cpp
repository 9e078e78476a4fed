// The dense mode's decoding beside the crossings' decoding, view by view on
// the same photographs, in one run. Run inside a scan folder (one holding
// cavalo/), e.g. one rendered by slscan-render:
//   cd DIR && build/bench/slscan_dense_bench
// Each view is read from the files every time, as the scan reads it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/correspondence.h"
#include "driver/dense_view.h"
#include "driver/scan_view.h"
#include "geometry/dense_points.h"
#include "geometry/dense_view.h"
#include "geometry/rig.h"

namespace {

// Camera 1 at angle 0: the crossings' fast path, eight photographs to the
// table.
void BM_CrossingsView(benchmark::State& state) {
    ScanViewWork work;
    CorrespondenceTable table;
    for (auto _ : state) {
        if (!scanDecodeView(1, 0, &work, &table)) state.SkipWithError("no scan in this folder");
        benchmark::DoNotOptimize(table.cells[0]);
    }
}

// The same view in the dense mode: four photographs to sub-pixel marks,
// linked, smoothed and undistorted.
void BM_DenseView(benchmark::State& state) {
    const Rig rig = rigBuiltIn();
    DenseViewWork work;
    DenseMarks marks;
    DenseView view;
    std::string error;
    for (auto _ : state) {
        if (!denseDecodeView(1, 0, rig.width, rig.height, &work, &marks, &error))
            state.SkipWithError(error.c_str());
        denseViewBuild(marks, rig.cameras[0], &view);
        benchmark::DoNotOptimize(view.u.data());
    }
    state.counters["marks"] = static_cast<double>(marks.marks.size());
}

// Both cameras' marks of angle 0 met and triangulated (state.range(0): fill).
void BM_DenseMeetAngle(benchmark::State& state) {
    const Rig rig = rigBuiltIn();
    DenseViewWork work;
    DenseMarks marks;
    DenseView views[2];
    std::string error;
    for (int c = 0; c < 2; ++c) {
        if (!denseDecodeView(c + 1, 0, rig.width, rig.height, &work, &marks, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        denseViewBuild(marks, rig.cameras[c], &views[c]);
    }
    std::vector<DensePoint> points;
    for (auto _ : state) {
        points.clear();
        densePoints(rig, views, state.range(0) != 0, &points);
        benchmark::DoNotOptimize(points.data());
    }
    state.counters["points"] = static_cast<double>(points.size());
}

}  // namespace

BENCHMARK(BM_CrossingsView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DenseView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DenseMeetAngle)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
