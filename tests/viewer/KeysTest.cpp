// The key commands with real Qt key events on the GL window: the help
// text, the counters and cycles, the view keys, the undo ring, the light,
// what a polygon selection lets through, and Esc.  Also the mapping of Qt
// keys to the viewer's key codes.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "InputWindowFixture.h"
#include "render/Graphics.h"

namespace {

using inputtest::exitStatus;

class KeysTest : public inputtest::InputWindowTest {};

TEST(KeyCodes, QtKeysBecomeTheViewersCodes) {
    const int shift = VWindow::kShift, ctrl = VWindow::kControl, alt = VWindow::kAlt;
    struct Case {
        int qtKey;
        const char* text;
        int modifiers;
        int code;
    } cases[] = {
        {Qt::Key_A, "a", 0, 'a'},
        {Qt::Key_A, "A", shift, 'A'},
        {Qt::Key_A, "", shift, 'A'},  // no text: the case follows Shift
        {Qt::Key_A, "", 0, 'a'},
        {Qt::Key_Question, "?", shift, '?'},
        // Ctrl with a letter is its control character, whatever the text.
        {Qt::Key_K, "k", ctrl, 11},
        {Qt::Key_K, "\x0b", ctrl | shift, 11},
        {Qt::Key_K, "", ctrl | shift, 11},
        {Qt::Key_A, "a", ctrl | alt, 1},
        {Qt::Key_I, "", ctrl, 9},
        {Qt::Key_Tab, "\t", 0, 9},
        {Qt::Key_Escape, "\x1b", 0, 27},
        {Qt::Key_Escape, "", 0, 27},
        {Qt::Key_Delete, "", 0, 127},
        {Qt::Key_Home, "", 0, 0x1010},
        {Qt::Key_Left, "", shift, 0x1012},
        {Qt::Key_Up, "", 0, 0x1013},
        {Qt::Key_Right, "", ctrl, 0x1014},
        {Qt::Key_Down, "", 0, 0x1015},
        {Qt::Key_PageUp, "", 0, 0x1016},
        {Qt::Key_PageDown, "", 0, 0x1017},
        {Qt::Key_Shift, "", shift, 0},
        {Qt::Key_Control, "", ctrl, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GLWindow::viewerKeyCode(c.qtKey, QString::fromLatin1(c.text), c.modifiers), c.code)
            << "Qt key 0x" << std::hex << c.qtKey << " text \"" << c.text << "\" modifiers 0x" << c.modifiers;
}

const char kHelpText[] =
    "\n   Hot Key Functions (in effect only when mouse pointer is in viewer window)\n"
    "\n    esc - exit viewer"
    "\n     a - toggle axis visibility"
    "\n     A - toggle print antialias"
    "\n     b - toggle viewport border visibility"
    "\n     B - toggle double buffering"
    "\n     c - center graphic object in window"
    "\n     f - toggle face visibility"
    "\n     F - toggle face transparency"
    "\n     g - toggle ruler visibility"
    "\n     i - toggle line visibility"
    "\n     k - set colour mode of image output file"
    "\n     l - toggle lighting"
    "\n     L - toggle specular visibility"
    "\n     m - toggle smooth shading"
    "\n     M - toggle texture maps"
    "\n     n - toggle projection between orthographic and perspective"
    "\n     o - toggle overlay visibility"
    "\n     p - generate image output file"
    "\n     Q - set lossy raster image quality factor"
    "\n     r - reset view"
    "\n     R - reverse video"
    "\n     s - set normal/sparse/auto-sparse drawing mode"
    "\n     S - set raster image output file scale factor"
    "\n     t - set type of image output file"
    "\n     u - undo transformation"
    "\n     U - redo transformation"
    "\n     V - toggle vertex visibility"
    "\n     w - cycle through viewport layouts"
    "\n     W - toggle current viewport fullscreen"
    "\n     x - set view down +x axis"
    "\n     X - set view down -x axis"
    "\n     y - set view down +y axis"
    "\n     Y - set view down -y axis"
    "\n     z - set view down +z axis"
    "\n     Z - set view down -z axis"
    "\n";

TEST_F(KeysTest, HelpTextListsTheTableWithTheExitLineOnlyStandAlone) {
    messages.clear();
    key('?', Qt::ShiftModifier);
    ASSERT_EQ(messages.entries().size(), 1u);
    EXPECT_EQ(messages.entries()[0].icon, platform::MessageIcon::Warning);
    EXPECT_EQ(messages.entries()[0].text, kHelpText);

    // Embedded, Esc does not end anything and is not listed.
    viewer->standAlone = false;
    viewer->BuildHelpText();
    std::string embedded = kHelpText;
    embedded.erase(embedded.find("\n    esc - exit viewer"), std::strlen("\n    esc - exit viewer"));
    EXPECT_EQ(std::string(viewer->outputMessage), embedded);

    // A key that says nothing leaves no message behind.
    messages.clear();
    key('a');
    EXPECT_TRUE(messages.entries().empty());
}

TEST_F(KeysTest, CountersAndCycles) {
    vkoGraphicObj* o = addSquare("square");
    for (int expected : {1, 2, 0}) {
        key(Qt::Key_G, Qt::ControlModifier);
        EXPECT_EQ(o->polygonMode, expected);
    }
    for (int expected : {1, 2, 0}) {
        key(Qt::Key_N, Qt::ControlModifier);
        EXPECT_EQ(viewer->renderer->normalsMode, expected);
    }
    key(Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(o->lodAlways);
    key(Qt::Key_L, Qt::ControlModifier);
    EXPECT_FALSE(o->lodAlways);

    ASSERT_EQ(viewer->outlineMode, OUTLINE_AUTO);
    for (int expected : {OUTLINE_NEVER, OUTLINE_MOVING, OUTLINE_AUTO}) {
        key('s');
        EXPECT_EQ(viewer->outlineMode, expected);
    }

    viewer->ApplyLayout(8);
    key('w');
    EXPECT_EQ(viewer->viewportLayout, 1);
    key('w');
    EXPECT_EQ(viewer->viewportLayout, 2);

    // Toggles of every object in the viewport, and of the viewport.
    const bool faces = o->faces, lines = o->lines;
    key('f');
    key('i');
    EXPECT_EQ(o->faces, !faces);
    EXPECT_EQ(o->lines, !lines);
    const bool axis = viewer->ViewportAxisShown();
    key('a');
    EXPECT_EQ(viewer->ViewportAxisShown(), !axis);
    const bool ortho = viewer->ViewportOrthographic();
    key('n');
    EXPECT_EQ(viewer->ViewportOrthographic(), !ortho);
}

TEST_F(KeysTest, ViewKeysGiveTheirRotations) {
    addSquare("square");
    const float h = std::sqrt(0.5f);
    struct Case {
        char key;
        float q[4];  // x, y, z, w
    } cases[] = {
        // The reset view (-90 degrees about x), then the key's turn about
        // the world axes.
        {'x', {-0.5f, 0.5f, 0.5f, 0.5f}},     {'X', {-0.5f, -0.5f, -0.5f, 0.5f}},
        {'y', {-h, 0, 0, h}},                 {'Y', {0, h, h, 0}},
        {'z', {-1, 0, 0, 0}},                 {'Z', {0, 0, 0, 1}},
        {'r', {0.279848f, -0.364705f, -0.115917f, 0.880476f}},
    };
    for (const Case& c : cases) {
        v->view->ModifyValues(0, 10, 20, 30, 0);  // somewhere else first
        const int depth = undoDepth();
        key(c.key);
        const float* q = v->view->rotation.value();
        // q and -q are the same rotation.
        const float sign = q[0] * c.q[0] + q[1] * c.q[1] + q[2] * c.q[2] + q[3] * c.q[3] < 0 ? -1.0f : 1.0f;
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(sign * q[i], c.q[i], 2e-5f) << c.key << " component " << i;
        EXPECT_EQ(undoDepth(), depth + 1) << c.key << " pushes the view it replaces";
    }
}

TEST_F(KeysTest, ArrowsPageKeysAndTheUndoRing) {
    addSquare("square");
    auto rotation = [&] {
        const float* q = v->view->rotation.value();
        return std::vector<float>(q, q + 4);
    };
    auto near = [](const std::vector<float>& a, const std::vector<float>& b) {
        for (int i = 0; i < 4; ++i)
            if (std::fabs(a[i] - b[i]) > 1e-5f) return false;
        return true;
    };
    const std::vector<float> start = rotation();
    const float scale = v->view->scale;

    key(Qt::Key_Left);  // (0, -15, 0)
    const std::vector<float> afterLeft = rotation();
    Transform expected(*v->view);
    expected.rotation.set(start[0], start[1], start[2], start[3]);
    expected.ModifyValues(0, 0, -15, 0, 0);
    EXPECT_TRUE(near(afterLeft, std::vector<float>(expected.rotation.value(), expected.rotation.value() + 4)));
    key(Qt::Key_Up, Qt::ControlModifier);  // (0, 0, -15)
    expected.ModifyValues(0, 0, 0, -15, 0);
    EXPECT_TRUE(near(rotation(), std::vector<float>(expected.rotation.value(), expected.rotation.value() + 4)));
    key(Qt::Key_PageUp);
    EXPECT_NEAR(v->view->scale, scale * 0.9f, 1e-5f * scale);

    key('u');
    EXPECT_NEAR(v->view->scale, scale, 1e-5f * scale);
    key('u');
    EXPECT_TRUE(near(rotation(), afterLeft));
    key('u');
    EXPECT_TRUE(near(rotation(), start));
    key('U');
    EXPECT_TRUE(near(rotation(), afterLeft));
}

TEST_F(KeysTest, ShiftArrowsMoveTheLightWithinItsRange) {
    viewer->SetViewportLight(180.0f, 90.0f);
    const Transform before(*v->view);
    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(v->lightAngleXToZ, 180.0f);
    key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(v->lightAngleXToZ, 175.0f);
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(v->lightAngleZToY, 85.0f);
    // The light keys leave the view alone.
    EXPECT_EQ(std::memcmp(v->view->rotation.value(), before.rotation.value(), 4 * sizeof(float)), 0);
    key(Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(v->lightAngleXToZ, 90.0f);
    EXPECT_FLOAT_EQ(v->lightAngleZToY, 90.0f);
}

TEST_F(KeysTest, PolygonSelectionLetsOnlyEscAndDeleteThrough) {
    vkoGraphicObj* o = addSquare("square");
    ASSERT_TRUE(viewer->SetMouseFunction(VWindow::kLeft, 0, 15));  // add polygon point
    viewer->SetPickMode(1, false, 75.0f);
    for (QPoint p : {QPoint(100, 100), QPoint(300, 100), QPoint(200, 250)}) click(p, Qt::LeftButton);
    ASSERT_TRUE(viewer->polygonSelecting);
    ASSERT_EQ(v->lassoCount, 3);

    const bool faces = o->faces;
    key('f');
    EXPECT_EQ(o->faces, faces);
    key(Qt::Key_Delete);
    EXPECT_EQ(v->lassoCount, 2);

    // Embedded, Esc leaves the selection (stand-alone it ends the program).
    viewer->standAlone = false;
    key(Qt::Key_Escape);
    EXPECT_FALSE(viewer->polygonSelecting);
    EXPECT_EQ(exitStatus, -1);
    key('f');
    EXPECT_EQ(o->faces, !faces);
}

TEST_F(KeysTest, KeysWaitForAViewportAndForTheButtons) {
    vkoGraphicObj* o = addSquare("square");
    const bool faces = o->faces;
    // Held button: nothing.
    mouse(QEvent::MouseButtonPress, QPoint(200, 150), Qt::RightButton, Qt::RightButton);
    key('f');
    EXPECT_EQ(o->faces, faces);
    mouse(QEvent::MouseButtonRelease, QPoint(200, 150), Qt::RightButton, Qt::NoButton);

    // A fresh window with no viewport pressed yet: nothing.
    box.reset();
    viewer = CreateViewer(nullptr, false, true, "prog");
    ASSERT_NE(viewer, nullptr);
    box.reset(viewer->Widget());
    box->resize(400, 300);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    win = viewer->glWindow;
    const bool axis = viewer->ViewportAxisShown();
    key('a');
    EXPECT_EQ(viewer->ViewportAxisShown(), axis);
    key(Qt::Key_Escape);
    EXPECT_EQ(exitStatus, -1);
}

TEST_F(KeysTest, EscEndsTheStandAloneViewerWithStatusZero) {
    messages.clear();
    key(Qt::Key_Escape);
    EXPECT_EQ(exitStatus, 0);
    EXPECT_FALSE(win->running);
    EXPECT_TRUE(messages.entries().empty());
}

}  // namespace
