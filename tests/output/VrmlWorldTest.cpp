// VRML worlds written by the viewport draw of a window-less viewer, checked
// as text where the exact form matters and read back by Coin, a real VRML
// reader, for everything else.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CoinWorld.h"
#include "TestSupport.h"
#include "output/GraphicsVRML.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using vrmltest::CoinWorld;
using vrmltest::readText;
using vrmltest::readWithCoin;

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

class VrmlWorld : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        viewer->WindowResized(800, 600);
        viewport = viewer->currentViewport;
        // The viewer's own objects (logo, frame rate) stay out of these worlds.
        viewport->objects.clear();
        viewport->isRulerVisibleFlag = 0;
        viewport->isAxisVisibleFlag = 0;
        dir = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    // A unit square of two triangles with two edges, in the current viewport.
    vkoGraphicObj* addSquare(const char* name) {
        viewer->NewGraphic(name);
        vkoGraphicObj* o = viewer->currentGraphic;
        const float v[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
        const int faces[] = {3, 0, 1, 2, 3, 0, 2, 3};
        const int segs[] = {0, 1, 1, 2};
        o->appendMesh(4, v, 2, segs, 2, 8, faces);
        GraphicData& d = *o->data;
        d.computeBounds();
        d.computeFaceNormals();
        d.buildAdjacency();
        o->faces = true;
        return o;
    }

    static void setColourMap(vkoGraphicObj* o) {
        auto map = std::make_unique<ColourMapRecord>();
        map->numEntries = 2;
        map->entries = {0, 1, 0, 0, 1, 0, 0, 1};  // 0 red .. 1 blue
        o->data->colourMap = std::move(map);
    }

    // Draws the viewport into a world file; returns its text.
    std::string write(const std::string& file = "world.wrl") {
        path = dir + "/" + file;
        GraphicsVRML r(*viewer->renderer, path);
        viewport->needsRedraw = 1;
        EXPECT_TRUE(viewport->draw(&r, false));
        EXPECT_TRUE(r.written());
        return readText(path);
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    vkoViewport* viewport = nullptr;
    std::string dir;
    std::string path;
};

TEST_F(VrmlWorld, EmptySceneHasTheButtonsAndReads) {
    const float grey[3] = {0.25f, 0.5f, 0.75f};
    viewer->renderer->setBackground(0, grey, grey);
    const std::string text = write();
    EXPECT_EQ(text.rfind("#VRML V2.0 utf8\nWorldInfo {\ntitle   \"KRV Viewer\"\n", 0), 0u);
    EXPECT_NE(text.find("fieldOfView 0.394791\n"), std::string::npos);  // 2 atan2(1, 5)
    EXPECT_NE(text.find("position 0 0 5\n"), std::string::npos);
    EXPECT_NE(text.find("skyColor 0.25 0.5 0.75\n"), std::string::npos);
    EXPECT_NE(text.find("DEF myFaceButton myButton {\ntranslation -0.04 -0.049 -0.25\nstring [ \"Faces\" ]\n"
                        "size 2.45\n}\n"),
              std::string::npos);
    // The light reaches the scene (a point light's default radius is 100).
    EXPECT_NE(text.find("location 6.12323e-12 0 100000\nradius 200000\n}\n"), std::string::npos);
    EXPECT_NE(text.find("state = state + 1;\nif (state == 4) state = 0;\nfaceChoice = state;\n"), std::string::npos);
    EXPECT_NE(text.find("DEF myDefaultLineColor Appearance {\nmaterial Material {\ndiffuseColor 0 0 0\n"
                        "emissiveColor 1 1 1\n}\n}\n"),
              std::string::npos);
    const CoinWorld w = readWithCoin(path);
    EXPECT_TRUE(w.read) << w.errors;
    EXPECT_EQ(w.errors, "");
    EXPECT_TRUE(w.faceIndexCounts.empty());
}

TEST_F(VrmlWorld, ObjectDrawnTwiceDefinesItsNodesOnce) {
    vkoGraphicObj* o = addSquare("a");
    o->vertices = true;
    o->numInstances = 2;
    o->replicationTrans[0] = 2.0f;
    setColourMap(o);
    o->data->faceColour = o->data->vertexColour = -1.0f;
    o->data->faceColours = {0.0f, 1.0f};
    // A mirrored pass is not exported.
    o->mirrorPlaneVisible = true;
    const float p2[3] = {0, 1, 0}, p3[3] = {0, 0, 1};
    std::copy(p2, p2 + 3, o->mirrorPlanePt2);
    std::copy(p3, p3 + 3, o->mirrorPlanePt3);
    const std::string text = write();
    const std::string id = std::to_string(o->objectid);
    for (const char* node : {"Pts Coordinate", "IndexedFaceSet IndexedFaceSet", "IndexLineSet IndexedLineSet"})
        EXPECT_EQ(occurrences(text, "DEF my3d" + id + node), 1) << node;
    EXPECT_EQ(occurrences(text, "geometry USE my3d" + id + "IndexLineSet\n"), 1);
    for (int copy = 0; copy < 2; ++copy)
        for (const char* kind : {"FaceSwitch", "LineSwitch", "PointSwitch"})
            EXPECT_EQ(occurrences(text, "DEF my3d" + id + "_" + std::to_string(copy) + "_-1" + kind + " Switch"), 1)
                << copy << kind;
    // Red and blue faces, one colour per face.
    EXPECT_NE(text.find("colorPerVertex FALSE\ncolor Color {\ncolor [\n1 0 0,\n0 0 1\n]\n}\n"), std::string::npos);
    std::vector<double> xs;
    const std::regex copyTransform("Transform \\{\nscale [^\n]*\ntranslation ([-0-9.e]+) ");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), copyTransform); it != std::sregex_iterator(); ++it)
        xs.push_back(std::stod((*it)[1]));
    ASSERT_EQ(xs.size(), 6u);  // faces, lines and points of two copies, no mirrored ones

    const CoinWorld w = readWithCoin(path);
    ASSERT_TRUE(w.read) << w.errors;
    EXPECT_EQ(w.errors, "");
    EXPECT_EQ(w.faceIndexCounts, std::vector<int>{8});
    EXPECT_EQ(w.lineIndexCounts, std::vector<int>{6});
    EXPECT_EQ(w.switches, 6);
    EXPECT_EQ(w.spheres, 8);  // four points per copy
}

TEST_F(VrmlWorld, FaceSwitchStartsOnTheChoiceOfTheLighting) {
    struct Case {
        bool lighting;
        float transparency;
        int choice;
    };
    for (const Case c : {Case{false, 0.0f, 3}, Case{true, 0.0f, 1}, Case{true, 0.5f, 2}, Case{false, 0.5f, 3}}) {
        viewport->objects.clear();
        vkoGraphicObj* o = addSquare(c.transparency > 0 ? "glass" : "plain");
        o->lighting = c.lighting;
        o->transparent = c.transparency > 0;
        o->transparencyLevel = c.transparency;
        const std::string text = write();
        const std::string name = "my3d" + std::to_string(o->objectid) + "_0_-1FaceSwitch";
        EXPECT_NE(text.find("DEF " + name + " Switch {\nROUTE myFaceScript.faceChoice TO " + name +
                            ".whichChoice\nwhichChoice " + std::to_string(c.choice) + "\n"),
                  std::string::npos)
            << c.lighting << " " << c.transparency;
        if (c.transparency > 0) {
            EXPECT_NE(text.find("transparency 0.5\n"), std::string::npos);
        }
        const CoinWorld w = readWithCoin(path);
        EXPECT_TRUE(w.read) << w.errors;
        EXPECT_EQ(w.errors, "");
    }
}

TEST_F(VrmlWorld, PlacedObjectTurnsAboutItsAxisPointAsOnTheScreen) {
    vkoGraphicObj* o = addSquare("placed");
    o->viewTransformMask = 0;  // the placement alone, without the view
    o->offsetAngle = 90.0f;
    const float axis[6] = {1, 0, 0, 1, 0, 1};  // z through (1, 0, 0)
    std::copy(axis, axis + 6, o->offsetRotAxis);
    const std::string text = write();
    // The origin turns about (1, 0, 0) to (1, -1, 0).
    EXPECT_NE(text.find("Transform {\nscale 1 1 1\ntranslation 1 -1 0\nrotation 0 0 1 1.5708\n"), std::string::npos);
}

TEST_F(VrmlWorld, PointSphereRadiusFollowsSizeAndScale) {
    vkoGraphicObj* o = addSquare("p");
    o->faces = false;
    o->lines = false;
    o->vertices = true;
    o->pointSize = 7.0f;
    viewport->view->scale = 0.5f;
    const std::string text = write();
    EXPECT_EQ(occurrences(text, "geometry Sphere {\nradius 0.02\n}\n"), 4);
    EXPECT_EQ(readWithCoin(path).spheres, 4);
}

TEST_F(VrmlWorld, TextsAreEscapedAndBrokenAsTheFontBreaksThem) {
    vkoGraphicObj* o = addSquare("t");
    auto texts = std::make_unique<TextsRecord>();
    texts->numTexts = 2;
    texts->strings = {"say \"hi\" to C:\\dir", "first<BR>sec<COLOR=ff0000>o</COLOR>nd"};
    texts->positions = {0.5f, 0.5f, 0.0f, 0.25f, 0.75f, 0.0f};
    texts->heights = {0.05f, 0.05f};
    texts->alignments = {1, 2};
    texts->font = 1;
    texts->kind = 0;
    o->data->texts = std::move(texts);
    const std::string text = write();
    EXPECT_NE(text.find("string [\n\"say \\\"hi\\\" to C:\\\\dir\"\n]\n"), std::string::npos);
    EXPECT_NE(text.find("string [\n\"first\",\n\"second\"\n]\n"), std::string::npos);
    EXPECT_NE(text.find("justify \"MIDDLE\"\n"), std::string::npos);
    EXPECT_NE(text.find("justify \"END\"\n"), std::string::npos);
    EXPECT_NE(text.find("translation -0.5 0.5 0\nscale 0.12 0.142 0.1\n"), std::string::npos);
    EXPECT_EQ(occurrences(text, "DEF myStaticOverlay0Transform Transform {\n"), 1);
    const CoinWorld w = readWithCoin(path);
    ASSERT_TRUE(w.read) << w.errors;
    EXPECT_EQ(w.errors, "");
    EXPECT_EQ(w.texts, 2 + 3);  // two texts and the three button labels
}

// Everything a scene can hold in one world: Coin must read it without a
// complaint and find each item's geometry.
TEST_F(VrmlWorld, EveryKindOfItemReadsBack) {
    vkoGraphicObj* mesh = addSquare("a_mesh");
    setColourMap(mesh);
    mesh->data->faceColour = mesh->data->vertexColour = -1.0f;
    mesh->data->vertexColours = {0.0f, 0.5f, 1.0f, 0.5f};
    mesh->lighting = true;
    auto texts3 = std::make_unique<TextsRecord>();
    texts3->numTexts = 1;
    texts3->strings = {"corner"};
    texts3->positions = {1, 1, 0};
    texts3->heights = {0.1f};
    texts3->kind = 1;
    mesh->data->texts = std::move(texts3);
    mesh->overlay = true;

    vkoGraphicObj* textured = addSquare("b_textured");
    auto tex = std::make_unique<TextureRecord>();
    tex->width = 2;
    tex->height = 2;
    tex->pixels = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    tex->kind = TEXTURE_PLANAR;
    textured->data->texture = std::move(tex);

    vkoGraphicObj* backdrop = addSquare("c_backdrop");
    auto back = std::make_unique<TextureRecord>(*textured->data->texture);
    back->kind = TEXTURE_BACKDROP_FIXED;
    backdrop->data->texture = std::move(back);

    viewer->NewGraphic("d_overlay");
    vkoGraphicObj* overlay = viewer->currentGraphic;
    GraphicData& od = overlay->ensureData();
    od.numOverlays = 1;
    od.overlayPoints = {-0.5f, -0.5f, 0, 0.5f, 0.5f, 0};
    od.overlaySegs = {0, 1};
    od.overlayColours = {0.5f};
    setColourMap(overlay);
    auto label = std::make_unique<LabelRecord>();
    label->position[0] = label->position[1] = 0.2f;
    label->size = 0.1f;
    label->numPoints = 3;
    label->points = {0, 0, 1, 0, 1, 1};
    label->numSegs = 1;
    label->segs = {0, 2};
    label->numFaces = 1;
    label->faceEntries = {3, 0, 1, 2};
    label->numFaceEntries = 4;
    label->faceColour = 1.0f;
    label->frameBox = true;
    label->numTexts = 1;
    label->textStrings = {"L"};
    label->textPositions = {0.5f, 0.5f};
    label->textSize = 0.2f;
    od.label = std::move(label);
    auto image = std::make_unique<ImageRecord>();
    image->width = 2;
    image->height = 1;
    image->pixels = {10, 20, 30, 255, 40, 50, 60, 128};
    image->position[0] = image->position[1] = 0.5f;
    od.image = std::move(image);

    viewer->NewGraphic("e_glyphs");
    vkoGraphicObj* glyphs = viewer->currentGraphic;
    PrimitiveRecord& p = glyphs->ensureData().primitive;
    p.type = 1;
    p.numInstances = 2;
    p.colours = {0.0f, 1.0f};
    p.scales = {1.0f, 2.0f};
    p.positions = {0, 0, 0, 3, 0, 0};
    p.frames = std::vector<float>(12, 0.0f);
    p.shape.numVertices = 3;
    p.shape.vertexCoords = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    p.shape.numFaces = 1;
    p.shape.numFaceEntries = 4;
    p.shape.faceEntries = {3, 0, 1, 2};
    p.shape.faceNormals = {0, 0, 1};
    p.shape.numLineSegs = 1;
    p.shape.lineSegs = {0, 1};
    glyphs->faces = true;
    setColourMap(glyphs);

    const std::string text = write();
    const std::string backId = std::to_string(backdrop->objectid), glyphId = std::to_string(glyphs->objectid);
    EXPECT_EQ(occurrences(text, "DEF my3d" + std::to_string(textured->objectid) + "Txtre PixelTexture {\nimage 2 2 3\n"
                                "0xff0000 0x00ff00 0x0000ff 0xffffff \nrepeatS FALSE\n"),
              1);
    EXPECT_NE(text.find("DEF myBackdropTransform Transform {\n"), std::string::npos);
    EXPECT_NE(text.find("DEF my3d" + backId + "_0_-1BackdropSwitch Switch {\n"), std::string::npos);
    EXPECT_NE(text.find("image 2 1 4\n0x0a141eff 0x28323c80 \n"), std::string::npos);
    EXPECT_EQ(occurrences(text, "DEF myObj" + glyphId + "IndexedFaceSet"), 1);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(occurrences(text, "DEF myObj" + glyphId + "_0_" + std::to_string(i) + "FaceSwitch"), 1);
        EXPECT_EQ(occurrences(text, "DEF myObj" + glyphId + "_0_" + std::to_string(i) + "LineSwitch"), 1);
    }
    EXPECT_NE(text.find("DEF my2d" + std::to_string(overlay->objectid) + "IndexedFaceSet"), std::string::npos);

    const CoinWorld w = readWithCoin(path);
    ASSERT_TRUE(w.read) << w.errors;
    EXPECT_EQ(w.errors, "");
    // Face sets: mesh, textured, backdrop (its first face again, mirrored),
    // glyph template, label, image.
    std::multiset<int> faces(w.faceIndexCounts.begin(), w.faceIndexCounts.end());
    EXPECT_EQ(faces, (std::multiset<int>{8, 8, 12, 4, 4, 5}));
    // Lines: the edges of the three squares, glyph template, overlay line,
    // label line, label frame.
    std::multiset<int> lines(w.lineIndexCounts.begin(), w.lineIndexCounts.end());
    EXPECT_EQ(lines, (std::multiset<int>{6, 6, 6, 3, 3, 3, 12}));
}

TEST_F(VrmlWorld, FailedWritesLeaveNoFileOrKeepTheEarlierOne) {
    // A directory that cannot be opened: no frame, no file.
    {
        std::ofstream(dir + "/plain") << "x";
        GraphicsVRML r(*viewer->renderer, dir + "/plain/world.wrl");
        viewport->needsRedraw = 1;
        EXPECT_FALSE(viewport->draw(&r, false));
        EXPECT_FALSE(r.written());
    }
    {
        GraphicsVRML r(*viewer->renderer, "");
        EXPECT_FALSE(r.beginFrame(0, true));
    }
    // A full disk in the middle of a world keeps the earlier good world.
    addSquare("a");
    viewer->renderer->standAlone = true;
    const std::string good = write();
    EXPECT_EQ(std::string(viewer->outputMessage), "\nViewport 1 printed to file: " + path + "\n");
    vkoGraphicObj* big = addSquare("b_big");
    auto tex = std::make_unique<TextureRecord>();
    tex->width = tex->height = 256;
    tex->pixels.assign(size_t(256 * 256 * 4), 7);
    tex->kind = TEXTURE_PLANAR;
    big->data->texture = std::move(tex);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    viewer->outputMessage[0] = 0;
    {
        GraphicsVRML r(*viewer->renderer, path);
        viewport->needsRedraw = 1;
        viewport->draw(&r, false);
        EXPECT_FALSE(r.written());
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(readText(path), good);
    EXPECT_STREQ(viewer->outputMessage, "");
}

}  // namespace
