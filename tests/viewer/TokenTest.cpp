// Parameter tokens written with the link's own sender side into a socket
// pair and applied by SetParameters.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using Tok = LinkStream::Tok;

class TokenTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        out.writeHandle = sv[0];
        out.writeIsSocket = true;
        viewer->link.readHandle = sv[1];
        viewer->link.readIsSocket = true;
        viewer->NewGraphic("obj");
    }
    void TearDown() override {
        out.writeHandle = -1;
        viewer->link.readHandle = -1;
        close(sv[0]);
        close(sv[1]);
    }
    // A token whose name is not in the table.
    void writeRawToken(const char* name) {
        const char key[] = "vkoTokenKey";
        out.WriteTransfer(key, 11);
        int n = static_cast<int>(std::strlen(name)) + 1;
        unsigned char len[4] = {static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
                                static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)};
        out.WriteTransfer(len, 4);
        out.WriteTransfer(name, n);
    }
    int run() {
        out.WriteToken(Tok::DONE);
        return viewer->SetParameters();
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    int sv[2] = {-1, -1};
    LinkStream out;
};

struct Case {
    const char* name;
    std::function<void(LinkStream&)> write;
    std::function<void(vkoViewer&)> check;
};

TEST_F(TokenTest, TableOfTokens) {
    const Case cases[] = {
        {"DRAW_FACES", [](LinkStream& o) { o.WriteIntToken(Tok::DRAW_FACES, 1, false); },
         [](vkoViewer& v) { EXPECT_TRUE(v.currentGraphic->faces); }},
        {"BACKGROUND_COLOR 3", [](LinkStream& o) { o.WriteStringToken(Tok::BACKGROUND_COLOR, "0.1 0.2 0.3", false); },
         [](vkoViewer& v) {
             EXPECT_EQ(v.backGroundType, BG_SOLID);
             EXPECT_FLOAT_EQ(v.backGroundColor[1], 0.2f);
             EXPECT_FLOAT_EQ(v.backGroundColor2[2], 0.3f);
         }},
        {"BACKGROUND_COLOR 7",
         [](LinkStream& o) { o.WriteStringToken(Tok::BACKGROUND_COLOR, "2 0 0 0 1 1 1", false); },
         [](vkoViewer& v) {
             EXPECT_EQ(v.backGroundType, BG_LEFT_RIGHT);
             EXPECT_FLOAT_EQ(v.backGroundColor[0], 0.0f);
             EXPECT_FLOAT_EQ(v.backGroundColor2[0], 1.0f);
         }},
        {"OBJECT_POLYGON_MODE", [](LinkStream& o) { o.WriteStringToken(Tok::OBJECT_POLYGON_MODE, "LINE", false); },
         [](vkoViewer& v) { EXPECT_EQ(v.currentGraphic->polygonMode, 1); }},
        {"VIEWER_PORT 7", [](LinkStream& o) {
             o.WriteIntToken(Tok::VIEWER_PORT, 3, false);
             o.WriteIntToken(Tok::VIEWER_PORT, 7, false);
         },
         [](vkoViewer& v) { EXPECT_EQ(v.currentViewport, v.viewports[0]); }},
        {"VIEWER_PORT_ORDER", [](LinkStream& o) { o.WriteStringToken(Tok::VIEWER_PORT_ORDER, "3 1", false); },
         [](vkoViewer& v) {
             EXPECT_EQ(v.viewportOrder[0], 3);
             EXPECT_EQ(v.viewportOrder[1], 1);
             EXPECT_EQ(v.viewportOrder[2], 3);
             EXPECT_EQ(v.viewportOrder[3], 4);
         }},
        {"SPARSE_MODE", [](LinkStream& o) {
             o.WriteStringToken(Tok::SPARSE_MODE, "MOVING", false);
             o.WriteStringToken(Tok::SPARSE_MODE, "auto", false);  // lower case: ignored
         },
         [](vkoViewer& v) { EXPECT_EQ(v.outlineMode, OUTLINE_MOVING); }},
        {"output settings", [](LinkStream& o) {
             o.WriteStringToken(Tok::OUTFILE, "pic.png", false);
             o.WriteStringToken(Tok::PRINTER, "JPG", false);
             o.WriteIntToken(Tok::QUALITY_FACTOR, 150, false);
             o.WriteIntToken(Tok::SCALE_FACTOR, 200, false);
             o.WriteStringToken(Tok::PRINT_PS_PAPER_SIZE, "A4", false);
             o.WriteStringToken(Tok::PRINT_RASTER_SIZE, "640 480", false);
             o.WriteIntToken(Tok::PRINT_SCREEN, 1, false);
         },
         [](vkoViewer& v) {
             EXPECT_EQ(v.output.outputFileName, "pic.jpg");
             EXPECT_EQ(v.output.outputType, OUTPUT_JPG);
             EXPECT_EQ(v.output.outputQuality, 90);
             EXPECT_EQ(v.output.outputScalePercent, 200);
             EXPECT_EQ(v.output.paperWidth, 8268);
             EXPECT_EQ(v.output.rasterWidth, 640);
             EXPECT_TRUE(v.printFromScreen);
         }},
        {"object placement and planes", [](LinkStream& o) {
             o.WriteStringToken(Tok::OBJECT_TRANSLATION, "1 2 3", false);
             o.WriteStringToken(Tok::OBJECT_SCALE, "2 2", false);  // two numbers: unchanged
             o.WriteStringToken(Tok::OBJECT_CLIP_PLANE, "0 0 0 1 0 0 0 1 0", false);
             o.WriteStringToken(Tok::OBJECT_MIRROR_PLANE, "ON", false);
             o.WriteStringToken(Tok::OBJECT_INSTANCES, "0", false);
             o.WriteStringToken(Tok::TRANSPARENCY, "1.5", false);
         },
         [](vkoViewer& v) {
             vkoGraphicObj* g = v.currentGraphic;
             EXPECT_FLOAT_EQ(g->offsetTrans[2], 3.0f);
             EXPECT_FLOAT_EQ(g->offsetScale[0], 1.0f);
             EXPECT_TRUE(g->cuttingPlaneVisible);
             EXPECT_FLOAT_EQ(g->cuttingPlanePt2[0], 1.0f);
             EXPECT_TRUE(g->mirrorPlaneVisible);
             EXPECT_EQ(g->numInstances, 1);
             EXPECT_FLOAT_EQ(g->transparencyLevel, 1.0f);
         }},
        {"viewport switches", [](LinkStream& o) {
             o.WriteIntToken(Tok::VIEWPORT_AXIS, 0, false);
             o.WriteIntToken(Tok::VIEWPORT_AXIS_TYPE, 7, false);  // out of range: ignored
             o.WriteIntToken(Tok::VIEWPORT_ORTHO, 0, false);
             o.WriteStringToken(Tok::VIEWPORT_LIGHT, "10 200", false);
             o.WriteStringToken(Tok::VIEWPORT_RULER_UNITS, "1000 mm", false);
             o.WriteStringToken(Tok::VIEWPORT_CLIP_PLANE, "garbage", false);
             o.WriteIntToken(Tok::VIEWER_LAYOUT, 8, false);
             o.WriteStringToken(Tok::VIEWER_XSPLIT, "0.25", false);
         },
         [](vkoViewer& v) {
             vkoViewport* vp = v.viewports[0];
             EXPECT_FALSE(vp->isAxisVisibleFlag);
             EXPECT_EQ(vp->axisType, 0);
             EXPECT_FALSE(vp->isOrthographic);
             EXPECT_FLOAT_EQ(vp->lightAngleXToZ, 10.0f);
             EXPECT_FLOAT_EQ(vp->lightAngleZToY, 180.0f);
             EXPECT_FLOAT_EQ(vp->rulerScale, 1000.0f);
             EXPECT_EQ(vp->rulerUnits, "mm");
             EXPECT_FALSE(vp->isCuttingPlaneVisibleFlag);
             EXPECT_EQ(v.viewportLayout, 8);
             EXPECT_FLOAT_EQ(vp->width, 0.25f);
         }},
        {"AUTOPRINT and limits", [](LinkStream& o) {
             o.WriteToken(Tok::AUTOPRINT);
             o.WriteIntToken(Tok::LIMIT_ZOOM, 0, false);
             o.WriteStringToken(Tok::VIEWER_LOD_ERROR, "0.25", false);
             o.WriteIntToken(Tok::XREVERSEVIDEO, 1, false);
         },
         [](vkoViewer& v) {
             EXPECT_TRUE(v.autoPrintPending);
             EXPECT_FALSE(v.limitZoom);
             EXPECT_FLOAT_EQ(v.lodError, 0.25f);
             EXPECT_TRUE(v.output.reverseColours);
             EXPECT_FLOAT_EQ(v.backGroundColor[0], 0.0f);  // colours untouched
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.write(out);
        EXPECT_EQ(run(), Tok::DONE);
        c.check(*viewer);
    }
}

TEST_F(TokenTest, GeometryTokenIsRefusedAndTheSequenceGoesOn) {
    platform::MessageRecorder recorder;
    out.WriteIntToken(Tok::VERTICES, 3, false);
    const float coords[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    out.WriteIntDataBlock(coords, 9, 0);
    out.WriteIntToken(Tok::DRAW_FACES, 1, false);
    EXPECT_EQ(run(), Tok::DONE);
    EXPECT_TRUE(recorder.contains("ERROR in SetParameters: Token not recognized\n"));
    EXPECT_TRUE(viewer->currentGraphic->faces);
}

TEST_F(TokenTest, UnknownNameEndsTheSequenceSilently) {
    platform::MessageRecorder recorder;
    writeRawToken("NO_SUCH_TOKEN");
    out.WriteIntToken(Tok::DRAW_FACES, 1, false);
    EXPECT_EQ(run(), Tok::NOT_FOUND);
    EXPECT_TRUE(recorder.entries().empty());
    EXPECT_FALSE(viewer->currentGraphic->faces);
}

TEST_F(TokenTest, OverlongTextIsRefusedAndTheSequenceGoesOn) {
    platform::MessageRecorder recorder;
    std::string longName(300, 'x');
    out.WriteStringToken(Tok::OUTFILE, longName.c_str(), false);
    std::string exact(255, 'y');  // 256 bytes with its terminator: accepted
    out.WriteStringToken(Tok::ADD_OBJECT, exact.c_str(), false);
    out.WriteIntToken(Tok::DRAW_FACES, 1, false);
    EXPECT_EQ(run(), Tok::DONE);
    EXPECT_EQ(viewer->output.outputFileName, "viewerOutput.png");
    EXPECT_TRUE(viewer->currentGraphic->faces);
    EXPECT_EQ(recorder.entries().size(), 1u);
}

TEST_F(TokenTest, ClosedStreamWarnsAndReadsNothing) {
    platform::MessageRecorder recorder;
    viewer->link.readHandle = -1;
    EXPECT_LT(viewer->SetParameters(), 0);
    EXPECT_TRUE(recorder.contains("WARNING in SetParameters: no input stream open\n"));
    viewer->link.readHandle = sv[1];
}

TEST_F(TokenTest, CameraTokenStoresAndAppliesASavedCamera) {
    const char* texts[7] = {"front", "2", "1", "1 2 3", "0.5 0.25", "0 0 0 1", "not defined"};
    out.WriteCameraToken(texts, false);
    EXPECT_EQ(run(), Tok::DONE);
    SavedCamera* cam = viewer->FindSavedCamera("front");
    ASSERT_NE(cam, nullptr);
    EXPECT_STREQ(viewer->currentCameraName, "front");
    Transform& view = *viewer->currentViewport->view;
    EXPECT_FLOAT_EQ(view.scale, 2.0f);
    EXPECT_FLOAT_EQ(view.pivot[2], 3.0f);
    EXPECT_FLOAT_EQ(view.pan[1], 0.25f);
    EXPECT_EQ(view.name, "main");

    // GUI_CAMERA applies a saved camera to the current viewport; an unknown
    // name changes nothing.
    viewer->currentViewport->view->reset();
    out.WriteStringToken(Tok::GUI_CAMERA, "nope", false);
    out.WriteStringToken(Tok::GUI_CAMERA, "front", false);
    EXPECT_EQ(run(), Tok::DONE);
    EXPECT_FLOAT_EQ(viewer->currentViewport->view->scale, 2.0f);
}

TEST_F(TokenTest, ObjectTokensWithoutACurrentObjectAreIgnored) {
    viewer->currentGraphic = nullptr;
    out.WriteIntToken(Tok::DRAW_FACES, 1, false);
    out.WriteStringToken(Tok::OBJECT_CLIP_PLANE, "ON", false);
    out.WriteIntToken(Tok::VIEWER_LOGO, 0, false);
    EXPECT_EQ(run(), Tok::DONE);
    if (viewer->logoGraphic) {
        EXPECT_EQ(viewer->logoState, LOGO_NONE);
    }
}

}  // namespace
