// Level of detail on a displaced sphere of about one million triangles.
//  - Reduction to about 10 % of its triangles by the viewer's worker job
//    (triangulation, decimation, compaction, normals, adjacency) beside
//    meshoptimizer's meshopt_simplify to the same triangle count: input
//    triangles per second, and the geometric error of both results (mean and
//    largest distance of points sampled on the original to the reduced
//    surface).
//  - Frames of the whole viewer (off-screen GraphicsOGL at 1280 x 1024): a
//    sparse frame while the view moves against a full frame, and the first
//    full frame after the motion ends against a steady full frame.
#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <QApplication>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geometry/Decimator.h"
#include "render/GraphicsOGL.h"
#include "render/OffscreenGL.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

constexpr int kW = 1280, kH = 1024;
constexpr int kRings = 500, kSegments = 1000;  // 998000 triangles

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }
// CPU time of this thread: the decimation ratio on a busy shared machine.
double ThreadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// Triangles of the displaced sphere, with pole vertices of their own.
struct Mesh {
    std::vector<float> xyz;
    std::vector<unsigned int> tris;
    size_t vertices() const { return xyz.size() / 3; }
    size_t triangles() const { return tris.size() / 3; }
};

const Mesh& Sphere() {
    static const Mesh m = [] {
        Mesh m;
        const double pi = 3.141592653589793;
        auto radius = [](double th, double ph) {
            return 1.0 + 0.05 * std::sin(6 * th) * std::sin(8 * ph) + 0.02 * std::sin(23 * th) * std::cos(19 * ph);
        };
        m.xyz = {0, 0, float(radius(0, 0))};
        for (int i = 1; i < kRings; ++i)
            for (int j = 0; j < kSegments; ++j) {
                const double th = pi * i / kRings, ph = 2 * pi * j / kSegments, r = radius(th, ph);
                m.xyz.insert(m.xyz.end(), {float(r * std::sin(th) * std::cos(ph)), float(r * std::sin(th) * std::sin(ph)),
                                           float(r * std::cos(th))});
            }
        m.xyz.insert(m.xyz.end(), {0, 0, float(-radius(pi, 0))});
        const unsigned south = unsigned(m.vertices() - 1);
        auto at = [](int ring, int seg) { return unsigned(1 + (ring - 1) * kSegments + (seg % kSegments)); };
        for (int j = 0; j < kSegments; ++j) {
            m.tris.insert(m.tris.end(), {0u, at(1, j), at(1, j + 1)});
            for (int i = 1; i + 1 < kRings; ++i) {
                const unsigned a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
                m.tris.insert(m.tris.end(), {a, b, c, a, c, d});
            }
            m.tris.insert(m.tris.end(), {south, at(kRings - 1, j + 1), at(kRings - 1, j)});
        }
        return m;
    }();
    return m;
}

// The sphere as loaded object data (faces [3 a b c], bounds, normals, adjacency).
GraphicData& SphereData() {
    static GraphicData* d = [] {
        const Mesh& m = Sphere();
        auto* d = new GraphicData(nullptr, nullptr);
        d->numVertices = int(m.vertices());
        d->vertexCoords = m.xyz;
        for (size_t t = 0; t < m.triangles(); ++t)
            d->faceEntries.insert(d->faceEntries.end(), {3, int(m.tris[3 * t]), int(m.tris[3 * t + 1]), int(m.tris[3 * t + 2])});
        d->numFaces = int(m.triangles());
        d->numFaceEntries = int(d->faceEntries.size());
        d->computeNormalsAndAdjacency(true);
        return d;
    }();
    return *d;
}

std::map<std::string, double>& Results() {
    static std::map<std::string, double> r;
    return r;
}

// ------------------------------------------------------------ surface error

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y, s * a.z}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// Closest point on triangle abc to p (Ericson, Real-Time Collision Detection 5.1.5).
Vec Closest(Vec p, Vec a, Vec b, Vec c) {
    const Vec ab = b - a, ac = c - a, ap = p - a;
    const double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    const Vec bp = p - b;
    const double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + (d1 / (d1 - d3)) * ab;
    const Vec cp = p - c;
    const double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + (d2 / (d2 - d6)) * ac;
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    const double denom = 1.0 / (va + vb + vc);
    return a + (vb * denom) * ab + (vc * denom) * ac;
}

// Distance of points to a triangle soup, through a uniform grid of cells.
class SurfaceDistance {
public:
    SurfaceDistance(const std::vector<float>& xyz, const std::vector<unsigned>& tris, double cell)
        : xyz_(xyz), tris_(tris), cell_(cell) {
        lo_ = {1e30, 1e30, 1e30};
        Vec hi{-1e30, -1e30, -1e30};
        for (size_t i = 0; i < xyz.size() / 3; ++i) {
            const Vec p = at(unsigned(i));
            lo_ = {std::min(lo_.x, p.x), std::min(lo_.y, p.y), std::min(lo_.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        n_ = int((std::max({hi.x - lo_.x, hi.y - lo_.y, hi.z - lo_.z})) / cell) + 2;
        cells_.resize(size_t(n_) * n_ * n_);
        for (size_t t = 0; t < tris.size() / 3; ++t) {
            const Vec a = at(tris[3 * t]), b = at(tris[3 * t + 1]), c = at(tris[3 * t + 2]);
            int l[3], h[3];
            coords({std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::min({a.z, b.z, c.z})}, l);
            coords({std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y}), std::max({a.z, b.z, c.z})}, h);
            for (int x = l[0]; x <= h[0]; ++x)
                for (int y = l[1]; y <= h[1]; ++y)
                    for (int z = l[2]; z <= h[2]; ++z) cells_[index(x, y, z)].push_back(unsigned(t));
        }
    }
    double distance(Vec p) const {
        int c[3];
        coords(p, c);
        double best = 1e30;
        for (int r = 0;; ++r) {
            // The shell of cells at Chebyshev distance r from p's cell.
            for (int x = c[0] - r; x <= c[0] + r; ++x)
                for (int y = c[1] - r; y <= c[1] + r; ++y)
                    for (int z = c[2] - r; z <= c[2] + r; ++z) {
                        if (std::max({std::abs(x - c[0]), std::abs(y - c[1]), std::abs(z - c[2])}) != r) continue;
                        if (x < 0 || y < 0 || z < 0 || x >= n_ || y >= n_ || z >= n_) continue;
                        for (unsigned t : cells_[index(x, y, z)]) {
                            const Vec q = Closest(p, at(tris_[3 * t]), at(tris_[3 * t + 1]), at(tris_[3 * t + 2]));
                            best = std::min(best, std::sqrt(Dot(p - q, p - q)));
                        }
                    }
            // Everything not searched yet is at least r cells away.
            if (best <= r * cell_ || r > n_) return best;
        }
    }

private:
    Vec at(unsigned v) const { return {xyz_[3 * v], xyz_[3 * v + 1], xyz_[3 * v + 2]}; }
    void coords(Vec p, int c[3]) const {
        c[0] = std::clamp(int((p.x - lo_.x) / cell_), 0, n_ - 1);
        c[1] = std::clamp(int((p.y - lo_.y) / cell_), 0, n_ - 1);
        c[2] = std::clamp(int((p.z - lo_.z) / cell_), 0, n_ - 1);
    }
    size_t index(int x, int y, int z) const { return (size_t(x) * n_ + y) * n_ + z; }
    const std::vector<float>& xyz_;
    const std::vector<unsigned>& tris_;
    double cell_;
    Vec lo_{};
    int n_ = 0;
    std::vector<std::vector<unsigned>> cells_;
};

// Mean and largest distance of area-weighted random points on the original
// to the reduced surface.
void SurfaceError(const std::vector<float>& xyz, const std::vector<unsigned>& tris, const char* name) {
    const Mesh& m = Sphere();
    SurfaceDistance reduced(xyz, tris, 0.03);
    std::vector<double> area(m.triangles());
    auto at = [&](unsigned v) { return Vec{m.xyz[3 * v], m.xyz[3 * v + 1], m.xyz[3 * v + 2]}; };
    for (size_t t = 0; t < m.triangles(); ++t) {
        const Vec a = at(m.tris[3 * t]), b = at(m.tris[3 * t + 1]), c = at(m.tris[3 * t + 2]);
        const Vec n = Cross(b - a, c - a);
        area[t] = std::sqrt(Dot(n, n));
    }
    std::mt19937 rng(7);
    std::discrete_distribution<size_t> pick(area.begin(), area.end());
    std::uniform_real_distribution<double> u(0, 1);
    const int samples = 20000;
    double sum = 0, worst = 0;
    for (int s = 0; s < samples; ++s) {
        const size_t t = pick(rng);
        double r1 = u(rng), r2 = u(rng);
        if (r1 + r2 > 1) r1 = 1 - r1, r2 = 1 - r2;
        const Vec a = at(m.tris[3 * t]), b = at(m.tris[3 * t + 1]), c = at(m.tris[3 * t + 2]);
        const double d = reduced.distance(a + r1 * (b - a) + r2 * (c - a));
        sum += d;
        worst = std::max(worst, d);
    }
    Results()[std::string(name) + "_mean"] = sum / samples;
    Results()[std::string(name) + "_max"] = worst;
}

// ------------------------------------------------------------ decimation

size_t g_targetTriangles = 0;  // meshopt's result count, ours aims at it

void BM_MeshoptSimplify(benchmark::State& state) {
    const Mesh& m = Sphere();
    std::vector<unsigned> out(m.tris.size());
    size_t count = 0;
    double total = 0, cpu = 0;
    int n = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const double c0 = ThreadCpu();
        count = meshopt_simplify(out.data(), m.tris.data(), m.tris.size(), m.xyz.data(), m.vertices(), 12,
                                 m.tris.size() / 10, 1.0f, 0, nullptr);
        cpu += ThreadCpu() - c0;
        total += Since(t0);
        ++n;
    }
    out.resize(count);
    g_targetTriangles = count / 3;
    Results()["meshopt_s"] = total / n;
    Results()["meshopt_cpu"] = cpu / n;
    Results()["meshopt_tris"] = double(count / 3);
    state.counters["triangles"] = double(count / 3);
    SurfaceError(m.xyz, out, "meshopt");
}

void BM_Decimator(benchmark::State& state) {
    GraphicData& d = SphereData();
    const int target = int(g_targetTriangles ? g_targetTriangles : Sphere().triangles() / 10);
    MeshRecord reduced;
    double total = 0, cpu = 0;
    int n = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const double c0 = ThreadCpu();
        // No bound: the triangle count decides, as for the peer.
        Decimator::Reduce(d, 1e30f, nullptr, reduced, target);
        cpu += ThreadCpu() - c0;
        total += Since(t0);
        ++n;
    }
    Results()["ours_s"] = total / n;
    Results()["ours_cpu"] = cpu / n;
    Results()["ours_tris"] = reduced.numFaces;
    state.counters["triangles"] = reduced.numFaces;
    std::vector<unsigned> tris;
    for (int f = 0; f < reduced.numFaces; ++f)
        for (int k = 1; k <= 3; ++k) tris.push_back(unsigned(reduced.faceEntries[4 * size_t(f) + k]));
    SurfaceError(reduced.vertexCoords, tris, "ours");
}

// ------------------------------------------------------------ frames

OffscreenGL* Context() {
    static OffscreenGL* gl = [] {
        auto* g = new OffscreenGL;
        if (!g->create(kW, kH)) {
            delete g;
            return static_cast<OffscreenGL*>(nullptr);
        }
        return g;
    }();
    return gl;
}

// A viewer drawing the sphere off-screen, lit, its reduced copy built by
// the object's own worker with the default bound.
struct Scene {
    vkoViewer* viewer = nullptr;
    std::unique_ptr<krvViewer> box;
    GraphicsOGL* renderer = nullptr;
    vkoGraphicObj* object = nullptr;

    bool create() {
        OffscreenGL* gl = Context();
        if (!gl) return false;
        gl->makeCurrent();
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        if (!viewer) return false;
        box.reset(viewer->Widget());
        renderer = new GraphicsOGL(viewer, nullptr);
        renderer->targetFramebuffer = gl->framebufferId();
        renderer->fontCount = viewer->fontCount;
        renderer->fonts = viewer->fonts;
        viewer->renderer = renderer;
        viewer->drawingSuspended = false;
        viewer->WindowResized(kW, kH);
        viewer->NewGraphic("mesh");
        object = viewer->currentGraphic;
        // The data as the loader leaves it, with its worker.
        const GraphicData& src = SphereData();
        object->data = std::make_unique<GraphicData>(viewer, nullptr);
        GraphicData& d = *object->data;
        d.numVertices = src.numVertices;
        d.vertexCoords = src.vertexCoords;
        d.numFaces = src.numFaces;
        d.numFaceEntries = src.numFaceEntries;
        d.faceEntries = src.faceEntries;
        d.faceNormals = src.faceNormals;
        d.vertexFaceStart = src.vertexFaceStart;
        d.vertexFaces = src.vertexFaces;
        std::copy(src.bounds, src.bounds + 6, d.bounds);
        d.colourMap = std::make_unique<ColourMapRecord>();
        d.colourMap->setSingle(0.8f, 0.6f, 0.2f);
        d.vertexColour = d.faceColour = 0.0f;
        object->markAllDirty();
        object->faces = true;
        object->lines = false;
        object->lighting = true;
        object->specular = false;
        if (!d.startReduction(viewer->lodError)) return false;
        d.waitForReduction();
        if (!object->reductionFinished()) return false;
        viewer->currentViewport->isAxisVisibleFlag = 0;
        viewer->currentViewport->isRulerVisibleFlag = 0;
        viewer->RefreshAll(true, true);
        viewer->currentViewport->sparse = 1;
        viewer->RefreshAll(true, true);  // both lists built before timing
        viewer->currentViewport->sparse = 0;
        glFinish();
        viewer->interacting = true;
        return true;
    }
    // One frame of a user rotating the view.
    double frame() {
        const auto t0 = Clock::now();
        viewer->TransformView(0, 1.0f, 0.5f, 0.0f, 0.0f, true);
        glFinish();
        return Since(t0);
    }
    ~Scene() {
        if (viewer) viewer->renderer = viewer->baseRenderer;
        delete renderer;
    }
};

Scene* SharedScene() {
    static Scene* s = [] {
        auto* s = new Scene;
        if (!s->create()) {
            delete s;
            return static_cast<Scene*>(nullptr);
        }
        return s;
    }();
    return s;
}

void BM_FullFrame(benchmark::State& state) {
    Scene* s = SharedScene();
    if (!s) return state.SkipWithError("no OpenGL context or no reduction");
    s->viewer->currentViewport->sparse = 0;
    double total = 0;
    int n = 0;
    for (auto _ : state) total += s->frame(), ++n;
    Results()["full_frame"] = total / n;
}

void BM_SparseFrame(benchmark::State& state) {
    Scene* s = SharedScene();
    if (!s) return state.SkipWithError("no OpenGL context or no reduction");
    s->viewer->currentViewport->sparse = 1;
    double total = 0;
    int n = 0;
    for (auto _ : state) total += s->frame(), ++n;
    s->viewer->currentViewport->sparse = 0;
    Results()["sparse_frame"] = total / n;
    Results()["reduced_tris"] = s->object->data->reduced.numFaces;
}

// A few sparse frames, then the motion ends: the frame timed is the first
// full one.
void BM_FirstFullFrameAfterMotion(benchmark::State& state) {
    Scene* s = SharedScene();
    if (!s) return state.SkipWithError("no OpenGL context or no reduction");
    double total = 0;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        s->viewer->currentViewport->sparse = 1;
        for (int i = 0; i < 3; ++i) s->frame();
        s->viewer->currentViewport->sparse = 0;
        state.ResumeTiming();
        total += s->frame();
        ++n;
    }
    Results()["first_full_frame"] = total / n;
}

BENCHMARK(BM_MeshoptSimplify)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Decimator)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullFrame)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SparseFrame)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstFullFrameAfterMotion)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& r = Results();
    const double input = double(Sphere().triangles());
    if (r.count("meshopt_s") && r.count("ours_s")) {
        std::printf("decimation of %.0f triangles: ours %.0f -> %.0f triangles in %.3f s (%.2f M triangles/s), "
                    "meshopt_simplify -> %.0f in %.3f s (%.2f M triangles/s)\n",
                    input, input, r["ours_tris"], r["ours_s"], input / r["ours_s"] / 1e6, r["meshopt_tris"],
                    r["meshopt_s"], input / r["meshopt_s"] / 1e6);
        std::printf("decimation throughput ratio ours / meshopt_simplify: %.3f in thread CPU time, %.3f in real "
                    "time (goal >= 0.5)\n",
                    r["meshopt_cpu"] / r["ours_cpu"], r["meshopt_s"] / r["ours_s"]);
        std::printf("surface error (mean / max distance to the reduced surface, sphere radius 1): ours %.6f / %.6f, "
                    "meshopt_simplify %.6f / %.6f; ratio ours / meshopt: mean %.3f, max %.3f (goal <= 1)\n",
                    r["ours_mean"], r["ours_max"], r["meshopt_mean"], r["meshopt_max"],
                    r["ours_mean"] / r["meshopt_mean"], r["ours_max"] / r["meshopt_max"]);
    }
    if (r.count("full_frame") && r.count("sparse_frame"))
        std::printf("sparse frame (%.0f reduced triangles) / full frame: %.3f (goal <= 0.2)\n", r["reduced_tris"],
                    r["sparse_frame"] / r["full_frame"]);
    if (r.count("full_frame") && r.count("first_full_frame"))
        std::printf("first full frame after motion / steady full frame: %.3f (goal <= 1.1)\n",
                    r["first_full_frame"] / r["full_frame"]);
    return 0;
}
