// One frame drawn off-screen by the raster renderer: the size with and
// without antialias, the renderer and drawing state put back, a size that
// cannot be held refused, and output types by file extension.
#include <gtest/gtest.h>

#include <memory>

#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/RasterFrame.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

class RasterFrameTest : public ::testing::Test {
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
        viewer->drawingSuspended = true;
    }
    vkoViewer* viewer = nullptr;
    std::unique_ptr<krvViewer> box;
};

TEST_F(RasterFrameTest, DrawsTheSceneAtTwiceTheSizeWithAntialiasAndPutsTheRendererBack) {
    Graphics* before = viewer->renderer;
    for (bool antialias : {false, true}) {
        SCOPED_TRACE(antialias);
        RasterImage image;
        ASSERT_TRUE(rasterframe::RenderFrame(*viewer, 60, 40, antialias, 1, image));
        const int k = antialias ? 2 : 1;
        EXPECT_EQ(image.width, 60 * k);
        EXPECT_EQ(image.height, 40 * k);
        EXPECT_EQ(image.antialiased, antialias);
        ASSERT_EQ(image.pixels.size(), size_t(60 * k) * 40 * k * 3);
        // The square is in the middle, the corners show the background.
        const unsigned char* centre = &image.pixels[3 * (size_t(20 * k) * 60 * k + 30 * k)];
        EXPECT_GT(centre[0], 100);
        EXPECT_EQ(centre[1], 0);
        EXPECT_EQ(viewer->renderer, before);
        EXPECT_TRUE(viewer->drawingSuspended);
    }
}

TEST_F(RasterFrameTest, ASizeThatCannotBeHeldIsRefused) {
    platform::MessageRecorder messages;
    Graphics* before = viewer->renderer;
    RasterImage image;
    EXPECT_FALSE(rasterframe::RenderFrame(*viewer, 1500000, 1500000, true, 1, image));
    EXPECT_TRUE(image.pixels.empty());
    EXPECT_EQ(viewer->renderer, before);
    ASSERT_EQ(messages.entries().size(), 1u);
    EXPECT_NE(messages.entries()[0].text.find("3000000 x 3000000"), std::string::npos);
}

TEST(RasterFrameTypes, OutputTypeFollowsTheExtension) {
    EXPECT_EQ(rasterframe::OutputTypeOfFile("a/b.png"), OUTPUT_PNG);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("B.JPEG"), OUTPUT_JPG);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("x.bmp"), OUTPUT_BMP);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("x.wrl"), OUTPUT_VRML);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("dir.v2/name"), -1);
    EXPECT_EQ(rasterframe::OutputTypeOfFile("x.tiff"), -1);
}

}  // namespace
