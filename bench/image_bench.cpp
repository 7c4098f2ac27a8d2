// PNG output of a 3840 x 2160 frame through writeRasterFile, beside libpng
// driven directly with the same settings (library default compression and
// filters, rows written bottom-up as the off-screen renderers need).  Prints
// the ratio of the two; the writer should stay within 1.1 of libpng.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "BenchImage.h"
#include "output/RasterImage.h"

namespace {

using benchimage::frame;
using benchimage::libpngDirect;
using benchimage::outputPath;

void BM_WriteRasterFilePng(benchmark::State& state) {
    const RasterImage& img = frame();
    const std::string path = outputPath("image_bench_writer.png");
    for (auto _ : state)
        if (!writeRasterFile(RASTER_PNG, img, path, true)) state.SkipWithError("write failed");
    std::remove(path.c_str());
}

void BM_LibpngDirect(benchmark::State& state) {
    const RasterImage& img = frame();
    const std::string path = outputPath("image_bench_libpng.png");
    for (auto _ : state)
        if (!libpngDirect(img, path)) state.SkipWithError("write failed");
    std::remove(path.c_str());
}

BENCHMARK(BM_LibpngDirect)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_WriteRasterFilePng)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    frame();  // build the picture outside the timings
    benchimage::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double writer = reporter.best("BM_WriteRasterFilePng"), direct = reporter.best("BM_LibpngDirect");
    const double writerCpu = reporter.best("BM_WriteRasterFilePng:cpu"), directCpu = reporter.best("BM_LibpngDirect:cpu");
    std::printf("PNG %dx%d: writeRasterFile %.1f ms, libpng direct %.1f ms, ratio %.3f (goal <= 1.1)\n", benchimage::kWidth,
                benchimage::kHeight, writer * 1e3, direct * 1e3, writer / direct);
    std::printf("CPU time: writeRasterFile %.1f ms, libpng direct %.1f ms, ratio %.3f\n", writerCpu * 1e3,
                directCpu * 1e3, writerCpu / directCpu);
    benchmark::Shutdown();
    return 0;
}
