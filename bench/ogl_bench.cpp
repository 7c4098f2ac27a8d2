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

#include "BenchMesh.h"
#include "render/GraphicsOGL.h"
#include "render/OffscreenGL.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using benchmesh::MakeFaceSet;
using benchmesh::MapColour;
using benchmesh::Mesh;
using benchmesh::SharedMesh;

constexpr int kW = 1280, kH = 1024;

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

void SetCamera() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.25, 1.25, -1, 1, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(-60, 1, 0, 0);
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
