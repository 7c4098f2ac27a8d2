// The pick handler under real mouse input on a viewer window: object and
// face picks turned into pick data, point picking for a parameter widget,
// dragged objects; and the record-to-object rules on a table of names.
#include <gtest/gtest.h>

#include <QLabel>
#include <QStatusBar>

#include <limits>

#include "GuiViewer/src/PickHandler.h"
#include "GuiViewer/src/host/AppWindowBase.h"
#include "GuiViewer/src/host/ParamWgt.h"
#include "ViewerWindowFixture.h"
#include "render/VWindow.h"
#include "viewer/ViewerExports.h"

namespace {

struct Selection {
    std::list<PickData> objects;
    std::vector<PickRecord> faces;
    ParamWgt* widget = nullptr;
    std::vector<float> position;
    bool next = false, area = false;
};

// Records every hook call.  Like a host's handler, it ends point picking
// once the widget has its point.
class RecordingHandler : public PickHandler {
public:
    using PickHandler::PickHandler;
    using PickHandler::getNotifyWgt;
    using PickHandler::setDraggingEnabled;

    std::vector<std::list<PickData>> pointed;
    std::vector<std::vector<PickRecord>> facesPointedCalls;
    std::vector<Selection> selected;
    std::vector<ParamWgt*> blanks;
    std::vector<PickData> moved;
    float movedBy[3] = {0, 0, 0};
    std::vector<float> pickedIntoWidget;

protected:
    void objectsPointed(const std::list<PickData>& o) override { pointed.push_back(o); }
    void facesPointed(const std::vector<PickRecord>& f) override { facesPointedCalls.push_back(f); }
    void objectsSelected(const std::list<PickData>& o, ParamWgt* w, const std::vector<float>& p, bool next,
                         bool area) override {
        selected.push_back({o, {}, w, p, next, area});
        if (w) {
            pickedIntoWidget = p;
            // After the report, as guiviewer does: going back to viewing
            // rebinds the mouse, not done inside the mouse's own event.
            QMetaObject::invokeMethod(this, [this] { revertPickMode(); }, Qt::QueuedConnection);
        }
    }
    void facesSelected(const std::vector<PickRecord>& f, ParamWgt* w, const std::vector<float>& p, bool next,
                       bool area) override {
        selected.push_back({{}, f, w, p, next, area});
    }
    void blankSelected(ParamWgt* w) override { blanks.push_back(w); }
    void objectMoved(const PickData& o, const float t[3]) override {
        moved.push_back(o);
        for (int i = 0; i < 3; ++i) movedBy[i] = t[i];
    }
};

class RecordingParamWgt : public ParamWgt {
public:
    std::vector<bool> states;
    void setPickingState(bool on) override {
        states.push_back(on);
        ParamWgt::setPickingState(on);
    }
};

bool IsNoPoint(const std::vector<float>& p) { return p == PickHandler::noPoint(); }

void ExpectWing(const PickData& d, const char* viewerName = "wing:DOMAIN:wing:0:Cartesian") {
    EXPECT_EQ(d.path, "/DOMAIN:wing");
    EXPECT_EQ(d.viewerName, viewerName);
    EXPECT_EQ(d.name, "wing");
    EXPECT_EQ(d.type, "DOMAIN");
    EXPECT_EQ(d.domain, QString(viewerName).section(':', 0, 0));
}

class PickHandlerTest : public guitest::ViewerWindowFixture {
protected:
    void SetUp() override {
        ViewerWindowFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        handler = std::make_unique<RecordingHandler>(window.get());
    }
    void TearDown() override {
        handler.reset();
        ViewerWindowFixture::TearDown();
    }
    // Left button picks objects (or faces), as the window's picking mode has it.
    void pickWithLeft(int pickMode) {
        ASSERT_TRUE(viewer->SetMouseFunction(VWindow::kLeft, 0, 13));
        viewer->SetPickMode(pickMode, pickMode != 0, 0);
    }
    std::unique_ptr<RecordingHandler> handler;
};

TEST_F(PickHandlerTest, ClickOnAnObjectReportsItsPickDataAndThePoint) {
    pickWithLeft(3);
    // Empty space: a blank selection.  (It also makes the viewport active,
    // which hovering needs.)
    click(Qt::LeftButton, corner());
    EXPECT_EQ(handler->blanks.size(), 1u);
    EXPECT_TRUE(handler->selected.empty());
    hover(centre());
    ASSERT_FALSE(handler->pointed.empty()) << "hovering in object mode reports what is under the pointer";
    ExpectWing(handler->pointed.back().front());
    click(Qt::LeftButton, centre());
    ASSERT_EQ(handler->selected.size(), 1u);
    const Selection& s = handler->selected.back();
    ASSERT_EQ(s.objects.size(), 1u);
    ExpectWing(s.objects.front());
    EXPECT_EQ(s.widget, nullptr);
    ASSERT_EQ(s.position.size(), 3u);
    EXPECT_FALSE(IsNoPoint(s.position)) << "a click on the surface passes the picked point";
    for (float v : s.position) EXPECT_LT(std::abs(v), 2.0f) << "the point lies on the tetrahedron";
    EXPECT_FALSE(s.next);
    EXPECT_FALSE(s.area);
    EXPECT_EQ(handler->blanks.size(), 1u);
}

TEST_F(PickHandlerTest, FacePickReportsTheFacesUnderThePointer) {
    handler->setPickType(PickHandlerIF::PickFaces);
    EXPECT_EQ(window->getPickType(), ViewerWindow::PickFaces);
    pickWithLeft(0);
    click(Qt::LeftButton, corner());  // the viewport becomes active
    handler->selected.clear();
    hover(centre());
    ASSERT_FALSE(handler->facesPointedCalls.empty());
    const std::vector<PickRecord>& faces = handler->facesPointedCalls.back();
    ASSERT_FALSE(faces.empty());
    for (const PickRecord& r : faces) {
        EXPECT_EQ(r.objectId, wingId());
        EXPECT_GE(r.element, 0) << "face picks name faces";
        EXPECT_LT(r.element, 4);
    }
    EXPECT_TRUE(handler->pointed.empty()) << "no object reports in face mode";

    click(Qt::LeftButton, centre());
    ASSERT_EQ(handler->selected.size(), 1u);
    EXPECT_EQ(handler->selected.back().faces.size(), faces.size());
    EXPECT_FALSE(IsNoPoint(handler->selected.back().position));
}

TEST_F(PickHandlerTest, PointPickingForAParameterWidget) {
    AppWindowBase host;
    RecordingParamWgt widget;
    auto labelsInStatusBar = [&] { return host.statusBar()->findChildren<QLabel*>("Status Label").size(); };

    handler->notifyPointPicking(&widget, true);
    handler->notifyPointPicking(&widget, true);  // a second start keeps one label
    EXPECT_EQ(labelsInStatusBar(), 1);
    QLabel* label = handler->getStatusLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Specify a value or pick from the viewer");
    EXPECT_TRUE(label->isVisibleTo(&host));
    EXPECT_EQ(handler->getNotifyWgt(), &widget);
    EXPECT_EQ(handler->getSavedMode(), 1);
    EXPECT_EQ(viewer->interpreterPickMode, 3) << "the window picks objects";

    click(Qt::LeftButton, centre());
    ASSERT_EQ(handler->selected.size(), 1u);
    EXPECT_EQ(handler->selected.back().widget, &widget);
    ASSERT_EQ(handler->pickedIntoWidget.size(), 3u);
    EXPECT_FALSE(IsNoPoint(handler->pickedIntoWidget));

    // The handler ended picking after its hook: label gone, widget told, mode back.
    ASSERT_TRUE(QTest::qWaitFor([&] { return handler->getSavedMode() == 0; }, 2000));
    EXPECT_EQ(labelsInStatusBar(), 0);
    EXPECT_FALSE(label->isVisible());
    EXPECT_EQ(handler->getNotifyWgt(), nullptr);
    EXPECT_FALSE(widget.isPicking());
    ASSERT_FALSE(widget.states.empty());
    EXPECT_FALSE(widget.states.back());
    EXPECT_EQ(handler->getSavedMode(), 0);
    EXPECT_EQ(viewer->interpreterPickMode, 5) << "back to viewing";
}

TEST_F(PickHandlerTest, DraggingAnObjectReportsItsPlacement) {
    handler->setDraggingEnabled(true);
    EXPECT_TRUE(viewer->draggingEnabled);
    drag(Qt::LeftButton, centre(), centre() + QPoint(60, 0), Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_EQ(handler->moved.size(), 1u);
    ExpectWing(handler->moved.front());
    const vkoGraphicObj* wing = viewer->FindGraphic(kWing);
    EXPECT_GT(std::abs(wing->offsetTrans[0]) + std::abs(wing->offsetTrans[1]) + std::abs(wing->offsetTrans[2]), 0.1f);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(handler->movedBy[i], wing->offsetTrans[i]);

    // A report of a move with nothing picked before does nothing.
    const float t[3] = {1, 2, 3};
    handler->setPickedObject(0, nullptr);
    DmeshMovedObject(wingId(), t[0], t[1], t[2]);
    EXPECT_EQ(handler->moved.size(), 1u);
}

// The rules from records to picked objects, through the exported functions.
TEST_F(PickHandlerTest, RecordsBecomeOnePickDataPerPath) {
    for (const char* name : {"d1:DOMAIN:wing:0:Cartesian", "d2:DOMAIN:wing:1:Cartesian",
                             "d1:BOUNDARY:inlet:0:Cartesian", "plain"})
        ASSERT_TRUE(viewer->NewGraphic(name));
    auto id = [&](const char* name) { return viewer->FindGraphic(name)->objectid; };
    const PickRecord records[] = {{0.1f, id("d1:DOMAIN:wing:0:Cartesian"), 1, 0},
                                  {0.2f, id("d2:DOMAIN:wing:1:Cartesian"), 1, 2},
                                  {0.3f, 987654, 1, 0},  // no such object
                                  {0.4f, id("d1:BOUNDARY:inlet:0:Cartesian"), 1, -1},
                                  {0.5f, id("plain"), 1, -1},
                                  {0.6f, id("plain"), 1, 3}};
    DmeshPickedObject(6, records);
    ASSERT_EQ(handler->pointed.size(), 1u);
    const std::vector<PickData> got(handler->pointed.back().begin(), handler->pointed.back().end());
    ASSERT_EQ(got.size(), 3u);
    ExpectWing(got[0], "d1:DOMAIN:wing:0:Cartesian");
    EXPECT_EQ(got[1].path, "/BOUNDARY:inlet");
    EXPECT_EQ(got[1].type, "BOUNDARY");
    EXPECT_EQ(got[1].domain, "d1");
    EXPECT_EQ(got[2].viewerName, "plain") << "an object without a command-language path is kept, once";
    EXPECT_EQ(got[2].path, "");

    // Point codes: 17 click, 18 next (no blank), 19 area (no point), 14 create.
    handler->selected.clear();
    const float p[3] = {1, 2, 3};
    DmeshPickedPoint(p, 19);
    ASSERT_EQ(handler->selected.size(), 1u);
    EXPECT_TRUE(handler->selected.back().area);
    EXPECT_TRUE(IsNoPoint(handler->selected.back().position));
    DmeshPickedPoint(nullptr, 24);
    EXPECT_TRUE(handler->selected.back().next && handler->selected.back().area);
    DmeshPickedPoint(nullptr, 17);  // a click without a point on picked objects selects nothing
    EXPECT_EQ(handler->selected.size(), 2u);

    DmeshPickedObject(0, nullptr);
    DmeshPickedPoint(nullptr, 18);
    EXPECT_TRUE(handler->blanks.empty());
    DmeshPickedPoint(nullptr, 17);
    EXPECT_EQ(handler->blanks.size(), 1u);

    // Face mode keeps the records of existing objects only.
    handler->setPickType(PickHandlerIF::PickFaces);
    DmeshPickedObject(6, records);
    ASSERT_EQ(handler->facesPointedCalls.size(), 1u);
    EXPECT_EQ(handler->facesPointedCalls.back().size(), 5u);
}

TEST(PickHandlerNames, PathFromViewerName) {
    const std::pair<const char*, const char*> cases[] = {
        {"wing:DOMAIN:wing:0:Cartesian", "/DOMAIN:wing"},
        {":DOMAIN:wing:0:Cartesian_bbox", "/DOMAIN:wing"},
        {"d:REGION:a:b:2:Cartesian", "/REGION:a:b"},  // a name holding a colon
        {"", ""},
        {"plain", ""},
        {"a:b", ""},
        {"a:b:c", ""},
    };
    for (auto [name, path] : cases) EXPECT_EQ(PickHandler::pathFromViewerName(name), path) << name;
}

TEST(PickHandlerRegistration, NewestHandlerTakesTheReportsUntilItGoes) {
    auto first = std::make_unique<RecordingHandler>(nullptr);
    testing::internal::CaptureStderr();
    auto second = std::make_unique<RecordingHandler>(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: PickHandler already initialized\n");
    EXPECT_EQ(PickHandler::registeredHandler(), second.get());
    second.reset();
    EXPECT_EQ(PickHandler::registeredHandler(), nullptr);
    // Without a handler (and without a window) reports are dropped safely.
    const PickRecord r{0.5f, 1, 1, -1};
    DmeshPickedObject(1, &r);
    DmeshPickedPoint(nullptr, 17);
    DmeshMovedObject(1, 0, 0, 0);
    EXPECT_TRUE(first->pointed.empty());
}

}  // namespace
