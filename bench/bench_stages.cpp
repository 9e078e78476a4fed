// Each stage of the scan on one 1024 x 768 view of the sample horse (camera 1,
// angle 0), rendered once at start-up. Run: build/bench/slscan_bench
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "decode/boundary.h"
#include "decode/correspondence.h"
#include "driver/point_cloud.h"
#include "geometry/camera.h"
#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "image/difference.h"
#include "render/render.h"

namespace {

struct Deleter {
    void operator()(Image* i) const { imgDestroy(i); }
};
using ImagePtr = std::unique_ptr<Image, Deleter>;

// The eight photographs of one view and what the stages make of them.
struct View {
    ImagePtr photos[8];
    ImagePtr diffs[4];
    ImagePtr vertical, horizontal;
    CorrespondenceTable table;
    std::string bmpPath;

    View() {
        SceneObject horse;
        sceneMakeObject("horse", &horse);
        RenderOptions options;
        Image* images[8];
        renderView(horse, options, 1, 0, 2, images);
        for (int i = 0; i < 8; ++i) photos[i].reset(images[i]);
        for (int i = 0; i < 4; ++i)
            diffs[i].reset(imgDifference(photos[2 * i].get(), photos[2 * i + 1].get()));
        vertical.reset(bcslDecodeVertical(diffs[0].get(), diffs[1].get()));
        horizontal.reset(bcslDecodeHorizontal(diffs[2].get(), diffs[3].get()));
        clearCorrespondenceTable(&table);
        buildCorrespondenceTable(vertical.get(), horizontal.get(), &table);
        bmpPath = "/tmp/slscan-bench-" + std::to_string(getpid()) + ".bmp";
        imgWriteBMP(bmpPath.c_str(), photos[0].get());
    }
    ~View() { std::remove(bmpPath.c_str()); }
};

View& view() {
    static View v;
    return v;
}

constexpr int64_t kPixels = 1024 * 768;

void BM_ReadBMP(benchmark::State& state) {
    const std::string& path = view().bmpPath;
    for (auto _ : state) {
        Image* image = imgReadBMP(path.c_str());
        benchmark::DoNotOptimize(image->pixels);
        imgDestroy(image);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * (54 + 3 * kPixels));
}

void BM_Difference(benchmark::State& state) {
    View& v = view();
    for (auto _ : state) imgDestroy(imgDifference(v.photos[0].get(), v.photos[1].get()));
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_DecodeVertical(benchmark::State& state) {
    View& v = view();
    for (auto _ : state) imgDestroy(bcslDecodeVertical(v.diffs[0].get(), v.diffs[1].get()));
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_DecodeHorizontal(benchmark::State& state) {
    View& v = view();
    for (auto _ : state) imgDestroy(bcslDecodeHorizontal(v.diffs[2].get(), v.diffs[3].get()));
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_BuildTable(benchmark::State& state) {
    View& v = view();
    CorrespondenceTable table;
    for (auto _ : state) {
        clearCorrespondenceTable(&table);
        buildCorrespondenceTable(v.vertical.get(), v.horizontal.get(), &table);
        benchmark::DoNotOptimize(table.cells[0]);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

// Both tables full: every one of the 2592 cells becomes a point.
void BM_GeneratePointCloud(benchmark::State& state) {
    CorrespondenceTable t1, t2;
    for (int i = 0; i < kCorrespondenceCells; ++i) {
        t1.cells[i] = {500 + i % 40, 370 + i / 100};
        t2.cells[i] = {490 + i % 40, 372 + i / 100};
    }
    std::FILE* sink = std::fopen("/dev/null", "w");
    // The progress line goes to stdout: send it away while timing.
    std::fflush(stdout);
    const int console = dup(1);
    dup2(fileno(sink), 1);
    for (auto _ : state) generatePointCloud(30, &t1, &t2, sink, sink);
    std::fflush(stdout);
    dup2(console, 1);
    close(console);
    std::fclose(sink);
    state.SetItemsProcessed(state.iterations() * kCorrespondenceCells);
}

void BM_Triangulate(benchmark::State& state) {
    Camera c1 = camCamera1(), c2 = camCamera2();
    c1.pixelX = 530;
    c1.pixelY = 400;
    c2.pixelX = 480;
    c2.pixelY = 400;
    for (auto _ : state) benchmark::DoNotOptimize(camTriangulate(c1, c2));
    state.SetItemsProcessed(state.iterations());
}

// One of the 24 views of the default sample scan (horse, 2 x 2 subsamples),
// on two threads; the whole scan renders 24 of them and writes 192 files.
void BM_RenderView(benchmark::State& state) {
    SceneObject horse;
    sceneMakeObject("horse", &horse);
    RenderOptions options;
    for (auto _ : state) {
        Image* images[8];
        renderView(horse, options, 2, 90, 2, images);
        for (Image* i : images) imgDestroy(i);
    }
    state.SetItemsProcessed(state.iterations() * kPixels * 8);
}

}  // namespace

BENCHMARK(BM_RenderView)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadBMP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Difference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeVertical)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeHorizontal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratePointCloud)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Triangulate);

BENCHMARK_MAIN();
