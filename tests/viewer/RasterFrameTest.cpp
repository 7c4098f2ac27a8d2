// Off-screen raster output through the output control on the software
// renderer, in a viewer without a window: the size with and without
// antialias, the renderer and drawing state put back, a size that cannot be
// held refused, and the headless job's file types.
#include <gtest/gtest.h>

#include <QImage>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/RasterFrame.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

class RasterOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        // One red square filling the middle of the view.
        viewer->NewGraphic("square");
        vkoGraphicObj* o = viewer->currentGraphic;
        const float v[] = {-1, 0, -1, 1, 0, -1, 1, 0, 1, -1, 0, 1};
        const int f[] = {4, 0, 1, 2, 3};
        o->appendMesh(4, v, 0, nullptr, 1, 5, f);
        o->data->computeBounds();
        o->data->computeFaceNormals();
        o->data->buildAdjacency();
        o->faces = true;
        o->setSolidColour(1, 0, 0);
        dir = testsupport::ScratchDir(std::string("raster_output_") +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    vkoViewer* viewer = nullptr;
    std::unique_ptr<krvViewer> box;
    std::string dir;
};

TEST_F(RasterOutputTest, WritesTheSceneAtTheRequestedSizeWithAndWithoutAntialias) {
    Graphics* before = viewer->renderer;
    const bool suspended = viewer->drawingSuspended;
    for (bool antialias : {false, true}) {
        SCOPED_TRACE(antialias);
        viewer->output.outputAntialias = antialias;
        const std::string path = dir + (antialias ? "/aa.png" : "/plain.png");
        ASSERT_EQ(rasterframe::WriteOutputFile(*viewer, path, 60, 40), 0);
        QImage image(QString::fromStdString(path));
        ASSERT_EQ(image.width(), 60);
        ASSERT_EQ(image.height(), 40);
        // The square is in the middle, the corners show the background.
        EXPECT_GT(qRed(image.pixel(30, 20)), 100);
        EXPECT_EQ(qGreen(image.pixel(30, 20)), 0);
        EXPECT_EQ(qRed(image.pixel(2, 2)), 0);
        EXPECT_EQ(viewer->renderer, before);
        EXPECT_EQ(viewer->drawingSuspended, suspended);
    }
}

TEST_F(RasterOutputTest, ASizeWhoseStoreCannotBeHeldWritesNothing) {
    platform::MessageRecorder messages;
    Graphics* before = viewer->renderer;
    viewer->output.outputAntialias = true;
    const std::string path = dir + "/huge.png";
    EXPECT_EQ(rasterframe::WriteOutputFile(*viewer, path, 15000, 15000), 1);
    EXPECT_EQ(viewer->renderer, before);
    EXPECT_FALSE(QImage(QString::fromStdString(path)).width() > 0);
    ASSERT_EQ(messages.entries().size(), 1u);
    // The output control refuses it first, naming the size asked for.
    EXPECT_NE(messages.entries()[0].text.find("15000 x 15000"), std::string::npos) << messages.entries()[0].text;
}

TEST(RasterOutputTypes, OutputTypeFollowsTheExtension) {
    EXPECT_EQ(rasterframe::OutputTypeOfFile("a/b.png"), OUTPUT_PNG);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("B.JPEG"), OUTPUT_JPG);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("x.bmp"), OUTPUT_BMP);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("x.wrl"), OUTPUT_VRML);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("dir.v2/name"), -1);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("x.tiff"), -1);
}

}  // namespace
