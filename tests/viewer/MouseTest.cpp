// The pointer interpreter: its decisions on a window-less viewer driven
// through a scripted window (clock under test control), and picking end to
// end with real Qt events on the GL window under X.
#include <functional>
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "QtWindowInput.h"
#include "TestSupport.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "render/PickRecord.h"
#include "render/VWindow.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

// ---- the host's notifications, recorded (these replace the library's defaults)
namespace {
struct Notifications {
    std::vector<std::vector<PickRecord>> objects;
    std::vector<std::pair<bool, int>> points;  // (point given, code)
    float lastPoint[3] = {0, 0, 0};
    std::vector<int> movedIds;
    float moved[3] = {0, 0, 0};
    std::function<void()> onPoint;  // runs inside the point report
    void clear() { *this = Notifications(); }
} notes;
}  // namespace

void DmeshPickedObject(int count, const PickRecord* records) {
    notes.objects.emplace_back(records, records + count);
}
void DmeshPickedPoint(const float* point, int code) {
    notes.points.emplace_back(point != nullptr, code);
    if (notes.onPoint) notes.onPoint();
    if (point)
        for (int i = 0; i < 3; ++i) notes.lastPoint[i] = point[i];
}
void DmeshMovedObject(int id, float x, float y, float z) {
    notes.movedIds.push_back(id);
    notes.moved[0] = x, notes.moved[1] = y, notes.moved[2] = z;
}

namespace {

constexpr int L = VWindow::kLeft, R = VWindow::kRight, M = VWindow::kMiddle;
constexpr int Shift = VWindow::kShift, Ctrl = VWindow::kControl;

// A window whose clock the test sets.
class ScriptedWindow : public VWindow {
public:
    int now = 1000;
    std::vector<int> cursors;
    void activationChanged(bool) override {}
    void keyPressed(QKeyEvent*) override {}
    void mousePressed(QMouseEvent*) override {}
    void mouseReleased(QMouseEvent*) override {}
    void mouseDoubleClicked(QMouseEvent*) override {}
    void mouseMoved(QMouseEvent*) override {}
    void wheelTurned(QWheelEvent*) override {}
    void resized(QResizeEvent*) override {}
    void exposed(QPaintEvent*) override {}
    void setCursorIndex(int index) override {
        if (index == kKeepCursor) return;
        cursorIndex = index;
        cursors.push_back(index);
    }
    int timeMs() const override { return now; }
    int elapsedMs(int since) const override { return now - since; }
    void decodeKey(QKeyEvent*) override {}
    void decodeMouse(QMouseEvent*) override {}
    void decodeWheel(QWheelEvent*) override {}
};

// A renderer that draws nothing and finds no depth.
class QuietGraphics : public Graphics {
public:
    QuietGraphics() {
        windowWidth = 400;
        windowHeight = 300;
    }
    int redraws = 0;
    bool beginFrame(int index, bool clear) override {
        ++redraws;
        return Graphics::beginFrame(index, clear);
    }
};

float rotationDifference(Transform& a, Transform& b) {
    float ma[16], mb[16];
    a.rotationMatrix(ma);
    b.rotationMatrix(mb);
    float d = 0;
    for (int i = 0; i < 16; ++i) d = std::max(d, std::fabs(ma[i] - mb[i]));
    return d;
}

class InterpreterTest : public ::testing::Test {
protected:
    void SetUp() override {
        notes.clear();
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        viewer->WindowResized(400, 300);
        viewer->renderer = &r;
        viewer->drawingSuspended = false;
        v = viewer->currentViewport;
        ASSERT_NE(v, nullptr);
        w.windowWidth = 400;
        w.windowHeight = 300;
    }
    void TearDown() override {
        if (viewer) viewer->renderer = viewer->baseRenderer;
    }
    void at(int x, int y, int button, int modifiers = 0) {
        w.pointerX = x, w.pointerY = y, w.button = button, w.modifiers = modifiers;
    }
    void press(int x, int y, int button, int modifiers = 0) {
        at(x, y, button, modifiers);
        viewer->MousePressed(&w);
    }
    void move(int x, int y, int buttons) {
        at(x, y, buttons, w.modifiers);
        viewer->MouseMoved(&w);
    }
    void release(int x, int y, int button) {
        at(x, y, button, w.modifiers);
        viewer->MouseReleased(&w);
    }
    void wheel(float steps, int modifiers) {
        w.wheelSteps = steps;
        w.modifiers = modifiers;
        viewer->WheelTurned(&w);
    }
    int undoDepth() const { return (v->undoEnd - v->undoStart + vkoViewport::kUndoSlots) % vkoViewport::kUndoSlots; }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    vkoViewport* v = nullptr;
    QuietGraphics r;
    ScriptedWindow w;
};

TEST_F(InterpreterTest, ClickIsNoDragAndADragRotatesByItsLength) {
    Transform before(*v->view);
    // A click: no rotation, no movement pushed (no surface under it: no pivot).
    press(200, 150, L);
    move(205, 152, L);
    release(205, 152, L);
    EXPECT_LT(rotationDifference(before, *v->view), 1e-6f);
    EXPECT_EQ(undoDepth(), 0);
    EXPECT_FALSE(viewer->interacting);

    // 30 pixels to the right in one move: 30 * 360 / 300 degrees about y.
    press(200, 150, L);
    move(230, 150, L);
    Transform expected(before);
    expected.ModifyValues(0, 0, 30.0f * 360.0f / 300.0f, 0, 0);
    EXPECT_LT(rotationDifference(expected, *v->view), 1e-5f);
    EXPECT_TRUE(viewer->interacting);
    release(230, 150, L);
    EXPECT_FALSE(viewer->interacting);
    EXPECT_EQ(undoDepth(), 1);

    // Small steps that end beyond the click distance rotate by the whole way.
    Transform start(*v->view);
    press(100, 100, L);
    for (int y = 102; y <= 130; y += 2) move(100, y, L);
    release(100, 130, L);
    Transform whole(start);
    whole.ModifyValues(0, -30.0f * 360.0f / 300.0f, 0, 0, 0);
    EXPECT_LT(rotationDifference(whole, *v->view), 1e-4f);
}

TEST_F(InterpreterTest, AHeldPressBecomesADragAfter300Ms) {
    Transform before(*v->view);
    press(200, 150, L);
    w.now += 299;
    move(202, 150, L);
    EXPECT_LT(rotationDifference(before, *v->view), 1e-6f);
    w.now += 2;
    move(204, 150, L);
    Transform expected(before);
    expected.ModifyValues(0, 0, 4.0f * 360.0f / 300.0f, 0, 0);
    EXPECT_LT(rotationDifference(expected, *v->view), 1e-5f);
    release(204, 150, L);
}

TEST_F(InterpreterTest, PanZoomAndIgnoredInput) {
    press(200, 150, R);
    move(260, 150, R);
    release(260, 150, R);
    Transform panned(*v->view);
    EXPECT_GT(panned.pan[0], 0.0f);

    const float scale = v->view->scale;
    press(200, 150, M);
    move(200, 120, M);  // down by 30: t = 30 / 300 * 2.2
    release(200, 120, M);
    EXPECT_NEAR(v->view->scale, scale * (1.0f + 30.0f / 300.0f * 2.2f), 1e-4f);

    // A second press while a button is held and a release of another button change nothing.
    press(200, 150, L);
    press(10, 10, R);
    EXPECT_EQ(w.heldButton, L);
    release(200, 150, R);
    EXPECT_EQ(w.heldButton, L);
    release(200, 150, L);
    EXPECT_EQ(w.heldButton, -1);
    // Outside every viewport a press is ignored.
    viewer->ApplyLayout(8);
    for (vkoViewport* p : viewer->viewports) p->isVisibleFlag = 0;
    press(5, 5, L);
    EXPECT_EQ(w.heldButton, -1);
}

TEST_F(InterpreterTest, WheelZoomsAndRotatesByTheTable) {
    wheel(1, 0);  // no active viewport before the first press: nothing
    const float start = v->view->scale;
    EXPECT_FLOAT_EQ(v->view->scale, start);
    press(200, 150, L);
    release(200, 150, L);
    wheel(1, 0);
    EXPECT_NEAR(v->view->scale, start / 1.025f, 1e-5f);
    wheel(-2, 0);
    EXPECT_NEAR(v->view->scale, start / 1.025f * 1.05f, 1e-5f);

    Transform before(*v->view);
    wheel(1, Shift);
    Transform expected(before);
    expected.ModifyValues(0, -5, 0, 0, 0);
    EXPECT_LT(rotationDifference(expected, *v->view), 1e-5f);

    // Reversed zoom, and codes that are not wheel codes change nothing.
    EXPECT_TRUE(viewer->SetWheelFunction(0, 2));
    EXPECT_FALSE(viewer->SetWheelFunction(0, 3));
    const float s = v->view->scale;
    wheel(1, 0);
    EXPECT_NEAR(v->view->scale, s * 1.025f, 1e-5f);
    EXPECT_TRUE(viewer->SetWheelFunction(0, 25));
    wheel(1, 0);
    EXPECT_NEAR(v->view->scale, s * 1.025f, 1e-5f);
}

TEST_F(InterpreterTest, CursorFollowsThePointerAndRebindsTheLeftButton) {
    press(200, 150, L);
    release(200, 150, L);
    EXPECT_EQ(w.cursorIndex, 7);
    struct Case {
        int x, y, cursor;
    } cases[] = {{200, 150, 7}, {398, 150, 12}, {5, 150, 12}, {50, 297, 11}, {350, 3, 11}, {200, 297, 7}, {30, 30, 10}, {200, 150, 7}};
    for (const Case& c : cases) {
        move(c.x, c.y, 0);
        EXPECT_EQ(w.cursorIndex, c.cursor) << c.x << "," << c.y;
    }
    // From the right edge a left drag turns about y only.
    move(398, 150, 0);
    Transform before(*v->view);
    press(398, 150, L);
    move(398, 100, L);
    move(368, 100, L);
    release(368, 100, L);
    Transform expected(before);
    expected.ModifyValues(0, 0, -30.0f * 360.0f / 300.0f, 0, 0);
    EXPECT_LT(rotationDifference(expected, *v->view), 1e-5f);
}

TEST_F(InterpreterTest, RebindingByCode) {
    struct Case {
        int code;
        bool accepted;
        int cursor;
    } cases[] = {{0, true, 7}, {2, true, 8}, {4, true, 2}, {8, true, 4}, {10, true, 10}, {13, true, 1},
                 {16, true, 1}, {25, true, 0}, {17, false, 0}, {19, false, 0}, {26, false, 0}, {-1, false, 0}};
    for (const Case& c : cases) {
        vkoViewer::MouseBinding before = *viewer->FindMouseBinding(M, Ctrl);
        EXPECT_EQ(viewer->SetMouseFunction(M, Ctrl, c.code), c.accepted) << c.code;
        const vkoViewer::MouseBinding& after = *viewer->FindMouseBinding(M, Ctrl);
        EXPECT_EQ(after.cursor, c.accepted ? c.cursor : before.cursor) << c.code;
    }
    EXPECT_FALSE(viewer->SetMouseFunction(L, VWindow::kAlt, 0));  // no such entry

    // Middle+Ctrl as a pan: a drag pans.
    ASSERT_TRUE(viewer->SetMouseFunction(M, Ctrl, 3));
    press(200, 150, M, Ctrl);
    move(200, 200, M);
    release(200, 200, M);
    EXPECT_GT(v->view->pan[1], 0.0f);

    // Code 25 leaves a binding that does nothing.
    ASSERT_TRUE(viewer->SetMouseFunction(L, 0, 25));
    Transform before(*v->view);
    press(200, 150, L);
    move(260, 150, L);
    release(260, 150, L);
    EXPECT_LT(rotationDifference(before, *v->view), 1e-6f);
}

struct CallbackCall {
    int id;
    bool point;
    int x, y;
};
std::vector<CallbackCall> callbackCalls;
void recordCallback(int id, const float* point, const int position[2]) {
    callbackCalls.push_back({id, point != nullptr, position[0], position[1]});
}

TEST_F(InterpreterTest, PickCallbackRunsOnAClickOnly) {
    callbackCalls.clear();
    ASSERT_TRUE(viewer->SetPickCallback(R, Shift, recordCallback));
    EXPECT_FALSE(viewer->SetPickCallback(R, VWindow::kAlt, recordCallback));
    press(120, 80, R, Shift);
    release(120, 80, R);
    ASSERT_EQ(callbackCalls.size(), 1u);
    EXPECT_EQ(callbackCalls[0].id, -1);  // nothing under the pointer
    EXPECT_FALSE(callbackCalls[0].point);
    EXPECT_EQ(callbackCalls[0].x, 120);
    EXPECT_EQ(callbackCalls[0].y, 80);
    // The resting pick mode comes back.
    EXPECT_EQ(viewer->interpreterPickMode, 5);
    // A drag is no click: the binding's own release runs instead (zoom out).
    const float scale = v->view->scale;
    press(120, 80, R, Shift);
    move(160, 80, R);
    release(160, 80, R);
    EXPECT_EQ(callbackCalls.size(), 1u);
    EXPECT_LT(v->view->scale, scale);
}

TEST_F(InterpreterTest, ZoomBox) {
    const float scale = v->view->scale;
    // One pixel wide: only a redraw.
    press(100, 100, L, Shift);
    move(100, 160, L);
    release(100, 160, L);
    EXPECT_FLOAT_EQ(v->view->scale, scale);
    EXPECT_FALSE(viewer->interacting);
    // A 59 x 29 box: min(400 / 60, 300 / 30) = 6.67.
    press(100, 100, L, Shift);
    move(159, 129, L);
    release(159, 129, L);
    EXPECT_NEAR(v->view->scale, scale * 400.0f / 60.0f, 1e-3f);
    // A box reaching out of the viewport is clamped to it.
    const float s2 = v->view->scale;
    press(390, 290, L, Shift);
    move(900, 900, L);
    release(900, 900, L);
    EXPECT_NEAR(v->view->scale, s2 * std::min(std::min(400.0f / 10.0f, 50.0f), 300.0f / 10.0f), 1e-2f);
}

TEST_F(InterpreterTest, PolygonSelectionTakesOverTheButtonsAndTheWheel) {
    viewer->SetPickMode(1, false, 75.0f);
    ASSERT_TRUE(viewer->SetMouseFunction(L, 0, 15));
    press(100, 100, L);
    release(100, 100, L);
    ASSERT_TRUE(viewer->polygonSelecting);
    EXPECT_EQ(v->lassoCount, 1);
    press(200, 100, L);
    release(200, 100, L);
    press(200, 200, L);
    release(200, 200, L);
    EXPECT_EQ(v->lassoCount, 3);
    // The wheel does nothing; a right click removes the last point.
    const float scale = v->view->scale;
    wheel(1, 0);
    EXPECT_FLOAT_EQ(v->view->scale, scale);
    press(150, 150, R);
    release(150, 150, R);
    EXPECT_EQ(v->lassoCount, 2);
    // Removing the last points leaves the selection with the tables back.
    viewer->RemovePolygonPoint();
    viewer->RemovePolygonPoint();
    EXPECT_FALSE(viewer->polygonSelecting);
    EXPECT_EQ(viewer->FindMouseBinding(L, 0)->cursor, 1);
    wheel(1, 0);
    EXPECT_LT(v->view->scale, scale);

    // A close reports a colour pick and leaves; the closing double click
    // comes after the click that added the point.
    press(100, 100, L);
    release(100, 100, L);
    press(200, 100, L);
    release(200, 100, L);
    press(150, 200, L);
    release(150, 200, L);
    notes.clear();
    at(150, 200, L);
    viewer->MouseDoubleClicked(&w);
    EXPECT_FALSE(viewer->polygonSelecting);
    EXPECT_EQ(v->lassoCount, 0);
    ASSERT_EQ(notes.points.size(), 1u);
    EXPECT_EQ(notes.points[0], std::make_pair(false, 19));
    EXPECT_EQ(notes.objects.size(), 1u);

    // SetPickMode leaves a selection too.
    press(100, 100, L);
    release(100, 100, L);
    ASSERT_TRUE(viewer->polygonSelecting);
    viewer->SetPickMode(4, false, 75.0f);
    EXPECT_FALSE(viewer->polygonSelecting);
    // Outside colour-pick modes code 15 starts nothing.
    viewer->SetPickMode(5, false, 75.0f);
    press(100, 100, L);
    release(100, 100, L);
    EXPECT_FALSE(viewer->polygonSelecting);
}

// A flat square of two triangles (faces 0, 1), a face tilted by 30 degrees
// on its left (2) and a flap folded back by 90 degrees on its right (3).
void creasedMesh(vkoGraphicObj* o) {
    const float t = float(std::tan(30.0 * M_PI / 180.0));
    const float verts[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0,  // square
                           -2, -1, -t, -2, 1, -t,                    // tilted left strip
                           1, -1, -1, 1, 1, -1};                     // flap behind the right edge
    const int faces[] = {3, 0, 1, 2, 3, 0, 2, 3, 4, 4, 0, 3, 5, 4, 1, 6, 7, 2};
    o->appendMesh(8, verts, 0, nullptr, 4, 18, faces);
    o->data->computeBounds();
    o->data->computeFaceNormals();
    o->data->buildAdjacency();
    o->faces = true;
}

TEST_F(InterpreterTest, FloodFillStopsAtTheCrease) {
    viewer->NewGraphic("creased");
    vkoGraphicObj* o = viewer->currentGraphic;
    creasedMesh(o);
    ASSERT_EQ(o->data->numFaces, 4);
    EXPECT_EQ(vkoViewer::FloodFillFaces(*o->data, 0, 75.0f), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(vkoViewer::FloodFillFaces(*o->data, 0, 20.0f), (std::vector<int>{0, 1}));
    EXPECT_EQ(vkoViewer::FloodFillFaces(*o->data, 0, 95.0f), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(vkoViewer::FloodFillFaces(*o->data, 3, 75.0f), (std::vector<int>{3}));
    EXPECT_TRUE(vkoViewer::FloodFillFaces(*o->data, 4, 75.0f).empty());
    EXPECT_TRUE(vkoViewer::FloodFillFaces(*o->data, -1, 75.0f).empty());
    // Without adjacency it is built on the spot.
    o->data->vertexFaceStart.clear();
    o->data->vertexFaces.clear();
    EXPECT_EQ(vkoViewer::FloodFillFaces(*o->data, 1, 75.0f), (std::vector<int>{0, 1, 2}));
}

// ------------------------------------------------------------ under X with GL

class MousePickTest : public ::testing::Test {
protected:
    void SetUp() override {
        notes.clear();
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        viewer = CreateViewer(nullptr, false, true, "prog");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        ASSERT_NE(viewer->glWindow, nullptr);
        box->resize(400, 300);
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        // Past the activation click guard.
        QTest::qWait(150);
        if (!viewer->glWindow->contextReady()) GTEST_SKIP() << "no OpenGL context";
        win = viewer->glWindow;
        v = viewer->currentViewport;
        v->view->reset();
        v->view->ModifyValues(0, 90, 0, 0, 0);  // look down -z
        v->isAxisVisibleFlag = 0;
        v->isRulerVisibleFlag = 0;
        v->isCentered = 1;
        v->view->scale = v->view->defscale = 0.4f;
        if (viewer->logoGraphic) viewer->logoGraphic->setProperty(0, 0.0f);
        // The first press only makes the viewport active.
        click(QPoint(5, 5), Qt::LeftButton);
    }
    // A 4 x 4 grid of quads over -1..1 (face = row * 4 + column).
    vkoGraphicObj* addGrid(const char* name) {
        viewer->NewGraphic(name);
        vkoGraphicObj* o = viewer->currentGraphic;
        std::vector<float> verts;
        for (int j = 0; j <= 4; ++j)
            for (int i = 0; i <= 4; ++i) verts.insert(verts.end(), {-1.0f + 0.5f * i, -1.0f + 0.5f * j, 0.0f});
        std::vector<int> faces;
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) faces.insert(faces.end(), {4, j * 5 + i, j * 5 + i + 1, (j + 1) * 5 + i + 1, (j + 1) * 5 + i});
        o->appendMesh(25, verts.data(), 0, nullptr, 16, int(faces.size()), faces.data());
        o->data->computeBounds();
        o->data->computeFaceNormals();
        o->data->buildAdjacency();
        o->faces = true;
        o->lines = false;
        draw();
        return o;
    }
    void draw() {
        viewer->RefreshAll(false, false);
        ASSERT_TRUE(viewer->Redraw());
    }
    // Window pixel (origin bottom left) of a world point.
    QPoint pixelOf(float x, float y, float z) {
        viewer->glWindow->makeDrawingCurrent();
        v->setup(viewer->renderer);
        const float p[3] = {x, y, z};
        float out[3];
        EXPECT_TRUE(viewer->renderer->projectFloat(p, out));
        return QPoint(int(std::lround(out[0])), int(std::lround(out[1])));
    }
    float pixelsPerUnit() { return float(pixelOf(1, 0, 0).x() - pixelOf(0, 0, 0).x()); }
    QPointF qt(QPoint gl) const { return qtinput::qtPoint(win, gl); }
    void send(QEvent::Type type, QPoint gl, Qt::MouseButton button, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers mods = Qt::NoModifier) {
        qtinput::mouse(win, type, gl, button, buttons, mods);
    }
    void click(QPoint gl, Qt::MouseButton b, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        qtinput::click(win, gl, b, mods);
    }
    void dragTo(QPoint from, QPoint to, Qt::MouseButton b, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        qtinput::drag(win, from, to, b, mods);
    }
    static std::set<int> faceSet(const std::vector<PickRecord>& records, int id) {
        std::set<int> out;
        for (const PickRecord& r : records) {
            EXPECT_EQ(r.objectId, id);
            out.insert(r.element);
        }
        return out;
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    GLWindow* win = nullptr;
    vkoViewport* v = nullptr;
};

TEST_F(MousePickTest, ClickSetsThePivotOnTheSurfaceWithoutRotating) {
    addGrid("grid");
    Transform before(*v->view);
    const QPoint p = pixelOf(0.3f, -0.2f, 0.0f);
    click(p, Qt::LeftButton);
    EXPECT_LT(rotationDifference(before, *v->view), 1e-6f);
    EXPECT_NEAR(v->view->pivot[2], 0.0f, 1e-3f);
    // The pivot is within the 10-pixel search square of the pointer.
    const float pixel = 1.0f / pixelsPerUnit();
    EXPECT_NEAR(v->view->pivot[0], 0.3f, 11 * pixel);
    EXPECT_NEAR(v->view->pivot[1], -0.2f, 11 * pixel);
    // Over the background nothing changes.
    Transform pivoted(*v->view);
    click(QPoint(3, 3), Qt::LeftButton);
    EXPECT_FLOAT_EQ(v->view->pivot[0], pivoted.pivot[0]);
}

TEST_F(MousePickTest, PointPickReportsTheObjectAndASurfacePoint) {
    vkoGraphicObj* o = addGrid("grid");
    const QPoint p = pixelOf(0.35f, 0.6f, 0.0f);
    send(QEvent::MouseButtonDblClick, p, Qt::RightButton, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_EQ(notes.objects.size(), 1u);
    ASSERT_FALSE(notes.objects[0].empty());
    EXPECT_EQ(notes.objects[0][0].objectId, o->objectid);
    ASSERT_EQ(notes.points.size(), 1u);
    EXPECT_EQ(notes.points[0], std::make_pair(true, 14));
    EXPECT_NEAR(notes.lastPoint[2], 0.0f, 1e-3f);
    const QPoint back = pixelOf(notes.lastPoint[0], notes.lastPoint[1], notes.lastPoint[2]);
    EXPECT_LE(std::abs(back.x() - p.x()), 1);
    EXPECT_LE(std::abs(back.y() - p.y()), 1);

    // Over the background: no object, no point.
    notes.clear();
    send(QEvent::MouseButtonDblClick, QPoint(3, 3), Qt::RightButton, Qt::RightButton,
         Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_EQ(notes.objects.size(), 1u);
    EXPECT_TRUE(notes.objects[0].empty());
    EXPECT_EQ(notes.points[0], std::make_pair(false, 14));
}

TEST_F(MousePickTest, APickModeSetInsideTheReportOutlivesThePick) {
    addGrid("grid");
    viewer->SetPickMode(3, false, 0);
    // The host ends its picking from inside the report, back to no picking.
    notes.onPoint = [this] { viewer->SetPickMode(5, false, 0); };
    send(QEvent::MouseButtonDblClick, pixelOf(0.35f, 0.6f, 0.0f), Qt::RightButton, Qt::RightButton,
         Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_EQ(notes.points.size(), 1u);
    EXPECT_EQ(viewer->interpreterPickMode, 5);
    notes.onPoint = nullptr;
}

TEST_F(MousePickTest, RectanglePickReportsTheFacesItTouchesOrHolds) {
    vkoGraphicObj* o = addGrid("grid");
    o->data->colourMap = std::make_unique<ColourMapRecord>();
    o->data->colourMap->setSingle(1, 0, 0);
    o->data->faceColour = 0.0f;
    draw();
    viewer->SetPickMode(1, false, 75.0f);
    // From the middle of cell (1, 1) to the middle of cell (3, 3).
    const QPoint a = pixelOf(-0.25f, -0.25f, 0), b = pixelOf(0.75f, 0.75f, 0);
    ASSERT_TRUE(viewer->SetMouseFunction(VWindow::kLeft, 0, 16));
    dragTo(a, b, Qt::LeftButton);
    ASSERT_EQ(notes.objects.size(), 1u);
    EXPECT_EQ(faceSet(notes.objects[0], o->objectid), (std::set<int>{5, 6, 7, 9, 10, 11, 13, 14, 15}));
    EXPECT_EQ(notes.points.back(), std::make_pair(false, 19));

    notes.clear();
    ASSERT_TRUE(viewer->SetMouseFunction(VWindow::kLeft, 0, 22));
    dragTo(a, b, Qt::LeftButton);
    ASSERT_EQ(notes.objects.size(), 1u);
    EXPECT_EQ(faceSet(notes.objects[0], o->objectid), (std::set<int>{10}));
    EXPECT_EQ(notes.points.back(), std::make_pair(false, 24));

    // The frame after the pick shows the scene, not identifier colours.
    int w = 0, h = 0;
    auto img = viewer->renderer->grabImage(&w, &h);
    ASSERT_FALSE(img.empty());
    const QPoint c = pixelOf(0.1f, 0.1f, 0);
    const unsigned char* px = &img[(size_t(h - 1 - c.y()) * w + c.x()) * 3];
    EXPECT_GT(px[0], 200) << "the faces are red";
    EXPECT_LT(px[1], 50);
}

// Picks draw passes the user never sees: afterwards the window must show
// exactly what a full frame shows, whether the pick redrew only what it
// touched or nothing at all.
TEST_F(MousePickTest, PicksLeaveThePictureAFullFrameDraws) {
    vkoGraphicObj* o = addGrid("grid");
    o->data->colourMap = std::make_unique<ColourMapRecord>();
    o->data->colourMap->setSingle(0.2f, 0.6f, 0.9f);
    o->data->faceColour = 0.0f;
    o->lines = true;
    draw();
    auto grab = [&] {
        int w = 0, h = 0;
        viewer->glWindow->makeDrawingCurrent();
        return viewer->renderer->grabImage(&w, &h);
    };
    const auto frame = grab();
    ASSERT_FALSE(frame.empty());

    // A point pick on an up-to-date window.
    const QPoint p = pixelOf(0.35f, 0.6f, 0.0f);
    send(QEvent::MouseButtonDblClick, p, Qt::RightButton, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_EQ(notes.points.size(), 1u);
    EXPECT_TRUE(notes.points[0].first) << "the depth pass found the surface";
    EXPECT_TRUE(grab() == frame) << "point pick changed the picture";

    // Rectangle picks, touching and inside-only: the box's pixels are
    // drawn again and the rubber band is gone.
    viewer->SetPickMode(1, false, 75.0f);
    const QPoint a = pixelOf(-0.6f, -0.3f, 0), b = pixelOf(0.4f, 0.8f, 0);
    for (int code : {16, 22}) {
        notes.clear();
        ASSERT_TRUE(viewer->SetMouseFunction(VWindow::kLeft, 0, code));
        dragTo(a, b, Qt::LeftButton);
        ASSERT_EQ(notes.objects.size(), 1u);
        EXPECT_FALSE(notes.objects[0].empty());
        EXPECT_FALSE(viewer->renderer->frameClipOn);
        EXPECT_TRUE(grab() == frame) << "rectangle pick " << code << " left pick colours or the band";
    }

    // A change waiting to be drawn: the frame after the pick shows it.
    o->data->colourMap->setSingle(0.9f, 0.1f, 0.1f);
    viewer->RefreshGraphic(o, false, false);
    o->markAllDirty();
    send(QEvent::MouseButtonDblClick, p, Qt::RightButton, Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier);
    const auto after = grab();
    draw();
    EXPECT_TRUE(after == grab()) << "the pending change was not drawn after the pick";
    EXPECT_FALSE(after == frame);
}

TEST_F(MousePickTest, LassoPicksTheFacesInsideThePolygon) {
    vkoGraphicObj* o = addGrid("grid");
    viewer->SetPickMode(1, false, 75.0f);
    ASSERT_TRUE(viewer->SetMouseFunction(VWindow::kLeft, 0, 15));
    // A triangle inside cell (0, 0) and a point in cell (1, 0).
    const QPoint p1 = pixelOf(-0.9f, -0.9f, 0), p2 = pixelOf(-0.3f, -0.9f, 0), p3 = pixelOf(-0.6f, -0.6f, 0);
    click(p1, Qt::LeftButton);
    ASSERT_TRUE(viewer->polygonSelecting);
    click(p2, Qt::LeftButton);
    click(p3, Qt::LeftButton);
    EXPECT_EQ(v->lassoCount, 3);
    send(QEvent::MouseButtonDblClick, p3, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, p3, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(viewer->polygonSelecting);
    ASSERT_EQ(notes.objects.size(), 1u);
    EXPECT_EQ(faceSet(notes.objects[0], o->objectid), (std::set<int>{0, 1}));
}

TEST_F(MousePickTest, SurfacePickFloodsTheFacesUpToTheCrease) {
    viewer->NewGraphic("creased");
    vkoGraphicObj* o = viewer->currentGraphic;
    creasedMesh(o);
    draw();
    viewer->SetPickMode(2, false, 75.0f);
    ASSERT_TRUE(viewer->SetMouseFunction(VWindow::kLeft, 0, 20));
    click(pixelOf(0.5f, -0.5f, 0), Qt::LeftButton);
    ASSERT_EQ(notes.objects.size(), 1u);
    EXPECT_EQ(faceSet(notes.objects[0], o->objectid), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(notes.points.back(), std::make_pair(false, 19));
}

TEST_F(MousePickTest, ConstrainedDragMovesOnlyAlongItsAxis) {
    vkoGraphicObj* o = addGrid("grid");
    viewer->draggingEnabled = true;
    const float axis[3] = {2, 0, 0};
    viewer->SetDragConstraint(true, axis);
    const QPoint from = pixelOf(0, 0, 0), to = from + QPoint(40, 30);
    dragTo(from, to, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_GT(o->offsetTrans[0], 0.1f);
    EXPECT_FLOAT_EQ(o->offsetTrans[1], 0.0f);
    EXPECT_FLOAT_EQ(o->offsetTrans[2], 0.0f);
    ASSERT_EQ(notes.movedIds, std::vector<int>{o->objectid});
    EXPECT_FLOAT_EQ(notes.moved[0], o->offsetTrans[0]);
    EXPECT_NEAR(o->offsetTrans[0], 40.0f / pixelsPerUnit(), 0.05f);
}

TEST_F(MousePickTest, WheelAndShiftBoxThroughQtEvents) {
    addGrid("grid");
    const float scale = v->view->scale;
    qtinput::wheel(win, pixelOf(0, 0, 0), 120);
    EXPECT_NEAR(v->view->scale, scale / 1.025f, 1e-5f);

    // A Shift box around the grid's upper right quarter zooms in and
    // brings that surface to the middle.
    const float s = v->view->scale;
    dragTo(pixelOf(0.1f, 0.1f, 0), pixelOf(0.9f, 0.9f, 0), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_GT(v->view->scale, 2.0f * s);
    const QPoint middle = pixelOf(0.5f, 0.5f, 0);
    int l, b, w, h;
    v->pixelRectangle(l, b, w, h);
    EXPECT_NEAR(middle.x(), l + w / 2, 8);
    EXPECT_NEAR(middle.y(), b + h / 2, 8);
}

}  // namespace
