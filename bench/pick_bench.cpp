// Picking on an object of about one million triangles in the viewer's GL
// window (run under X): a point pick (Shift+Ctrl right double click: the
// selection pass and the depth pick) and a rectangle colour pick (a left
// drag bound to code 16, with the repair after it), beside one full frame of the
// same scene, taking turns.  Prints the ratios of the medians to the frame.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <QApplication>
#include <QMouseEvent>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

struct Scene {
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    GLWindow* win = nullptr;
    bool ok = false;
};

Scene& TheScene() {
    static Scene s = [] {
        Scene s;
        s.viewer = CreateViewer(nullptr, false, true, "prog");
        if (!s.viewer || !s.viewer->glWindow) return s;
        s.box.reset(s.viewer->Widget());
        s.win = s.viewer->glWindow;
        s.box->resize(800, 600);
        s.box->show();
        // Until the window has its context, and past the activation click guard.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000 && (!s.win->contextReady() || waited.elapsed() < 300))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!s.win->contextReady()) return s;
        // A 708 x 708 vertex grid facing the viewer: 999,698 triangles.
        const int n = 708;
        std::vector<float> verts;
        verts.reserve(size_t(n) * n * 3);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                verts.insert(verts.end(), {-1.0f + 2.0f * i / (n - 1), -1.0f + 2.0f * j / (n - 1), 0.0f});
        std::vector<int> faces;
        faces.reserve(size_t(n - 1) * (n - 1) * 8);
        for (int j = 0; j + 1 < n; ++j)
            for (int i = 0; i + 1 < n; ++i) {
                const int a = j * n + i, b = a + 1, c = a + n + 1, d = a + n;
                faces.insert(faces.end(), {3, a, b, c, 3, a, c, d});
            }
        s.viewer->NewGraphic("grid");
        vkoGraphicObj* o = s.viewer->currentGraphic;
        o->appendMesh(n * n, verts.data(), 0, nullptr, 2 * (n - 1) * (n - 1), int(faces.size()), faces.data());
        o->data->computeBounds();
        o->data->computeFaceNormals();
        o->data->buildAdjacency();
        o->faces = true;
        o->lines = false;
        vkoViewport* v = s.viewer->currentViewport;
        v->view->reset();
        v->view->ModifyValues(0, 90, 0, 0, 0);
        v->isAxisVisibleFlag = 0;
        v->isRulerVisibleFlag = 0;
        v->isCentered = 1;
        v->view->scale = v->view->defscale = 0.45f;
        if (s.viewer->logoGraphic) s.viewer->logoGraphic->setProperty(0, 0.0f);
        s.viewer->RefreshAll(false, false);
        s.viewer->Redraw();
        // Make the viewport active (the first press only activates).
        QPointF corner(3, 3);
        QMouseEvent press(QEvent::MouseButtonPress, corner, s.win->mapToGlobal(corner), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, corner, s.win->mapToGlobal(corner), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(s.win, &press);
        QCoreApplication::sendEvent(s.win, &release);
        s.ok = true;
        return s;
    }();
    return s;
}

void send(GLWindow* win, QEvent::Type type, QPointF p, Qt::MouseButton b, Qt::MouseButtons bs,
          Qt::KeyboardModifiers m) {
    QMouseEvent e(type, p, win->mapToGlobal(p), b, bs, m);
    QCoreApplication::sendEvent(win, &e);
}

void Frame(Scene& s) {
    s.viewer->RefreshAll(false, false);
    s.viewer->Redraw();
}

void PointPick(Scene& s) {
    const QPointF p(s.win->width() * 0.4, s.win->height() * 0.45);
    send(s.win, QEvent::MouseButtonDblClick, p, Qt::RightButton, Qt::RightButton,
         Qt::ShiftModifier | Qt::ControlModifier);
}

void RectanglePick(Scene& s) {
    s.viewer->SetMouseFunction(1, 0, 16);
    const QPointF a(s.win->width() * 0.4, s.win->height() * 0.4), b(s.win->width() * 0.6, s.win->height() * 0.6);
    send(s.win, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    send(s.win, QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    send(s.win, QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    s.viewer->SetMouseFunction(1, 0, 0);
}

template <class F>
double Seconds(Scene& s, F&& body) {
    const auto t0 = std::chrono::steady_clock::now();
    body(s);
    glFinish();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<double> g_frame, g_point, g_rectangle;

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

// A frame, a point pick and a rectangle pick take turns, so that all three
// see the same state of a shared machine; the ratios are taken between
// their medians.
void BM_FrameAndPicks(benchmark::State& state) {
    Scene& s = TheScene();
    if (!s.ok) {
        state.SkipWithError("no display or no OpenGL context");
        return;
    }
    for (auto _ : state) {
        // Changing the pick mode rebuilds the lists (not part of a pick).
        s.viewer->SetPickMode(5, false, 75.0f);
        const double f = Seconds(s, Frame), p = Seconds(s, PointPick);
        s.viewer->SetPickMode(1, false, 75.0f);
        Frame(s);
        const double r = Seconds(s, RectanglePick);
        g_frame.push_back(f);
        g_point.push_back(p);
        g_rectangle.push_back(r);
        state.SetIterationTime(f + p + r);
    }
}

BENCHMARK(BM_FrameAndPicks)->Iterations(25)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const double frame = Median(g_frame);
    if (frame > 0) {
        std::printf("one frame (median of %zu): %.2f ms\n", g_frame.size(), frame * 1e3);
        std::printf("point pick / frame: %.2f (goal <= 1)\n", Median(g_point) / frame);
        std::printf("rectangle pick / frame: %.2f (goal <= 2)\n", Median(g_rectangle) / frame);
    }
    TheScene().box.reset();
    benchmark::Shutdown();
    return 0;
}
