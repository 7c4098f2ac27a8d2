// Picking on an object of about one million triangles in the viewer's GL
// window (run under X): a point pick (Shift+Ctrl right double click: the
// selection pass, the depth pick and the frame after it) and a rectangle
// colour pick (a left drag bound to code 16), beside one full frame of the
// same scene.  Prints the ratios to the frame.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <QApplication>
#include <QMouseEvent>
#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
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

std::map<std::string, double> g_seconds;

template <class F>
void Timed(benchmark::State& state, const char* name, F&& body) {
    Scene& s = TheScene();
    if (!s.ok) {
        state.SkipWithError("no display or no OpenGL context");
        return;
    }
    double total = 0;
    long long count = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        body(s);
        glFinish();
        const auto t1 = std::chrono::steady_clock::now();
        const double sec = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(sec);
        total += sec;
        ++count;
    }
    if (count) g_seconds[name] = total / double(count);
}

void BM_Frame(benchmark::State& state) {
    Timed(state, "frame", [](Scene& s) {
        s.viewer->RefreshAll(false, false);
        s.viewer->Redraw();
    });
}

void BM_PointPick(benchmark::State& state) {
    Timed(state, "point", [](Scene& s) {
        s.viewer->SetPickMode(5, false, 75.0f);
        const QPointF p(s.win->width() * 0.4, s.win->height() * 0.45);
        send(s.win, QEvent::MouseButtonDblClick, p, Qt::RightButton, Qt::RightButton,
             Qt::ShiftModifier | Qt::ControlModifier);
    });
}

void BM_RectanglePick(benchmark::State& state) {
    Timed(state, "rectangle", [](Scene& s) {
        s.viewer->SetPickMode(1, false, 75.0f);
        s.viewer->SetMouseFunction(1, 0, 16);
        const QPointF a(s.win->width() * 0.4, s.win->height() * 0.4), b(s.win->width() * 0.6, s.win->height() * 0.6);
        send(s.win, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        send(s.win, QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        send(s.win, QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        s.viewer->SetMouseFunction(1, 0, 0);
    });
}

BENCHMARK(BM_Frame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PointPick)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RectanglePick)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const double frame = g_seconds.count("frame") ? g_seconds["frame"] : 0.0;
    if (frame > 0) {
        std::printf("one frame: %.2f ms\n", frame * 1e3);
        if (g_seconds.count("point"))
            std::printf("point pick / frame: %.2f (goal <= 1)\n", g_seconds["point"] / frame);
        if (g_seconds.count("rectangle"))
            std::printf("rectangle pick / frame: %.2f (goal <= 2)\n", g_seconds["rectangle"] / frame);
    }
    TheScene().box.reset();
    benchmark::Shutdown();
    return 0;
}
