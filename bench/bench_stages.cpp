// Each stage of the scan on one 1024 x 768 view of the sample horse (camera 1,
// angle 0), rendered once at start-up. Run: build/bench/slscan_bench
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decode/boundary.h"
#include "decode/correspondence.h"
#include "decode/view_crossings.h"
#include "driver/point_cloud.h"
#include "geometry/camera.h"
#include "image/bmp_read.h"
#include "image/bmp_write.h"
#include "image/difference.h"
#include "image/image_ptr.h"
#include "render/render.h"

namespace {

constexpr int64_t kPixels = 1024 * 768;

// The eight photographs of one view and what the stages make of them.
struct View {
    ImagePtr photos[8];
    ImagePtr diffs[4];
    ImagePtr vertical, horizontal;
    CorrespondenceTable table;
    std::string bmpPath;
    // The fast path's inputs: each photograph's stored bytes (blue, green,
    // red; 16 bytes of slack) and the class map of each pattern.
    std::vector<unsigned char> bytes[8];
    std::vector<uint8_t> classes[4];

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
        for (int i = 0; i < 8; ++i) {
            const float* f = photos[i]->pixels;
            bytes[i].assign(3 * kPixels + 16, 0);
            for (int64_t k = 0; k < kPixels; ++k)
                for (int c = 0; c < 3; ++c)
                    bytes[i][3 * k + 2 - c] = static_cast<unsigned char>(std::lround(f[3 * k + c] * 255.0f));
        }
        for (int p = 0; p < 4; ++p) {
            classes[p].resize(kPixels);
            for (int y = 0; y < 768; ++y)
                bcslClassifyPairRow(bytes[2 * p].data() + 3 * 1024 * y,
                                    bytes[2 * p + 1].data() + 3 * 1024 * y, 1024,
                                    classes[p].data() + 1024 * y);
        }
        bmpPath = "/tmp/slscan-bench-" + std::to_string(getpid()) + ".bmp";
        imgWriteBMP(bmpPath.c_str(), photos[0].get());
    }
    ~View() { std::remove(bmpPath.c_str()); }
};

View& view() {
    static View v;
    return v;
}

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

// The fast path: one pair's byte rows into the classes of their difference.
void BM_ClassifyPair(benchmark::State& state) {
    View& v = view();
    std::vector<uint8_t> map(kPixels);
    for (auto _ : state) {
        for (int y = 0; y < 768; ++y)
            bcslClassifyPairRow(v.bytes[0].data() + 3 * 1024 * y, v.bytes[1].data() + 3 * 1024 * y,
                                1024, map.data() + 1024 * y);
        benchmark::DoNotOptimize(map.data());
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

// The fast path: a view's four class maps into its table (both decoders and
// the table at once).
void BM_ViewCrossings(benchmark::State& state) {
    View& v = view();
    CorrespondenceTable table;
    for (auto _ : state) {
        clearCorrespondenceTable(&table);
        bcslFileViewCrossings(v.classes[0].data(), v.classes[1].data(), v.classes[2].data(),
                              v.classes[3].data(), 1024, 768, &table);
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
BENCHMARK(BM_ClassifyPair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewCrossings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratePointCloud)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Triangulate);

BENCHMARK_MAIN();
