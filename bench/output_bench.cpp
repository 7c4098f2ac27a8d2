// Image output through the viewer's output operation.
//
// Screen output: a 3840 x 2160 window picture written as PNG and as JPEG
// through writeOutput (the window stands in as a renderer whose grab gives
// the picture), beside libpng and libjpeg called directly on the same
// pixels.  Goal: ratio <= 1.1 each.
//
// Tiled output: 4 x 4 tiles of a 1M-triangle scene in a real window, the
// whole operation (preparation, 16 tiles, the 4x picture written as PNG)
// divided by 16, beside one frame plus one grab of the same window.
// Goal: ratio <= 1.5.  Needs a display (run under xvfb-run).
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "BenchImage.h"
#include "platform/MessageSink.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using benchimage::frame;
using benchimage::kHeight;
using benchimage::kWidth;

// A "window" whose pixels are the benchmark picture (top row first, as a
// grab gives them).
struct PictureWindow : Graphics {
    PictureWindow() : Graphics(nullptr, nullptr) {}
    std::vector<unsigned char> grabImage(int* width, int* height) override {
        *width = kWidth;
        *height = kHeight;
        return frame().pixels;
    }
};

bool libjpegDirect(const RasterImage& img, const std::string& path, int quality) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(img.width);
    c.image_height = JDIMENSION(img.height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&img.pixels[size_t(c.next_scanline) * img.width * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

void ScreenOutput(benchmark::State& state, int type) {
    vkoViewer* viewer = CreateViewer(nullptr, true, false, "bench -n");
    std::unique_ptr<krvViewer> box(viewer->Widget());
    PictureWindow window;
    Graphics* own = viewer->renderer;
    viewer->renderer = &window;
    viewer->windowWidth = kWidth;
    viewer->windowHeight = kHeight;
    viewer->drawingSuspended = false;
    viewer->output.setOutputType(type);
    viewer->output.setOutputFileName(benchimage::outputPath("output_bench_viewer").c_str());
    for (auto _ : state)
        if (!viewer->writeOutput(true, true, -1, -1)) state.SkipWithError("write failed");
    std::remove(viewer->output.outputFileName.c_str());
    viewer->renderer = own;
}

void BM_ScreenOutputPng(benchmark::State& state) { ScreenOutput(state, OUTPUT_PNG); }
void BM_ScreenOutputJpeg(benchmark::State& state) { ScreenOutput(state, OUTPUT_JPG); }

void BM_LibpngDirect(benchmark::State& state) {
    const std::string path = benchimage::outputPath("output_bench_libpng.png");
    for (auto _ : state)
        if (!benchimage::libpngDirect(frame(), path, false)) state.SkipWithError("write failed");
    std::remove(path.c_str());
}

void BM_LibjpegDirect(benchmark::State& state) {
    const std::string path = benchimage::outputPath("output_bench_libjpeg.jpg");
    for (auto _ : state)
        if (!libjpegDirect(frame(), path, 90)) state.SkipWithError("write failed");
    std::remove(path.c_str());
}

BENCHMARK(BM_LibpngDirect)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(3);
BENCHMARK(BM_ScreenOutputPng)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(3);
BENCHMARK(BM_LibjpegDirect)->Unit(benchmark::kMillisecond)->Iterations(4)->Repetitions(3);
BENCHMARK(BM_ScreenOutputJpeg)->Unit(benchmark::kMillisecond)->Iterations(4)->Repetitions(3);

// ---------------------------------------------------------------- tiled output

constexpr int kTiles = 4;

// A viewer window of 400 x 300 showing a wavy 708 x 708 quad grid cut into
// triangles: about 1M triangles.
struct TiledScene {
    vkoViewer* viewer = nullptr;
    std::unique_ptr<krvViewer> box;
    bool ok = false;

    TiledScene() {
        viewer = CreateViewer(nullptr, false, true, "bench");
        if (!viewer || !viewer->glWindow) return;
        box.reset(viewer->Widget());
        box->resize(400, 300);
        box->show();
        for (int i = 0; i < 100 && !viewer->glWindow->contextReady(); ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!viewer->glWindow->contextReady()) return;
        viewer->SetLogoState(LOGO_NONE);
        const int n = 708;
        std::vector<float> xyz;
        xyz.reserve(size_t(n + 1) * (n + 1) * 3);
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const float x = float(i) / n * 2 - 1, z = float(j) / n * 2 - 1;
                xyz.insert(xyz.end(), {x, 0.1f * std::sin(9.0f * x) * std::cos(7.0f * z), z});
            }
        std::vector<int> faces;
        faces.reserve(size_t(n) * n * 8);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
                faces.insert(faces.end(), {3, a, b, d, 3, a, d, c});
            }
        viewer->NewGraphic("grid");
        vkoGraphicObj* o = viewer->currentGraphic;
        o->appendMesh(int(xyz.size() / 3), xyz.data(), 0, nullptr, 2 * n * n, int(faces.size()), faces.data());
        o->data->computeBounds();
        o->data->computeFaceNormals();
        o->data->buildAdjacency();
        o->faces = true;
        viewer->RefreshAll(false, false);
        viewer->Redraw();  // fits the view and builds the lists
        ok = viewer->windowWidth > 0;
    }
};

TiledScene& Scene() {
    static TiledScene scene;
    return scene;
}

void BM_FramePlusGrab(benchmark::State& state) {
    TiledScene& s = Scene();
    if (!s.ok) return state.SkipWithError("no window");
    int w = 0, h = 0;
    for (auto _ : state) {
        s.viewer->RefreshAll(false, false);
        s.viewer->Redraw();
        benchmark::DoNotOptimize(s.viewer->renderer->grabImage(&w, &h));
    }
}

void BM_TiledOutputPerTile(benchmark::State& state) {
    TiledScene& s = Scene();
    if (!s.ok) return state.SkipWithError("no window");
    setenv("KRV_VIEWER_PRINT_TILE_SIZE", std::to_string(kTiles).c_str(), 1);
    s.viewer->output.setOutputFileName(benchimage::outputPath("output_bench_tiled").c_str());
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!s.viewer->Redraw(true)) state.SkipWithError("tiled output failed");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds / (kTiles * kTiles));
    }
    unsetenv("KRV_VIEWER_PRINT_TILE_SIZE");
    std::remove(s.viewer->output.outputFileName.c_str());
}

BENCHMARK(BM_FramePlusGrab)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
BENCHMARK(BM_TiledOutputPerTile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string& text) {
        std::fprintf(stderr, "Viewer: %s", text.c_str());
    });
    benchmark::Initialize(&argc, argv);
    frame();  // build the picture outside the timings
    benchimage::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Wall time, and for the writers also the CPU time of this process
    // (steadier on a busy machine).  The tiles are timed by hand per tile;
    // their CPU time would be the whole operation's, and would leave out the
    // rasteriser's own threads.
    auto ratio = [&](const char* name, const std::string& ours, const std::string& base, double goal, bool cpu) {
        const double a = reporter.best(ours), b = reporter.best(base);
        if (std::isnan(a) || std::isnan(b)) return;
        std::printf("%s: %.1f ms against %.1f ms, ratio %.3f (goal <= %.1f)", name, a * 1e3, b * 1e3, a / b, goal);
        const double ac = reporter.best(ours + ":cpu"), bc = reporter.best(base + ":cpu");
        if (cpu) std::printf("; CPU %.1f ms against %.1f ms, ratio %.3f", ac * 1e3, bc * 1e3, ac / bc);
        std::printf("\n");
    };
    ratio("PNG 3840x2160 screen output vs libpng", "BM_ScreenOutputPng", "BM_LibpngDirect", 1.1, true);
    ratio("JPEG 3840x2160 screen output vs libjpeg", "BM_ScreenOutputJpeg", "BM_LibjpegDirect", 1.1, true);
    ratio("Tiled 4x4, 1M triangles: per tile vs frame + grab", "BM_TiledOutputPerTile", "BM_FramePlusGrab", 1.5, false);
    Scene().box.reset();
    benchmark::Shutdown();
    return 0;
}
