// A lit, smooth-shaded object of about one million triangles at 1280 x 1024,
// drawn off-screen through GraphicsOGL (list built once, frames timed with
// glFinish), beside a bare program that builds one display list of the same
// triangles with the same state and calls it.  Prints the ratios per frame
// and for the list build.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

// A sphere of (n x 2n) quads split into triangles, with per-vertex colour
// values, normals and adjacency as the loader makes them.
struct Mesh {
    int numVertices = 0, numFaces = 0;
    std::vector<float> vertices, faceNormals, colours;
    std::vector<int> entries, vfStart, vfList;
    std::vector<float> colourMap = {0, 0, 0, 1, 0.5f, 0, 1, 0, 1, 1, 0, 0};
};

Mesh& SharedMesh() {
    static Mesh m = [] {
        Mesh m;
        const int nv = 500, nu = 1000;  // 2 * 500 * 1000 = 1M triangles
        for (int j = 0; j <= nv; ++j)
            for (int i = 0; i < nu; ++i) {
                double th = M_PI * j / nv, ph = 2 * M_PI * i / nu;
                m.vertices.push_back(float(std::sin(th) * std::cos(ph)));
                m.vertices.push_back(float(std::sin(th) * std::sin(ph)));
                m.vertices.push_back(float(std::cos(th)));
                m.colours.push_back(float(j) / nv);
            }
        m.numVertices = int(m.vertices.size() / 3);
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < nu; ++i) {
                int a = j * nu + i, b = j * nu + (i + 1) % nu, c = (j + 1) * nu + (i + 1) % nu, d = (j + 1) * nu + i;
                m.entries.insert(m.entries.end(), {3, a, d, c, 3, a, c, b});
                m.numFaces += 2;
            }
        // Face normals (Newell) and vertex-face adjacency.
        m.faceNormals.resize(size_t(3 * m.numFaces));
        std::vector<std::vector<int>> byVertex(size_t(m.numVertices));
        for (int f = 0, at = 0; f < m.numFaces; ++f, at += 4) {
            const int* v = &m.entries[size_t(at + 1)];
            double n[3] = {0, 0, 0};
            for (int k = 0; k < 3; ++k) {
                const float* p = &m.vertices[size_t(3 * v[k])];
                const float* q = &m.vertices[size_t(3 * v[(k + 1) % 3])];
                n[0] += (p[1] - q[1]) * (p[2] + q[2]);
                n[1] += (p[2] - q[2]) * (p[0] + q[0]);
                n[2] += (p[0] - q[0]) * (p[1] + q[1]);
                byVertex[size_t(v[k])].push_back(f);
            }
            double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (l == 0) l = 1;
            for (int k = 0; k < 3; ++k) m.faceNormals[size_t(3 * f + k)] = float(n[k] / l);
        }
        for (int v = 0; v < m.numVertices; ++v) {
            m.vfStart.push_back(int(m.vfList.size()));
            m.vfList.push_back(int(byVertex[size_t(v)].size()));
            m.vfList.insert(m.vfList.end(), byVertex[size_t(v)].begin(), byVertex[size_t(v)].end());
        }
        return m;
    }();
    return m;
}

OffscreenGL* SharedContext() {
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

FaceSet MakeFaceSet(const Mesh& m) {
    FaceSet f;
    f.numVertices = m.numVertices;
    f.vertices = m.vertices.data();
    f.vertexColours = m.colours.data();
    f.vertexFaceStart = m.vfStart.data();
    f.vertexFaces = m.vfList.data();
    f.numFaces = m.numFaces;
    f.numFaceEntries = int(m.entries.size());
    f.faceEntries = m.entries.data();
    f.faceNormals = m.faceNormals.data();
    f.smooth = true;
    return f;
}

void SetCamera() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.25, 1.25, -1, 1, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(-60, 1, 0, 0);
}

// Colour-map lookup as the renderer does it (same cost class).
void MapColour(const std::vector<float>& map, float v, float rgb[3]) {
    const int n = int(map.size() / 4);
    if (v <= map[0]) { rgb[0] = map[1], rgb[1] = map[2], rgb[2] = map[3]; return; }
    for (int i = 1; i < n; ++i)
        if (v <= map[size_t(4 * i)]) {
            float t = (v - map[size_t(4 * (i - 1))]) / (map[size_t(4 * i)] - map[size_t(4 * (i - 1))]);
            for (int c = 0; c < 3; ++c)
                rgb[c] = map[size_t(4 * (i - 1) + 1 + c)] + t * (map[size_t(4 * i + 1 + c)] - map[size_t(4 * (i - 1) + 1 + c)]);
            return;
        }
    rgb[0] = map[size_t(4 * n - 3)], rgb[1] = map[size_t(4 * n - 2)], rgb[2] = map[size_t(4 * n - 1)];
}

// The bare program: the same triangles, smooth normals, colours and lighting
// state in one list.
void BareBuild(const Mesh& m, GLuint list) {
    glNewList(list, GL_COMPILE);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 0.0f);
    glBegin(GL_TRIANGLES);
    for (int f = 0, at = 0; f < m.numFaces; ++f, at += 4)
        for (int k = 1; k <= 3; ++k) {
            const int v = m.entries[size_t(at + k)];
            float n[3];
            Graphics::smoothNormal(v, f, m.faceNormals.data(), m.vfStart.data(), m.vfList.data(), 0.2588f, n);
            glNormal3fv(n);
            float rgb[3];
            MapColour(m.colourMap, m.colours[size_t(v)], rgb);
            glColor4f(rgb[0], rgb[1], rgb[2], 1.0f);
            glVertex3fv(&m.vertices[size_t(3 * v)]);
        }
    glEnd();
    glDisable(GL_POLYGON_OFFSET_FILL);
    glEndList();
}

void BareLighting() {
    const GLfloat white[4] = {1, 1, 1, 1}, ambient[4] = {0.3f, 0.3f, 0.3f, 1}, pos[4] = {0, 0.7f, 0.7f, 0};
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, pos);
    glPopMatrix();
}

std::map<std::string, double>& Means() {
    static std::map<std::string, double> m;
    return m;
}

void Record(benchmark::State& state, const char* name, double seconds) {
    Means()[name] = seconds;
    state.counters["ms"] = seconds * 1000.0;
}

void BM_BareListBuild(benchmark::State& state) {
    OffscreenGL* gl = SharedContext();
    if (!gl) return state.SkipWithError("no OpenGL context");
    gl->makeCurrent();
    const Mesh& m = SharedMesh();
    GLuint list = glGenLists(1);
    double total = 0;
    int n = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        BareBuild(m, list);
        glFinish();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
    }
    glDeleteLists(list, 1);
    Record(state, "bare_build", total / n);
}

void BM_OglListBuild(benchmark::State& state) {
    OffscreenGL* gl = SharedContext();
    if (!gl) return state.SkipWithError("no OpenGL context");
    gl->makeCurrent();
    const Mesh& m = SharedMesh();
    GraphicsOGL r;
    r.targetFramebuffer = gl->framebufferId();
    r.windowWidth = kW, r.windowHeight = kH;
    r.setColourMap(m.colourMap.data(), 3);
    r.creaseThreshold = 0.2588f;
    const FaceSet f = MakeFaceSet(m);
    double total = 0;
    int n = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        r.beginList(1, LIST_FACES, false, nullptr);
        r.compileFaces(f);
        r.endList();
        glFinish();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
    }
    Record(state, "ogl_build", total / n);
}

void BM_BareFrame(benchmark::State& state) {
    OffscreenGL* gl = SharedContext();
    if (!gl) return state.SkipWithError("no OpenGL context");
    gl->makeCurrent();
    const Mesh& m = SharedMesh();
    GLuint list = glGenLists(1);
    BareBuild(m, list);
    glViewport(0, 0, kW, kH);
    BareLighting();
    glFinish();
    double total = 0;
    int n = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SetCamera();
        glCallList(list);
        glFinish();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
    }
    glDeleteLists(list, 1);
    glDisable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    Record(state, "bare_frame", total / n);
}

void BM_OglFrame(benchmark::State& state) {
    OffscreenGL* gl = SharedContext();
    if (!gl) return state.SkipWithError("no OpenGL context");
    gl->makeCurrent();
    const Mesh& m = SharedMesh();
    GraphicsOGL r;
    r.targetFramebuffer = gl->framebufferId();
    r.windowWidth = kW, r.windowHeight = kH;
    r.setColourMap(m.colourMap.data(), 3);
    r.creaseThreshold = 0.2588f;
    const FaceSet f = MakeFaceSet(m);
    r.beginList(1, LIST_FACES, false, nullptr);
    r.compileFaces(f);
    r.endList();
    r.creaseThreshold = 0;
    r.setLightAngles(90, 45);
    glFinish();
    double total = 0;
    int n = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        r.setViewport(0, 0, 1, 1);
        r.beginFrame(0, true);
        r.setProjection(true);
        r.loadIdentity();
        r.rotate(1, 0, 0, -60);
        r.beginCall(1, LIST_FACES, false, true, false, false, nullptr, CULL_NO);
        r.beginCopy(0);
        r.emitFaces(f);
        r.endCopy();
        r.endCall();
        r.setLighting(false, false);
        r.endFrame();
        r.finishFrame();
        glFinish();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
    }
    Record(state, "ogl_frame", total / n);
}

// The whole viewer rotating the object: TransformView + Redraw per frame, in
// layout 1 and in layout 8 (object in the current viewport only).
void ViewerRotation(benchmark::State& state, int layout, const char* name) {
    OffscreenGL* gl = SharedContext();
    if (!gl) return state.SkipWithError("no OpenGL context");
    gl->makeCurrent();
    const Mesh& m = SharedMesh();
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "prog -n");
    if (!viewer) return state.SkipWithError("no viewer");
    std::unique_ptr<krvViewer> box(viewer->Widget());
    auto* r = new GraphicsOGL(viewer, nullptr);
    r->targetFramebuffer = gl->framebufferId();
    r->fontCount = viewer->fontCount;
    r->fonts = viewer->fonts;
    viewer->renderer = r;
    viewer->drawingSuspended = false;
    viewer->WindowResized(kW, kH);
    viewer->ApplyLayout(layout);
    viewer->NewGraphic("mesh");
    vkoGraphicObj* o = viewer->currentGraphic;
    o->appendMesh(m.numVertices, m.vertices.data(), 0, nullptr, m.numFaces, int(m.entries.size()), m.entries.data());
    GraphicData& d = *o->data;
    d.vertexColours = m.colours;
    d.vertexColour = -1.0f;
    d.colourMap->entries = m.colourMap;
    d.colourMap->numEntries = 3;
    d.faceNormals = m.faceNormals;
    d.vertexFaceStart = m.vfStart;
    d.vertexFaces = m.vfList;
    d.computeBounds();
    o->faces = true;
    o->lighting = true;
    o->specular = false;
    viewer->currentViewport->isAxisVisibleFlag = 0;
    viewer->currentViewport->isRulerVisibleFlag = 0;
    viewer->RefreshAll(true, true);  // builds the lists once
    glFinish();
    // A user rotating the view: one pass per frame, as during a mouse drag.
    viewer->interacting = true;
    double total = 0;
    int n = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        viewer->TransformView(0, 1.0f, 0.5f, 0.0f, 0.0f, true);
        glFinish();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
    }
    Record(state, name, total / n);
    state.counters["fps"] = n / total;
    viewer->renderer = viewer->baseRenderer;
    delete r;
}

void BM_ViewerRotateLayout1(benchmark::State& state) { ViewerRotation(state, 1, "viewer_layout1"); }
void BM_ViewerRotateLayout8(benchmark::State& state) { ViewerRotation(state, 8, "viewer_layout8"); }

BENCHMARK(BM_BareListBuild)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OglListBuild)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareFrame)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OglFrame)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewerRotateLayout1)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewerRotateLayout8)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& m = Means();
    if (m.count("bare_build") && m.count("ogl_build"))
        std::printf("list build ratio GraphicsOGL / bare: %.3f (goal <= 1.5)\n", m["ogl_build"] / m["bare_build"]);
    if (m.count("bare_frame") && m.count("ogl_frame"))
        std::printf("frame ratio GraphicsOGL / bare: %.3f (goal <= 1.1)\n", m["ogl_frame"] / m["bare_frame"]);
    for (const char* layout : {"viewer_layout1", "viewer_layout8"})
        if (m.count("bare_frame") && m.count(layout))
            std::printf("%s: rotation frame / bare frame: %.3f (goal <= 1.1), %.1f frames per second\n", layout,
                        m[layout] / m["bare_frame"], 1.0 / m[layout]);
    return 0;
}
