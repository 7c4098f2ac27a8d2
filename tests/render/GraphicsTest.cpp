// The abstract renderer's base: slot order, defaults, colour handling, light
// position, planes, pick identifiers and hits, and the matrix-built
// behaviours (mirror, placement) checked through a software matrix stack.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "render/MatrixStack.h"

namespace {

// ---- slot order -------------------------------------------------------------

// Vtable slot of a virtual member function (Itanium C++ ABI: the pointer
// field of a pointer to a virtual member holds 1 + the slot's byte offset).
template <typename F>
long slotOf(F member) {
    static_assert(sizeof(F) == 2 * sizeof(std::uintptr_t));
    std::uintptr_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    if ((raw[0] & 1) == 0) return -1;  // not virtual
    return static_cast<long>((raw[0] - 1) / sizeof(void*));
}

struct Slot {
    const char* name;
    long slot;
};
#define OP(name) Slot{#name, slotOf(&Graphics::name)}

// The operations in the order backends rely on (the destructor comes first
// and takes two slots: complete and deleting).
const Slot kTableOrder[] = {
    OP(setColour), OP(setColourValue), OP(getWindowSize), OP(setProjection), OP(setBackground),
    OP(chooseBuffer), OP(setLighting), OP(pickRectangle), OP(pickPolygon), OP(pickOnSegment),
    OP(pickDepthPoint), OP(isUsable), OP(finishFrame), OP(setViewport), OP(getViewport), OP(setScissor),
    OP(beginFrame), OP(endFrame), OP(drawAxis), OP(renderBorder), OP(paintBackground), OP(drawRuler),
    OP(enableClipPlane), OP(disableClipPlane), OP(reenableClipPlane), OP(findDepthNear), OP(projectToFloat),
    OP(projectFloat), OP(project), OP(unprojectFloat), OP(unprojectToFloat), OP(unproject), OP(rubberBand),
    OP(grabImage), OP(drawPoint), OP(drawLine), OP(drawSegmentValue), OP(drawFaceOutline), OP(drawPickPolygon),
    OP(drawMirrorPlane), OP(setColourMap), OP(coverage), OP(pushMatrix), OP(popMatrix), OP(loadIdentity),
    OP(scale), OP(translate), OP(rotate), OP(multMatrix), OP(applyPlacement), OP(setMirror), OP(reserved1),
    OP(beginOverlayList), OP(endOverlayList), OP(beginOverlayPass), OP(endOverlayPass), OP(beginOverlayCall),
    OP(endOverlayCall), OP(callOverlayItem), OP(deleteOverlayLists), OP(setCurrentObject),
    OP(compileOverlayLines), OP(emitOverlayLines), OP(compileText2D), OP(emitText2D), OP(compileLabel),
    OP(emitLabel), OP(compileImage), OP(emitImage), OP(afterObjectPass), OP(flushPass), OP(beginList),
    OP(endList), OP(compileText3D), OP(emitText3D), OP(compilePoints), OP(emitPoints), OP(compileLines),
    OP(emitLines), OP(compileFaces), OP(emitFaces), OP(deleteLists), OP(callList), OP(beginCall), OP(endCall),
    OP(beginCopy), OP(endCopy), OP(beginObjectPass), OP(endObjectPass), OP(beginPrimitiveList),
    OP(endPrimitiveList), OP(compilePrimitiveLines), OP(compilePrimitiveFaces), OP(deletePrimitiveLists),
    OP(beginPrimitiveCopy), OP(endPrimitiveCopy), OP(setPrimitiveColour), OP(endPrimitiveElement),
    OP(callPrimitiveList), OP(beginPrimitiveCall), OP(endPrimitiveCall), OP(beginPickCopy), OP(reserved2),
    OP(setPickElement), OP(endPickElement), OP(emitPrimitiveLines), OP(emitPrimitiveFaces), OP(drawPickVertex),
    OP(setCulling), OP(drawLine3D),
};
#undef OP

TEST(GraphicsInterface, VirtualOperationsSitInTheFixedSlotOrder) {
    constexpr int kOps = sizeof(kTableOrder) / sizeof(kTableOrder[0]);
    ASSERT_EQ(kOps + 1, Graphics::kNumOperations);
    EXPECT_STREQ(Graphics::kOperationNames[0], "~Graphics");
    for (int i = 0; i < kOps; ++i) {
        SCOPED_TRACE(kTableOrder[i].name);
        EXPECT_EQ(kTableOrder[i].slot, i + 2);
        EXPECT_STREQ(Graphics::kOperationNames[i + 1], kTableOrder[i].name);
    }
}

// ---- defaults ---------------------------------------------------------------

TEST(GraphicsBase, IsInstantiableWithItsDefaults) {
    Graphics g;
    int w = 0, h = 0;
    g.getWindowSize(&w, &h);
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
    EXPECT_TRUE(g.doubleBuffered);
    EXPECT_FALSE(g.noLists);
    EXPECT_TRUE(g.keepsLists());
    EXPECT_TRUE(g.pickable);
    EXPECT_EQ(g.polygonOffset, 2);
    EXPECT_EQ(g.alpha, 1.0f);
    EXPECT_EQ(g.creaseThreshold, 0.0f);
    EXPECT_EQ(g.lightAngleXToZ, 90.0f);
    EXPECT_EQ(g.lightAngleZToY, 90.0f);
    EXPECT_TRUE(g.lightPositionDirty);
    EXPECT_EQ(g.backgroundColour1[0] + g.backgroundColour1[1] + g.backgroundColour1[2], 0.0f);
    EXPECT_EQ(g.backgroundColour2[0] + g.backgroundColour2[1] + g.backgroundColour2[2], 3.0f);
    EXPECT_EQ(g.eyeOffset[2], -5.0f);
    EXPECT_TRUE(g.isUsable(0));

    // Base results that callers test.
    double p[3] = {1, 2, 3}, win[3];
    EXPECT_FALSE(g.project(p, win));
    EXPECT_FALSE(g.unproject(p, win));
    float pf[3] = {0, 0, 0}, q[3];
    EXPECT_FALSE(g.pickOnSegment(pf, pf, q));
    EXPECT_FALSE(g.pickDepthPoint(q));
    EXPECT_TRUE(g.grabImage(&w, &h).empty());
    EXPECT_EQ(w, 0);
    EXPECT_EQ(g.coverage(1.0f), 0.0f);
}

TEST(GraphicsBase, BackgroundIsClampedAndKindZeroRepeatsTheFirstColour) {
    Graphics g;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float c1[3] = {-0.5f, 0.25f, 7.0f}, c2[3] = {nan, 2.0f, 0.5f};
    g.setBackground(2, c1, c2);
    EXPECT_EQ(g.backgroundKind, 2);
    EXPECT_EQ(g.backgroundColour1[0], 0.0f);
    EXPECT_EQ(g.backgroundColour1[1], 0.25f);
    EXPECT_EQ(g.backgroundColour1[2], 1.0f);
    EXPECT_EQ(g.backgroundColour2[0], 0.0f);
    EXPECT_EQ(g.backgroundColour2[1], 1.0f);
    EXPECT_EQ(g.backgroundColour2[2], 0.5f);
    g.setBackground(0, c1, c2);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(g.backgroundColour2[c], g.backgroundColour1[c]);
}

// ---- colours ------------------------------------------------------------------

struct ColourRecorder : Graphics {
    std::vector<std::vector<float>> calls;  // r, g, b, alpha
    void setColour(const float rgb[3], float a) override {
        calls.push_back({rgb[0], rgb[1], rgb[2], a});
        currentColourValue = -1.0f;  // as a backend does
    }
};

// Map: 0 -> black, 1 -> red, 3 -> (0, 1, 1).
const float kMap[] = {0, 0, 0, 0, 1, 1, 0, 0, 3, 0, 1, 1};

TEST(GraphicsBase, ColourValueLookup) {
    struct Case {
        float value;
        float r, g, b;
    } cases[] = {
        {-5.0f, 0, 0, 0},    // placeholder, checked separately (no call)
        {0.0f, 0, 0, 0},     // first entry
        {0.5f, 0.5f, 0, 0},  // interpolated
        {1.0f, 1, 0, 0},     // exact
        {2.0f, 0.5f, 0.5f, 0.5f},
        {3.0f, 0, 1, 1},     // last
        {9.0f, 0, 1, 1},     // clamped above
    };
    for (const Case& c : cases) {
        if (c.value < 0) continue;
        SCOPED_TRACE(c.value);
        ColourRecorder g;
        g.setColourMap(kMap, 3);
        g.setColourValue(c.value);
        ASSERT_EQ(g.calls.size(), 1u);
        EXPECT_FLOAT_EQ(g.calls[0][0], c.r);
        EXPECT_FLOAT_EQ(g.calls[0][1], c.g);
        EXPECT_FLOAT_EQ(g.calls[0][2], c.b);
        EXPECT_FLOAT_EQ(g.calls[0][3], 1.0f);
    }
}

TEST(GraphicsBase, ColourValueCacheAndNoColour) {
    ColourRecorder g;
    g.setColourValue(1.0f);  // no map yet: nothing
    EXPECT_TRUE(g.calls.empty());
    g.setColourMap(kMap, 3);
    g.setColourValue(-1.0f);  // below 0: the current colour stays
    EXPECT_TRUE(g.calls.empty());
    g.setColourValue(1.0f);
    g.setColourValue(1.0f);  // same value and alpha: suppressed
    EXPECT_EQ(g.calls.size(), 1u);
    g.alpha = 0.5f;
    g.setColourValue(1.0f);  // alpha changed
    ASSERT_EQ(g.calls.size(), 2u);
    EXPECT_EQ(g.calls[1][3], 0.5f);
    // A new map gives the same value a new colour.
    const float blue[] = {0, 0, 0, 1};
    g.setColourMap(blue, 1);
    g.setColourValue(1.0f);
    ASSERT_EQ(g.calls.size(), 3u);
    EXPECT_EQ(g.calls[2][2], 1.0f);
}

TEST(GraphicsBase, OutputColourConversion) {
    struct Case {
        const char* name;
        int mode;
        bool reverse, pick;
        float bg1, bg2;  // grey levels of the two background colours
        float in[3], out[3];
    } cases[] = {
        {"colour unchanged", Graphics::ColourFull, false, false, 0, 1, {1, 0, 0}, {1, 0, 0}},
        {"grey red", Graphics::ColourGrey, false, false, 0, 1, {1, 0, 0}, {0.299f, 0.299f, 0.299f}},
        {"bw on black", Graphics::ColourBlackWhite, false, false, 0, 1, {0, 0.1f, 0}, {1, 1, 1}},
        {"bw black stays", Graphics::ColourBlackWhite, false, false, 0, 1, {0, 0, 0}, {0, 0, 0}},
        {"bw on white", Graphics::ColourBlackWhite, false, false, 1, 1, {1, 1, 0}, {0, 0, 0}},
        {"reverse white", Graphics::ColourFull, true, false, 1, 1, {1, 1, 1}, {0, 0, 0}},
        {"reverse dark bg2", Graphics::ColourFull, true, false, 1, 0.5f, {1, 1, 1}, {1, 1, 1}},
        {"reverse non-white", Graphics::ColourGrey, true, false, 1, 1, {1, 1, 0.5f}, {0.943f, 0.943f, 0.943f}},
        {"pick mode", Graphics::ColourGrey, true, true, 1, 1, {1, 1, 1}, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Graphics g;
        g.outputColourMode = c.mode;
        g.reverseVideo = c.reverse;
        g.colourPickMode = c.pick;
        const float b1[3] = {c.bg1, c.bg1, c.bg1}, b2[3] = {c.bg2, c.bg2, c.bg2};
        g.setBackground(1, b1, b2);
        float rgb[3] = {c.in[0], c.in[1], c.in[2]};
        g.convertColour(rgb);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb[i], c.out[i], 1e-6);
    }
    // The border's forced reverse video.
    Graphics g;
    const float white[3] = {1, 1, 1};
    g.setBackground(0, white, white);
    float rgb[3] = {1, 1, 1};
    g.convertColour(rgb, true);
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0.0f);
}

// ---- light, planes, viewport ----------------------------------------------------

TEST(GraphicsBase, LightPositionFromAngles) {
    struct Case {
        float a, b, x, y, z;
    } cases[] = {
        {90, 90, 0, 0, 100000},
        {0, 90, 100000, 0, 0},
        {0, 180, 0, 100000, 0},
        {63.434948f, 114.094841f, 40824.8f, 40824.8f, 81649.7f},
    };
    for (const Case& c : cases) {
        Graphics g;
        g.setLightAngles(c.a, c.b);
        float p[4];
        g.lightPosition(p);
        EXPECT_NEAR(p[0], c.x, 1.0);
        EXPECT_NEAR(p[1], c.y, 1.0);
        EXPECT_NEAR(p[2], c.z, 1.0);
        EXPECT_EQ(p[3], 0.0f);
    }
}

TEST(GraphicsBase, PlaneFromThreePoints) {
    double plane[4];
    const float a[3] = {0, 0, 2}, b[3] = {1, 0, 2}, c[3] = {0, 3, 2};
    ASSERT_TRUE(Graphics::planeFromPoints(a, b, c, plane));
    // Normal (0, 0, 3) scaled by the sum of absolute values: (0, 0, 1), d = -2.
    EXPECT_DOUBLE_EQ(plane[0], 0.0);
    EXPECT_DOUBLE_EQ(plane[1], 0.0);
    EXPECT_DOUBLE_EQ(plane[2], 1.0);
    EXPECT_DOUBLE_EQ(plane[3], -2.0);
    const float d[3] = {0, 0, 0}, e[3] = {1, 1, 0}, f[3] = {0, 2, 1};
    ASSERT_TRUE(Graphics::planeFromPoints(d, e, f, plane));
    EXPECT_DOUBLE_EQ(std::fabs(plane[0]) + std::fabs(plane[1]) + std::fabs(plane[2]), 1.0);
    // Collinear: all zero.
    const float g[3] = {2, 2, 0};
    EXPECT_FALSE(Graphics::planeFromPoints(d, e, g, plane));
    for (double v : plane) EXPECT_EQ(v, 0.0);
}

TEST(GraphicsBase, ViewportPixelsSnapToTheWindowEdge) {
    Graphics g;
    g.windowWidth = 101;
    g.windowHeight = 50;
    struct Case {
        float l, b, w, h;
        int x, y, pw, ph;
    } cases[] = {
        {0, 0, 0.5f, 0.5f, 0, 0, 51, 25},
        {0.5f, 0.5f, 0.49f, 0.5f, 51, 25, 50, 25},  // 51 + 49 + 2 > 101: width 50
        {0.25f, 0, 0.5f, 1, 25, 0, 51, 50},
    };
    for (const Case& c : cases) {
        g.setViewport(c.l, c.b, c.w, c.h);
        EXPECT_EQ(g.viewportPixels[0], c.x);
        EXPECT_EQ(g.viewportPixels[1], c.y);
        EXPECT_EQ(g.viewportPixels[2], c.pw);
        EXPECT_EQ(g.viewportPixels[3], c.ph);
        float l, b, w, h;
        g.getViewport(&l, &b, &w, &h);
        EXPECT_EQ(l, c.l);
        EXPECT_EQ(h, c.h);
    }
}

TEST(GraphicsBase, SmoothNormalHonoursTheCrease) {
    // Vertex 0 shared by three faces: up, tilted 45 degrees, sideways.
    const float s = float(M_SQRT1_2);
    const float normals[] = {0, 0, 1, s, 0, s, 1, 0, 0};
    const int start[] = {0};
    const int faces[] = {3, 0, 1, 2};
    float n[3];
    Graphics::smoothNormal(0, 0, normals, start, faces, 0.5f, n);  // 45 degrees in, 90 out
    const float expected[3] = {s, 0, 1 + s};
    float len = std::sqrt(expected[0] * expected[0] + expected[2] * expected[2]);
    EXPECT_NEAR(n[0], expected[0] / len, 1e-6);
    EXPECT_NEAR(n[1], 0.0f, 1e-6);
    EXPECT_NEAR(n[2], expected[2] / len, 1e-6);
    Graphics::smoothNormal(0, 0, normals, start, faces, 0.9f, n);  // nothing within
    EXPECT_NEAR(n[2], 1.0f, 1e-6);
}

// ---- picking state ------------------------------------------------------------------

TEST(GraphicsBase, PickIdentifiersRestartEveryFrame) {
    platform::MessageRecorder rec;
    Graphics g;
    EXPECT_EQ(g.allocatePickId(), 1);
    EXPECT_EQ(g.allocatePickId(), 2);
    g.beginFrame(0, true);
    EXPECT_EQ(g.pickCounter, 1);
    g.pickCounter = 65793;
    EXPECT_EQ(g.allocatePickId(), 65793);
    for (float c : g.pickColour) EXPECT_FLOAT_EQ(c, 1.0f / 255.0f);
    g.beginFrame(3, false);
    EXPECT_EQ(g.pickCounter, 1);
    EXPECT_EQ(g.viewportIndex, 3);

    g.pickCounter = Graphics::kPickIdLimit - 1;
    EXPECT_EQ(g.allocatePickId(), 16777215);
    EXPECT_TRUE(rec.entries().empty());
    EXPECT_EQ(g.allocatePickId(), 0);
    EXPECT_EQ(g.pickCounter, Graphics::kPickIdLimit);
    EXPECT_EQ(g.pickColour[0] + g.pickColour[1] + g.pickColour[2], 0.0f);
    EXPECT_TRUE(rec.contains("Error: Too many lines/faces/vertices to pick\n"));
}

TEST(GraphicsBase, PickHitsStaySortedAndBounded) {
    Graphics g;
    const float depths[] = {0.5f, 0.1f, 0.9f, 0.3f};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(g.addPickHit(PickRecord{depths[i], i, 1, -1}));
    ASSERT_EQ(g.hits().size(), 4u);
    EXPECT_EQ(g.hits()[0].objectId, 1);
    EXPECT_EQ(g.hits()[1].objectId, 3);
    EXPECT_EQ(g.hits()[3].objectId, 2);
    for (int i = 4; i < Graphics::kMaxPickHits; ++i) g.addPickHit(PickRecord{0.0f, i, 1, -1});
    EXPECT_FALSE(g.addPickHit(PickRecord{0.0f, 9999, 1, -1}));
    EXPECT_EQ(g.hits().size(), size_t(Graphics::kMaxPickHits));
    g.clearPickHits();
    EXPECT_TRUE(g.hits().empty());
}

// ---- call protocol ----------------------------------------------------------------------

struct CallRecorder : Graphics {
    std::vector<std::string> log;
    void setLighting(bool lit, bool specularOn) override {
        log.push_back(std::string("setLighting ") + (lit ? "1" : "0") + (specularOn ? "1" : "0"));
    }
    void setCulling(CullingMode m) override { log.push_back("setCulling " + std::to_string(m)); }
};

TEST(GraphicsBase, ListAndCallProtocol) {
    CallRecorder g;
    const TextureRecord* tex = reinterpret_cast<const TextureRecord*>(&g);  // any non-null record
    g.beginList(7, 2, true, tex);
    EXPECT_EQ(g.currentObject, 7);
    EXPECT_EQ(g.currentKind, 2);
    EXPECT_TRUE(g.textureInUse);
    g.endList();
    EXPECT_FALSE(g.textureInUse);
    g.beginList(7, 0, true, nullptr);  // no texture record: nothing to use
    EXPECT_FALSE(g.textureInUse);

    g.beginCopy(4);
    g.beginCall(9, 1, true, true, false, false, nullptr, CULL_FRONT);
    EXPECT_EQ(g.currentObject, 9);
    EXPECT_EQ(g.currentCopy, -1);
    EXPECT_TRUE(g.transparent);
    ASSERT_EQ(g.log.size(), 2u);
    EXPECT_EQ(g.log[0], "setLighting 10");
    EXPECT_EQ(g.log[1], "setCulling 2");
    g.beginCopy(3);
    g.setPrimitiveColour(12, 0.5f);
    EXPECT_EQ(g.currentCopy, 3);
    EXPECT_EQ(g.currentElement, 12);
    g.beginPickCopy(5);
    EXPECT_EQ(g.currentElement, -1);

    g.beginPrimitiveCall(9, 0, true, false, false, true, tex, CULL_NO, 0.25f);
    EXPECT_FLOAT_EQ(g.alpha, 0.75f);
    EXPECT_TRUE(g.textureInUse);
    g.endPrimitiveCall();
    EXPECT_EQ(g.alpha, 1.0f);
    EXPECT_FALSE(g.textureInUse);

    g.log.clear();
    g.beginOverlayCall(11, 3);
    EXPECT_EQ(g.currentObject, 11);
    EXPECT_EQ(g.currentKind, 3);
    ASSERT_EQ(g.log.size(), 2u);
    EXPECT_EQ(g.log[0], "setLighting 00");
    EXPECT_EQ(g.log[1], "setCulling 0");
    g.deleteOverlayLists(13, 2);
    EXPECT_EQ(g.currentObject, 13);
    g.log.clear();
    g.drawAxis(1);
    ASSERT_EQ(g.log.size(), 1u);
    EXPECT_EQ(g.log[0], "setCulling 0");
}

// ---- matrix-built behaviours -----------------------------------------------------------------

// A renderer whose matrix operations run on a software stack.
struct StackGraphics : Graphics {
    MatrixStack ms;
    int projectCalls = 0, unprojectCalls = 0;
    StackGraphics() { ms.setViewport(0, 0, 200, 100); }
    void pushMatrix() override { ms.push(); }
    void popMatrix() override { ms.pop(); }
    void loadIdentity() override { ms.loadIdentity(); }
    void scale(float x, float y, float z) override { ms.scale(x, y, z); }
    void translate(float x, float y, float z) override { ms.translate(x, y, z); }
    void rotate(float x, float y, float z, float angle) override { ms.rotate(angle, x, y, z); }
    void multMatrix(const float* m) override {
        if (m) ms.multMatrixFloat(m);
    }
    bool project(const double p[3], double w[3]) override {
        ++projectCalls;
        return MatrixStack::project(p[0], p[1], p[2], ms.matrix(1), ms.matrix(0), ms.viewportRect(), &w[0], &w[1],
                                    &w[2]);
    }
    bool unproject(const double w[3], double p[3]) override {
        ++unprojectCalls;
        return MatrixStack::unproject(w[0], w[1], w[2], ms.matrix(1), ms.matrix(0), ms.viewportRect(), &p[0],
                                      &p[1], &p[2]);
    }
    void apply(const float p[3], double out[3]) const {
        double in[4] = {p[0], p[1], p[2], 1}, r[4];
        MatrixStack::transform(ms.matrix(1), in, r);
        for (int i = 0; i < 3; ++i) out[i] = r[i] / r[3];
    }
};

TEST(GraphicsBase, FloatProjectionRoutesThroughTheDoubleOperations) {
    StackGraphics g;
    g.ms.setMode(MatrixStack::Projection);
    g.ms.ortho(-2, 2, -1, 1, -10, 10);
    g.ms.setMode(MatrixStack::ModelView);
    const double pd[3] = {1, 0.5, 0};
    float win[3], back[3];
    EXPECT_TRUE(g.projectToFloat(pd, win));
    EXPECT_EQ(g.projectCalls, 1);
    EXPECT_FLOAT_EQ(win[0], 150.0f);
    EXPECT_FLOAT_EQ(win[1], 75.0f);
    EXPECT_FLOAT_EQ(win[2], 0.5f);
    EXPECT_TRUE(g.unprojectFloat(win, back));
    EXPECT_EQ(g.unprojectCalls, 1);
    EXPECT_NEAR(back[0], 1.0f, 1e-6);
    EXPECT_NEAR(back[1], 0.5f, 1e-6);
}

TEST(GraphicsBase, SetMirrorReflectsInThePlane) {
    struct Case {
        const char* name;
        float p1[3], p2[3], p3[3];
    } cases[] = {
        {"plane x = 1", {1, 0, 0}, {1, 1, 0}, {1, 0, 1}},
        {"plane x = 1 reversed", {1, 0, 0}, {1, 0, 1}, {1, 1, 0}},
        {"plane y = -2", {0, -2, 0}, {0, -2, 1}, {1, -2, 0}},
        {"plane z = 3", {0, 0, 3}, {1, 0, 3}, {0, 1, 3}},
        {"oblique", {1, 2, 3}, {2, 2.5f, 3}, {1, 3, 4.5f}},
        {"oblique negative x normal", {1, 2, 3}, {1, 3, 4.5f}, {2, 2.5f, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StackGraphics g;
        g.lightPositionDirty = false;
        ASSERT_TRUE(g.setMirror(c.p1, c.p2, c.p3));
        EXPECT_TRUE(g.lightPositionDirty);
        double plane[4];
        ASSERT_TRUE(Graphics::planeFromPoints(c.p1, c.p2, c.p3, plane));
        double nlen = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        const float probes[][3] = {{0, 0, 0}, {5, -1, 2}, {c.p2[0], c.p2[1], c.p2[2]}, {-3, 4, 0.5f}};
        for (const auto& q : probes) {
            double m[3];
            g.apply(q, m);
            // The mirror image has the opposite signed distance and the same
            // foot point on the plane.
            double dq = (plane[0] * q[0] + plane[1] * q[1] + plane[2] * q[2] + plane[3]) / nlen;
            double dm = (plane[0] * m[0] + plane[1] * m[1] + plane[2] * m[2] + plane[3]) / nlen;
            EXPECT_NEAR(dm, -dq, 1e-5);
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(m[i] - dm * plane[i] / nlen, q[i] - dq * plane[i] / nlen, 1e-5);
        }
    }
    StackGraphics g;
    const float a[3] = {0, 0, 0}, b[3] = {1, 1, 1}, d[3] = {2, 2, 2};
    EXPECT_FALSE(g.setMirror(a, b, d));
    double m[16];
    MatrixStack::identity(m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(g.ms.matrix(1)[i], m[i]);
}

TEST(GraphicsBase, PlacementTurnsAndScalesAboutItsPoints) {
    StackGraphics g;
    const float axis[6] = {1, 1, 0, 1, 1, 5};  // parallel to z through (1, 1)
    const float move[3] = {10, 0, 0};
    const float centre[3] = {0, 0, 0}, factors[3] = {2, 2, 2};
    g.applyPlacement(90, axis, move, centre, factors);
    // The operations multiply on the right, so a point is moved first, then
    // scaled about the centre, then turned about the axis:
    // (1, 0, 0) -> (11, 0, 0) -> (22, 0, 0) -> about (1, 1) by 90: (2, 22, 0).
    const float p[3] = {1, 0, 0};
    double out[3];
    g.apply(p, out);
    EXPECT_NEAR(out[0], 2.0, 1e-5);
    EXPECT_NEAR(out[1], 22.0, 1e-5);
    EXPECT_NEAR(out[2], 0.0, 1e-5);
    // Without a scale or with a unit scale only the turn and the move apply.
    StackGraphics h;
    const float unit[3] = {1, 1, 1};
    h.applyPlacement(0, axis, move, centre, unit);
    h.apply(p, out);
    EXPECT_NEAR(out[0], 11.0, 1e-6);
    EXPECT_NEAR(out[1], 0.0, 1e-6);
}

}  // namespace
