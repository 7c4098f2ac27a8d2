// State files, the viewer section, viewport sections, camera files and the
// text dump.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <csignal>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "TestSupport.h"
#include "platform/MessageSink.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

struct Viewer {
    std::unique_ptr<krvViewer> box;
    vkoViewer* v = nullptr;
    Viewer() {
        v = CreateViewer(nullptr, true, true, "prog -n");
        if (v) box.reset(v->Widget());
    }
    vkoViewer* operator->() const { return v; }
};

// Runs a test body in a directory of its own (start files and the camera
// file are looked for in the working directory).
struct InDirectory {
    std::string old;
    explicit InDirectory(const std::string& dir) {
        char buffer[4096];
        old = getcwd(buffer, sizeof buffer) ? buffer : ".";
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDirectory() { (void)chdir(old.c_str()); }
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string SectionText(vkoViewer* viewer, const std::string& dir) {
    const std::string path = dir + "/section.tmp";
    EXPECT_TRUE(viewer->WriteState(2, path.c_str()));
    return Slurp(path);
}

bool ReadSection(vkoViewer* viewer, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const bool ok = viewer->ReadViewerSection(fd);
    ::close(fd);
    return ok;
}

// A viewer whose settings all differ from the defaults.
void ChangeEverything(vkoViewer* v) {
    v->NewGraphic("alpha");
    v->NewGraphic("beta");
    v->viewportOrder[0] = 3;
    v->viewportOrder[2] = 1;
    v->ApplyLayout(4);
    const float c1[3] = {0.25f, 0.5f, 0.75f}, c2[3] = {0.1f, 0.2f, 0.3f};
    v->SetBackground(BG_DIAGONAL, c1, c2);
    v->outlineMode = OUTLINE_NEVER;
    v->SetLogoState(0);
    vkoViewport* vp = v->viewports[1];
    vp->setName("Side view");
    vp->isAxisVisibleFlag = 0;
    vp->isOrthographic = 0;
    vp->axisType = 2;
    vp->setRulerUnits("mm");
    vp->rulerScale = 2.5f;
    vp->setLightAngles(10.0f, 20.0f);
    const float plane[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9.5f};
    vp->setClipPlane(plane);
    vp->isCuttingPlaneVisibleFlag = 1;
    vp->addObject("alpha");
    vp->view->ModifyValues(Transform::ChangePan, 0.1f, -0.2f, 0, 0);
    vp->view->ModifyValues(Transform::ChangeRotate, 10, 20, 30, 0);
    vp->view->ModifyValues(Transform::ChangeZoom, 0, 0, 0, 3.0f);
}

TEST(ViewerStateFile, ViewerSectionRoundTrips) {
    const std::string dir = testsupport::ScratchDir("files_roundtrip");
    Viewer a, b;
    ASSERT_TRUE(a.v && b.v);
    ChangeEverything(a.v);
    b->NewGraphic("alpha");
    b->NewGraphic("beta");
    const std::string path = dir + "/viewer.state";
    ASSERT_TRUE(a->WriteStateFile(path.c_str()));
    const std::string text = Slurp(path);
    EXPECT_EQ(text.rfind("++ OBJECTS\n-- OBJECTS\n++ VIEWER\n++ MANAGED VIEWPORT\n\tnumViewports = 4\n"
                         "\tviewportLayout = 4\n\tviewportOrder = 3 2 1 4\n\tbackGroundColor = 0.25 0.5 0.75\n",
                         0),
              0u)
        << text;

    ASSERT_TRUE(ReadSection(b.v, path));
    EXPECT_EQ(b->viewportLayout, 4);
    EXPECT_EQ(b->viewportOrder[0], 3);
    EXPECT_EQ(b->backGroundType, BG_DIAGONAL);
    EXPECT_FLOAT_EQ(b->backGroundColor2[2], 0.3f);
    EXPECT_EQ(b->outlineMode, OUTLINE_NEVER);
    if (a->logoGraphic) {
        EXPECT_EQ(b->logoState, LOGO_NONE);
    }
    EXPECT_EQ(b->viewports[1]->viewportname, "Side view");
    EXPECT_TRUE(b->viewports[1]->hasObject(b->FindGraphic("alpha")));
    EXPECT_FALSE(b->viewports[1]->hasObject(b->FindGraphic("beta")));
    EXPECT_EQ(SectionText(b.v, dir), SectionText(a.v, dir));
}

TEST(ViewerStateFile, DefaultNameAndOtherViewportCount) {
    const std::string dir = testsupport::ScratchDir("files_default");
    InDirectory in(dir);
    Viewer a, b;
    ASSERT_TRUE(a.v && b.v);
    ChangeEverything(a.v);
    ASSERT_TRUE(a->WriteStateFile(nullptr));
    std::string text = Slurp(dir + "/viewer.state");
    ASSERT_FALSE(text.empty());

    // A section written for three viewports changes nothing in four.
    const std::string before = SectionText(b.v, dir);
    const size_t at = text.find("numViewports = 4");
    ASSERT_NE(at, std::string::npos);
    text[at + 15] = '3';
    Spit(dir + "/three.state", text);
    EXPECT_TRUE(ReadSection(b.v, dir + "/three.state"));
    EXPECT_EQ(SectionText(b.v, dir), before);
}

TEST(ViewerStateFile, DamagedSectionsStopSafely) {
    const std::string dir = testsupport::ScratchDir("files_damaged");
    Viewer a;
    ASSERT_TRUE(a.v);
    ChangeEverything(a.v);
    const std::string path = dir + "/good.state";
    ASSERT_TRUE(a->WriteStateFile(path.c_str()));
    const std::string good = Slurp(path);

    struct Case {
        const char* what;
        std::string text;
        bool result;
    };
    const size_t colour = good.find("\tbackGroundColor = ");
    const size_t clip = good.find("\tcuttingPlanePt1 = ");
    const Case cases[] = {
        {"colour with two numbers", good.substr(0, colour) + "\tbackGroundColor = 1 1\n" + good.substr(colour), false},
        {"clip point with two numbers", good.substr(0, clip) + "\tcuttingPlanePt1 = 1 2\n" + good.substr(clip), true},
        {"cut in the middle", good.substr(0, good.size() / 2), true},
        {"nothing", "", false},
        {"no end", good.substr(0, good.rfind("-- MANAGED")), false},
        {"order naming no viewport",
         good.substr(0, good.find("\tviewportOrder")) + "\tviewportOrder = 9 -1 2000000000000 4\n" +
             good.substr(good.find("\tbackGroundColor =")),
         true},
    };
    for (const Case& c : cases) {
        Viewer b;
        ASSERT_TRUE(b.v);
        Spit(dir + "/bad.state", c.text);
        const bool wasSuspended = b->drawingSuspended;
        EXPECT_EQ(ReadSection(b.v, dir + "/bad.state"), c.result) << c.what;
        EXPECT_EQ(b->drawingSuspended, wasSuspended) << c.what;
        for (int n : b->viewportOrder) EXPECT_TRUE(n >= 1 && n <= 4) << c.what;
    }
}

TEST(ViewerStateFile, FailedWriteKeepsThePreviousFile) {
    const std::string dir = testsupport::ScratchDir("files_keep");
    Viewer a;
    ASSERT_TRUE(a.v);
    const std::string path = dir + "/viewer.state";
    Spit(path, "previous\n");
    EXPECT_FALSE(a->WriteStateFile((dir + "/missing/viewer.state").c_str()));
    EXPECT_FALSE(a->WriteCameraFile((dir + "/missing/cams").c_str()));

    // A disk that fills up half-way through the file: the write fails and
    // the previous file is still there, whole.
    struct rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    void (*previousHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = a->WriteStateFile(path.c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(Slurp(path), "previous\n");
    EXPECT_TRUE(a->WriteStateFile(path.c_str()));
    EXPECT_NE(Slurp(path), "previous\n");
}

TEST(ViewportSection, InternalObjectsAreNeitherSavedNorRestored) {
    const std::string dir = testsupport::ScratchDir("files_viewport");
    Viewer a;
    ASSERT_TRUE(a.v);
    a->NewGraphic("a=b c");
    vkoViewport* vp = a->viewports[0];
    ASSERT_TRUE(vp->hasObject(a->frameRateGraphic));
    const std::string path = dir + "/vp.txt";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_TRUE(vp->save(fd));
    ::close(fd);
    const std::string text = Slurp(path);
    EXPECT_NE(text.find("++ OBJECTS\na=b c\n-- OBJECTS\n#\nNEW_VIEW {\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("FRAMERATE"), std::string::npos);

    // Restoring replaces the listed objects and keeps the viewer's own.
    vkoViewport* other = a->viewports[1];
    a->NewGraphic("stale", nullptr);
    other->addObject("stale");
    fd = ::open(path.c_str(), O_RDONLY);
    char first[16];
    ASSERT_EQ(::read(fd, first, 12), 12);  // past "++ VIEWPORT\n"
    EXPECT_TRUE(other->restore(fd));
    ::close(fd);
    EXPECT_TRUE(other->hasObject(a->FindGraphic("a=b c")));
    EXPECT_FALSE(other->hasObject(a->FindGraphic("stale")));
    if (a->logoGraphic) {
        EXPECT_TRUE(other->hasObject(a->logoGraphic));
    }
    EXPECT_EQ(other->viewportname, "Viewport1");
}

TEST(CameraFile, RoundTripAndStartFile) {
    const std::string dir = testsupport::ScratchDir("files_cameras");
    InDirectory in(dir);
    {
        Viewer a;
        ASSERT_TRUE(a.v);
        SavedCamera* front = a->AddSavedCamera("front");
        front->view.ModifyValues(Transform::ChangePan, 0.5f, 0.25f, 0, 0);
        a->AddSavedCamera("top")->view.ModifyValues(Transform::ChangeRotate, 90, 0, 0, 0);
        ASSERT_TRUE(a->WriteCameraFile("SavedCameras"));
    }
    const std::string text = Slurp(dir + "/SavedCameras");
    EXPECT_EQ(text.rfind("#!DRAVmesh View/Camera File\n#!Version 2.6\n#\nNEW_VIEW {\n\tname = front\n", 0), 0u);

    Viewer b;  // reads "SavedCameras" from the working directory
    ASSERT_TRUE(b.v);
    EXPECT_EQ(b->numSavedCameras, 2);
    SavedCamera* front = b->FindSavedCamera("front");
    ASSERT_NE(front, nullptr);
    EXPECT_FLOAT_EQ(front->view.pan[0], 1.0f);
    ASSERT_NE(b->FindSavedCamera("top"), nullptr);
    // Reading the same file again replaces the cameras of the same name.
    EXPECT_TRUE(b->ReadCameraFile("SavedCameras"));
    EXPECT_EQ(b->numSavedCameras, 2);
}

TEST(CameraFile, BadMagicAndDamagedBlocks) {
    const std::string dir = testsupport::ScratchDir("files_badcams");
    const std::string head = "#!DRAVmesh View/Camera File\n#!Version 2.6\n";
    const std::string one = "#\nNEW_VIEW {\n\tname = one\n\tscale = 2\n}\n";
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"bad magic", "#!DRAVmesh View File\n" + one, {}},
        {"empty", "", {}},
        {"ends inside a block", head + one + "#\nNEW_VIEW {\n\tname = two\n\tscale = 3\n", {"one"}},
        {"bad line ends the file", head + one + "NEW_VIEW {\n\tname = two\n\tpan = 1\n}\n" + one, {"one"}},
        {"lines outside a block", head + "\tname = stray\n}\n" + one, {"one"}},
        {"magic with more after it", "#!DRAVmesh View/Camera File v3\n" + one, {"one"}},
    };
    for (const Case& c : cases) {
        Viewer v;
        ASSERT_TRUE(v.v);
        const int before = v->numSavedCameras;
        Spit(dir + "/cams", c.text);
        v->ReadCameraFile((dir + "/cams").c_str());
        EXPECT_EQ(v->numSavedCameras - before, int(c.kept.size())) << c.what;
        for (const std::string& name : c.kept) EXPECT_NE(v->FindSavedCamera(name.c_str()), nullptr) << c.what;
        EXPECT_EQ(v->FindSavedCamera("two"), nullptr) << c.what;
    }
    Viewer v;
    EXPECT_FALSE(v->ReadCameraFile((dir + "/no-such-file").c_str()));
}

TEST(TextDump, DefaultViewer) {
    Viewer a;
    ASSERT_TRUE(a.v);
    a->NewGraphic("thing");
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    a->WriteTextDump(out);
    std::fclose(out);
    const std::string text(buffer, size);
    std::free(buffer);
    EXPECT_EQ(text.rfind(" Viewer:\n    Number of Graphic Objects: 1\n    numViewports: 4\n    viewportLayout: 1\n"
                         "    viewportOrder: 1 2 3 4 \n    backGroundColor: 0 0 0\n    backGroundColor2: 1 1 1\n"
                         "    backGroundType: 0(SOLID)\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\n    outlineMode: 2(AUTO)\n\n\n Viewports:\n    viewportname: Viewport1\n"), std::string::npos);
    EXPECT_NE(text.find("    axisType: 0(XYZ)\n"), std::string::npos);
    EXPECT_NE(text.find("\n Objects:\n"), std::string::npos);
    EXPECT_NE(text.find("objectname: thing"), std::string::npos);
    EXPECT_EQ(text.find("FRAMERATE"), std::string::npos);
    EXPECT_EQ(text.find("WATERMARK"), std::string::npos);
}

}  // namespace
