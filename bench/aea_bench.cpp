// The software raster renderer drawing the lit, smooth-shaded mesh of about
// one million triangles (the scene of the OpenGL benchmark) at 1920 x 1080,
// opaque and without antialiasing, beside OSMesa drawing the same triangles
// from one display list at the same size in the same run (OSMesa is used
// here only, never linked into the library).  Also the frame with
// antialiasing (3840 x 2160) and 30 % of the faces translucent, against the
// same OSMesa frame, and the peak memory of one frame of each, measured in a
// child process.  Prints the ratios.
#include <benchmark/benchmark.h>

#include <GL/osmesa.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BenchMesh.h"
#include "output/GraphicsAEARaster.h"

namespace {

using benchmesh::MakeFaceSet;
using benchmesh::Mesh;
using benchmesh::SharedMesh;

constexpr int kW = 1920, kH = 1080;
constexpr float kCrease = 0.2588f;

// ---- OSMesa, reached through its own entry points ------------------------------------

struct Osmesa {
    OSMesaContext context = nullptr;
    std::vector<unsigned char> buffer;
#define GLFN(ret, name, ...) ret (*name)(__VA_ARGS__) = nullptr;
    GLFN(GLuint, GenLists, GLsizei)
    GLFN(void, NewList, GLuint, GLenum)
    GLFN(void, EndList)
    GLFN(void, CallList, GLuint)
    GLFN(void, DeleteLists, GLuint, GLsizei)
    GLFN(void, Enable, GLenum)
    GLFN(void, Disable, GLenum)
    GLFN(void, PolygonOffset, GLfloat, GLfloat)
    GLFN(void, Begin, GLenum)
    GLFN(void, End)
    GLFN(void, Normal3fv, const GLfloat*)
    GLFN(void, Color4f, GLfloat, GLfloat, GLfloat, GLfloat)
    GLFN(void, Vertex3fv, const GLfloat*)
    GLFN(void, Lightfv, GLenum, GLenum, const GLfloat*)
    GLFN(void, LightModelfv, GLenum, const GLfloat*)
    GLFN(void, LightModeli, GLenum, GLint)
    GLFN(void, ColorMaterial, GLenum, GLenum)
    GLFN(void, DepthFunc, GLenum)
    GLFN(void, MatrixMode, GLenum)
    GLFN(void, PushMatrix)
    GLFN(void, PopMatrix)
    GLFN(void, LoadIdentity)
    GLFN(void, Ortho, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble)
    GLFN(void, Rotatef, GLfloat, GLfloat, GLfloat, GLfloat)
    GLFN(void, Viewport, GLint, GLint, GLsizei, GLsizei)
    GLFN(void, Clear, GLbitfield)
    GLFN(void, Finish)
#undef GLFN

    bool create(int w, int h) {
        context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
        if (!context) return false;
        buffer.assign(size_t(w) * h * 4, 0);
        if (!OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, w, h)) return false;
        bool ok = true;
        auto get = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(OSMesaGetProcAddress(name));
            ok = ok && fn;
        };
        get(GenLists, "glGenLists"), get(NewList, "glNewList"), get(EndList, "glEndList");
        get(CallList, "glCallList"), get(DeleteLists, "glDeleteLists"), get(Enable, "glEnable");
        get(Disable, "glDisable"), get(PolygonOffset, "glPolygonOffset"), get(Begin, "glBegin");
        get(End, "glEnd"), get(Normal3fv, "glNormal3fv"), get(Color4f, "glColor4f");
        get(Vertex3fv, "glVertex3fv"), get(Lightfv, "glLightfv"), get(LightModelfv, "glLightModelfv");
        get(LightModeli, "glLightModeli"), get(ColorMaterial, "glColorMaterial"), get(DepthFunc, "glDepthFunc");
        get(MatrixMode, "glMatrixMode"), get(PushMatrix, "glPushMatrix"), get(PopMatrix, "glPopMatrix");
        get(LoadIdentity, "glLoadIdentity"), get(Ortho, "glOrtho"), get(Rotatef, "glRotatef");
        get(Viewport, "glViewport"), get(Clear, "glClear"), get(Finish, "glFinish");
        return ok;
    }
    ~Osmesa() {
        if (context) OSMesaDestroyContext(context);
    }

    // One list of the triangles with smooth normals and mapped colours, and
    // the lighting state of the renderer.
    GLuint buildList(const Mesh& m) {
        const GLuint list = GenLists(1);
        NewList(list, GL_COMPILE);
        Enable(GL_POLYGON_OFFSET_FILL);
        PolygonOffset(1.0f, 0.0f);
        Begin(GL_TRIANGLES);
        for (int f = 0, at = 0; f < m.numFaces; ++f, at += 4)
            for (int k = 1; k <= 3; ++k) {
                const int v = m.entries[size_t(at + k)];
                float n[3], rgb[3];
                Graphics::smoothNormal(v, f, m.faceNormals.data(), m.vfStart.data(), m.vfList.data(), kCrease, n);
                Normal3fv(n);
                benchmesh::MapColour(m.colourMap, m.colours[size_t(v)], rgb);
                Color4f(rgb[0], rgb[1], rgb[2], 1.0f);
                Vertex3fv(&m.vertices[size_t(3 * v)]);
            }
        End();
        Disable(GL_POLYGON_OFFSET_FILL);
        EndList();
        const GLfloat white[4] = {1, 1, 1, 1}, ambient[4] = {0.3f, 0.3f, 0.3f, 1}, pos[4] = {0, 0.7f, 0.7f, 0};
        Enable(GL_LIGHT0);
        Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
        LightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        LightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        ColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        Enable(GL_COLOR_MATERIAL);
        Enable(GL_LIGHTING);
        Enable(GL_NORMALIZE);
        Enable(GL_DEPTH_TEST);
        DepthFunc(GL_LEQUAL);
        MatrixMode(GL_MODELVIEW);
        PushMatrix();
        LoadIdentity();
        Lightfv(GL_LIGHT0, GL_POSITION, pos);
        PopMatrix();
        Viewport(0, 0, kW, kH);
        Finish();
        return list;
    }

    void frame(GLuint list) {
        Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        MatrixMode(GL_PROJECTION);
        LoadIdentity();
        Ortho(-double(kW) / kH, double(kW) / kH, -1, 1, -1000, 1000);
        MatrixMode(GL_MODELVIEW);
        LoadIdentity();
        Rotatef(-60, 1, 0, 0);
        CallList(list);
        Finish();
    }
};

// ---- the raster renderer -------------------------------------------------------------

// The mesh split for the translucent frame: every face f with f % 10 < 3
// goes to the translucent part; each part has its own face normals and
// vertex-face adjacency, so both stay smooth.
struct Part {
    std::vector<int> entries, vfStart, vfList;
    std::vector<float> normals;
    int faces = 0;
    FaceSet set(const Mesh& m, float transparency) const {
        FaceSet f = MakeFaceSet(m);
        f.numFaces = faces;
        f.faceEntries = entries.data();
        f.numFaceEntries = int(entries.size());
        f.faceNormals = normals.data();
        f.vertexFaceStart = vfStart.data();
        f.vertexFaces = vfList.data();
        f.transparency = transparency;
        return f;
    }
};

const Part* SharedParts() {
    static Part parts[2] = {};
    static bool built = [] {
        const Mesh& m = SharedMesh();
        std::vector<std::vector<int>> byVertex[2];
        for (auto& b : byVertex) b.resize(size_t(m.numVertices));
        for (int f = 0, at = 0; f < m.numFaces; ++f, at += 4) {
            Part& p = parts[f % 10 < 3 ? 1 : 0];
            p.entries.insert(p.entries.end(), &m.entries[size_t(at)], &m.entries[size_t(at)] + 4);
            p.normals.insert(p.normals.end(), &m.faceNormals[size_t(3 * f)], &m.faceNormals[size_t(3 * f)] + 3);
            for (int k = 1; k <= 3; ++k) byVertex[&p - parts][size_t(m.entries[size_t(at + k)])].push_back(p.faces);
            ++p.faces;
        }
        for (int i = 0; i < 2; ++i)
            for (int v = 0; v < m.numVertices; ++v) {
                parts[i].vfStart.push_back(int(parts[i].vfList.size()));
                parts[i].vfList.push_back(int(byVertex[i][size_t(v)].size()));
                parts[i].vfList.insert(parts[i].vfList.end(), byVertex[i][size_t(v)].begin(), byVertex[i][size_t(v)].end());
            }
        return true;
    }();
    (void)built;
    return parts;
}

// One frame: viewport, clear, orthographic view turned by -60 degrees about
// x, the lit faces, the picture read out.  Translucent: 70 % of the faces
// opaque, then 30 % with transparency 0.5.
std::vector<unsigned char> RasterFrame(GraphicsAEARaster& r, bool translucent) {
    const Mesh& m = SharedMesh();
    r.setViewport(0, 0, 1, 1);
    r.beginFrame(0, true);
    r.setProjection(true);
    r.loadIdentity();
    r.rotate(1, 0, 0, -60);
    if (!translucent) {
        const FaceSet f = MakeFaceSet(m);
        r.beginCall(1, LIST_FACES, false, true, false, false, nullptr, CULL_NO);
        r.emitFaces(f);
        r.endCall();
    } else {
        const Part* p = SharedParts();
        const FaceSet a = p[0].set(m, 0.0f), b = p[1].set(m, 0.5f);
        r.beginCall(1, LIST_FACES, false, true, false, false, nullptr, CULL_NO);
        r.emitFaces(a);
        r.endCall();
        r.flushPass(0);
        r.beginCall(1, LIST_FACES, true, true, false, false, nullptr, CULL_NO);
        r.emitFaces(b);
        r.endCall();
    }
    r.setLighting(false, false);
    r.endFrame();
    r.finishFrame();
    return r.readPixels();
}

std::unique_ptr<GraphicsAEARaster> MakeRaster(int w, int h) {
    const Mesh& m = SharedMesh();
    auto r = std::make_unique<GraphicsAEARaster>(nullptr, w, h, 1.0f, 1, false, 0);
    r->setColourMap(m.colourMap.data(), 3);
    r->creaseThreshold = kCrease;
    r->setLightAngles(90, 45);
    return r;
}

std::map<std::string, double>& Means() {
    static std::map<std::string, double> m;
    return m;
}

template <typename F>
void Timed(benchmark::State& state, const char* name, F&& frame) {
    double total = 0;
    int n = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        frame();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
    }
    Means()[name] = total / n;
    state.counters["ms"] = total / n * 1000.0;
}

void BM_OsmesaFrame(benchmark::State& state) {
    Osmesa gl;
    if (!gl.create(kW, kH)) return state.SkipWithError("no OSMesa context");
    const GLuint list = gl.buildList(SharedMesh());
    Timed(state, "osmesa", [&] { gl.frame(list); });
    gl.DeleteLists(list, 1);
}

void BM_RasterFrame(benchmark::State& state) {
    auto r = MakeRaster(kW, kH);
    if (!r->usable) return state.SkipWithError("no store");
    Timed(state, "raster", [&] { benchmark::DoNotOptimize(RasterFrame(*r, false)); });
}

void BM_RasterFrameAntialiasedTranslucent(benchmark::State& state) {
    auto r = MakeRaster(2 * kW, 2 * kH);
    if (!r->usable) return state.SkipWithError("no store");
    Timed(state, "raster_aa_translucent", [&] { benchmark::DoNotOptimize(RasterFrame(*r, true)); });
}

BENCHMARK(BM_OsmesaFrame)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RasterFrame)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RasterFrameAntialiasedTranslucent)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- peak memory -----------------------------------------------------------------------

long StatusKilobytes(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string k;
    long v = 0;
    std::string unit;
    while (in >> k) {
        if (k == key) {
            in >> v;
            return v;
        }
        std::getline(in, unit);
    }
    return -1;
}

// Peak resident memory that one frame adds, in MB, measured in a child
// process (the mesh is built before the fork and not counted).
double PeakMegabytes(const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const long start = StatusKilobytes("VmRSS:");
        work();
        const long peak = StatusKilobytes("VmHWM:");
        const double mb = (peak - start) / 1024.0;
        if (write(fds[1], &mb, sizeof mb) != sizeof mb) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    double mb = -1;
    if (read(fds[0], &mb, sizeof mb) != sizeof mb) mb = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return mb;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    SharedMesh();
    SharedParts();
    // Memory first, in children forked before any renderer threads exist.
    const double osmesaMb = PeakMegabytes([] {
        Osmesa gl;
        if (gl.create(kW, kH)) gl.frame(gl.buildList(SharedMesh()));
    });
    const double rasterMb = PeakMegabytes([] {
        auto r = MakeRaster(kW, kH);
        RasterFrame(*r, false);
    });
    const double rasterAaMb = PeakMegabytes([] {
        auto r = MakeRaster(2 * kW, 2 * kH);
        RasterFrame(*r, true);
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& m = Means();
    if (m.count("osmesa") && m.count("raster"))
        std::printf("frame ratio GraphicsAEARaster / OSMesa at %d x %d: %.3f (goal <= 1.0)\n", kW, kH,
                    m["raster"] / m["osmesa"]);
    if (m.count("osmesa") && m.count("raster_aa_translucent"))
        std::printf("antialiased, 30 %% translucent frame / OSMesa frame: %.3f\n",
                    m["raster_aa_translucent"] / m["osmesa"]);
    std::printf("peak memory of one frame: OSMesa %.0f MB (list and buffers), raster %.0f MB, raster antialiased "
                "and translucent %.0f MB\n",
                osmesaMb, rasterMb, rasterAaMb);
    return 0;
}
