// VRML output from the keys of a viewer in a window: the type key reaches
// VRML, the output key writes the world of the shown viewport.
#include <fstream>
#include <sstream>
#include <string>

#include "InputWindowFixture.h"
#include "output/OutputSettings.h"
#include "render/Graphics.h"

namespace {

using VrmlKeys = inputtest::InputWindowTest;

TEST_F(VrmlKeys, TypeKeyThenOutputKeyWriteTheWorld) {
    vkoGraphicObj* o = addSquare("sq");
    Graphics* const screen = viewer->renderer;
    for (int i = 0; i < OUTPUT_VRML; ++i) key('t');
    ASSERT_EQ(viewer->output.outputType, OUTPUT_VRML);
    EXPECT_STREQ(viewer->outputMessage, "\nOutput file: name is viewerOutput.wrl, type is VRML\n");
    key('p');
    std::ifstream in(dir + "/viewerOutput.wrl");
    ASSERT_TRUE(in.good());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().rfind("#VRML V2.0 utf8\n", 0), 0u);
    EXPECT_NE(text.str().find("DEF my3d" + std::to_string(o->objectid) + "IndexedFaceSet IndexedFaceSet {\n"),
              std::string::npos);
    EXPECT_NE(std::string(viewer->outputMessage).find("\nViewport 1 printed to file: viewerOutput.wrl\n"),
              std::string::npos);
    // The window's renderer draws again.
    EXPECT_EQ(viewer->renderer, screen);
}

}  // namespace
