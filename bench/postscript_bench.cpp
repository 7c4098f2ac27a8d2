// Vector EPS of a 100k-triangle lit height field seen obliquely (it hides
// parts of itself) from an 800 x 800 view, written by GraphicsAEAPS, beside
// gl2ps writing the same triangles with BSP sorting in the same run (the
// peer program gl2ps_peer, which draws through OSMesa).  Prints the ratios
// of time and of file size (goal: at most 0.25 for both), and how closely
// Ghostscript's rendering of our file matches our raster renderer's picture
// of the same view.
#include <benchmark/benchmark.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "HeightField.h"
#include "output/GraphicsAEAPS.h"
#include "output/GraphicsAEARaster.h"

namespace {

// The page: an 8.5-inch square paper leaves a 2250 x 2250 pixel drawing,
// the 800 x 800 view at print resolution.
constexpr int kPaper = 8500;
constexpr int kDrawing = 2250;

const heightfield::Mesh& mesh() {
    static const heightfield::Mesh m = heightfield::make();
    return m;
}

std::string outputPath(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

// The same calls as the peer makes on OpenGL, on our engine.
void drawScene(GraphicsAEA& g) {
    using namespace heightfield;
    const Mesh& m = mesh();
    g.eMatrixMode(aegl::PROJECTION);
    g.eLoadIdentity();
    g.eFrustum(kFrustum[0], kFrustum[1], kFrustum[2], kFrustum[3], kFrustum[4], kFrustum[5]);
    g.eMatrixMode(aegl::MODELVIEW);
    g.eLoadIdentity();
    g.eLight(aegl::LIGHT0, aegl::POSITION, kLight);
    g.eTranslate(0, 0, -kDistance);
    g.eRotate(kTilt, 1, 0, 0);
    g.eRotate(kTurn, 0, 0, 1);
    g.eLightModel(aegl::LIGHT_MODEL_AMBIENT, kAmbient);
    const float noSpecular[4] = {0, 0, 0, 1};
    g.eMaterial(aegl::FRONT_AND_BACK, aegl::SPECULAR, noSpecular);
    g.eColourMaterial(aegl::FRONT_AND_BACK, aegl::AMBIENT_AND_DIFFUSE);
    g.eEnable(aegl::LIGHTING);
    g.eEnable(aegl::COLOR_MATERIAL);
    g.eEnable(aegl::NORMALIZE);
    for (size_t t = 0; t < m.triangles.size(); t += 3) {
        g.eBegin(aegl::POLYGON);
        for (int k = 0; k < 3; ++k) {
            const size_t v = size_t(m.triangles[t + k]) * 3;
            g.eNormal(m.normal[v], m.normal[v + 1], m.normal[v + 2]);
            g.eColour(m.colour[v], m.colour[v + 1], m.colour[v + 2]);
            g.eVertex(m.position[v], m.position[v + 1], m.position[v + 2]);
        }
        g.eEnd();
    }
}

bool writeOurs(const std::string& path) {
    GraphicsAEAPS ps(nullptr, kPaper, kPaper, 0.5f, 0.5f, path, false, false, 0.99f, 1, false, 0);
    std::copy_n(heightfield::kBackground, 3, ps.backgroundColour1);
    if (!ps.isUsable(0)) return false;
    drawScene(ps);
    ps.finishFrame();
    return ps.written();
}

long fileSize(const std::string& path) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : long(n);
}

long oursBytes = 0, peerBytes = 0;

void BM_GraphicsAEAPS(benchmark::State& state) {
    const std::string path = outputPath("postscript_bench_ours.eps");
    for (auto _ : state)
        if (!writeOurs(path)) state.SkipWithError("EPS not written");
    oursBytes = fileSize(path);
    state.counters["bytes"] = double(oursBytes);
}

void BM_Gl2psBspSort(benchmark::State& state) {
    const std::string path = outputPath("postscript_bench_gl2ps.eps");
    for (auto _ : state) {
        const std::string command = std::string(GL2PS_PEER) + " " + path + " 1";
        FILE* p = popen(command.c_str(), "r");
        double seconds = -1;
        long bytes = -1;
        if (!p || std::fscanf(p, "%lf %ld", &seconds, &bytes) != 2) {
            if (p) pclose(p);
            state.SkipWithError("gl2ps peer failed");
            break;
        }
        pclose(p);
        state.SetIterationTime(seconds);
        peerBytes = bytes;
    }
    state.counters["bytes"] = double(peerBytes);
}

BENCHMARK(BM_GraphicsAEAPS)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_Gl2psBspSort)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1)->UseManualTime();

class BestReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0 || r.error_occurred) continue;
            const double t = r.real_accumulated_time / double(r.iterations);
            auto it = best_.find(r.run_name.function_name);
            if (it == best_.end() || t < it->second) best_[r.run_name.function_name] = t;
        }
    }
    double best(const std::string& name) const {
        auto it = best_.find(name);
        return it == best_.end() ? std::numeric_limits<double>::quiet_NaN() : it->second;
    }

private:
    std::map<std::string, double> best_;
};

// Ghostscript's picture of our file at the view's own size against our
// raster renderer's picture of the same view (800 x 800): the fraction of
// pixels off by more than 16 levels in some channel.
double matchAgainstRaster(const std::string& eps) {
    const std::string png = outputPath("postscript_bench_ours.png");
    const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -dEPSCrop -r" +
                                std::to_string(heightfield::kWindow * 300.0 / kDrawing) + " -sOutputFile=" + png +
                                " " + eps + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return -1;
    QImage page(QString::fromStdString(png));
    if (page.isNull()) return -1;
    page = page.convertToFormat(QImage::Format_RGB888);
    const int n = heightfield::kWindow;
    GraphicsAEARaster raster(nullptr, n, n, 1.0f, 1, false, 0);
    raster.eClearColour(heightfield::kBackground[0], heightfield::kBackground[1], heightfield::kBackground[2], 0);
    raster.clearBuffers(aegl::COLOR_BUFFER_BIT | aegl::DEPTH_BUFFER_BIT);
    drawScene(raster);
    raster.finishFrame();
    const std::vector<unsigned char> rgb = raster.readPixels();
    if (page.width() != n || page.height() != n || rgb.size() < size_t(n) * n * 3) return -1;
    long bad = 0;
    for (int y = 0; y < n; ++y) {
        const uchar* row = page.constScanLine(n - 1 - y);
        for (int x = 0; x < n; ++x)
            for (int k = 0; k < 3; ++k)
                if (std::abs(int(row[x * 3 + k]) - int(rgb[(size_t(y) * n + x) * 3 + k])) > 16) {
                    ++bad;
                    break;
                }
    }
    return double(bad) / (double(n) * n);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    mesh();  // build the scene outside the timings
    BestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.best("BM_GraphicsAEAPS"), peer = reporter.best("BM_Gl2psBspSort");
    std::printf("EPS of %zu triangles at %dx%d: GraphicsAEAPS %.0f ms, %ld bytes; gl2ps BSP %.0f ms, %ld bytes\n",
                mesh().triangles.size() / 3, heightfield::kWindow, heightfield::kWindow, ours * 1e3, oursBytes,
                peer * 1e3, peerBytes);
    std::printf("ratios: time %.3f (goal <= 0.25), size %.3f (goal <= 0.25)\n", ours / peer,
                double(oursBytes) / double(peerBytes));
    const double differing = matchAgainstRaster(outputPath("postscript_bench_ours.eps"));
    std::printf("Ghostscript rendering against the raster renderer: %.2f %% of pixels differ by more than 16\n",
                differing * 100);
    benchmark::Shutdown();
    return 0;
}
