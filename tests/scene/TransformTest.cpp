// View transform: masked application, change types and zoom limits, fit to
// bounds in both projections, undo ring, restore of good and bad lines, the
// NEW_VIEW block, the dump, the backdrop report and saved cameras.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/LowLevelFile.h"
#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "render/MatrixStack.h"
#include "scene/Quaternion.h"
#include "scene/Transform.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

// A renderer whose matrices live on a software stack, with the on-screen
// renderer's projection: orthographic -a..a x -1..1 (longer side widened),
// or a frustum seen from the eye offset (0, 0, -5).
struct StackGraphics : Graphics {
    MatrixStack ms;
    std::vector<std::string> ops;
    StackGraphics(int w, int h) {
        windowWidth = w;
        windowHeight = h;
        setViewport(0, 0, 1, 1);
    }
    void setViewport(float l, float b, float w, float h) override {
        Graphics::setViewport(l, b, w, h);
        ms.setViewport(viewportPixels[0], viewportPixels[1], viewportPixels[2], viewportPixels[3]);
    }
    void setProjection(bool orthographic) override {
        double a = double(viewportPixels[2]) / viewportPixels[3];
        double x = 1, y = 1;
        if (a > 1) x = a; else y = 1 / a;
        ms.setMode(MatrixStack::Projection);
        ms.loadIdentity();
        if (orthographic) {
            ms.ortho(-x, x, -y, y, -1000, 1000);
        } else {
            const double f = 0.1 / -eyeOffset[2];
            ms.frustum(-x * f, x * f, -y * f, y * f, 0.1, 100000);
        }
        ms.translate(-eyeOffset[0], -eyeOffset[1], eyeOffset[2]);
        ms.setMode(MatrixStack::ModelView);
    }
    void loadIdentity() override { ops.push_back("loadIdentity"); ms.loadIdentity(); }
    void scale(float x, float y, float z) override { ops.push_back("scale"); ms.scale(x, y, z); }
    void translate(float x, float y, float z) override { ops.push_back("translate"); ms.translate(x, y, z); }
    void multMatrix(const float* m) override {
        ops.push_back("multMatrix");
        if (m) ms.multMatrixFloat(m);
    }
    bool project(const double p[3], double w[3]) override {
        return MatrixStack::project(p[0], p[1], p[2], ms.matrix(1), ms.matrix(0), ms.viewportRect(), &w[0], &w[1],
                                    &w[2]);
    }
    void modelView(const double p[3], double out[3]) const {
        double in[4] = {p[0], p[1], p[2], 1}, r[4];
        MatrixStack::transform(ms.matrix(1), in, r);
        for (int i = 0; i < 3; ++i) out[i] = r[i];
    }
};

void expectNear3(const double* got, const double* want, double tol) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], tol) << "component " << i;
}

bool isValid(const Transform& t) {
    const float* q = t.rotation.value();
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(q[i])) return false;
    for (float v : {t.pan[0], t.pan[1], t.pivot[0], t.pivot[1], t.pivot[2]})
        if (!std::isfinite(v)) return false;
    return std::isfinite(t.scale) && t.scale > 0 && std::isfinite(t.defscale) && t.defscale > 0;
}

struct TransformWithViewer : ::testing::Test {
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
    }
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
};

// ---- quaternion -----------------------------------------------------------------

TEST(Quaternion, WorldAndLocalTurnsComposeOnOppositeSides) {
    auto applyTo = [](Quaternion& q, const float v[3], float out[3]) {
        float m[16];
        q.toMatrix(m);
        for (int r = 0; r < 3; ++r) out[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2];
    };
    const float x[3] = {1, 0, 0};
    float out[3];
    // Turn 90 about x, then 90 about the world y: x goes to -z.
    Quaternion world;
    world.rotateWorld(90, Quaternion::AxisX);
    world.rotateWorld(90, Quaternion::AxisY);
    applyTo(world, x, out);
    EXPECT_NEAR(out[0], 0, 1e-6);
    EXPECT_NEAR(out[2], -1, 1e-6);
    // About the turned (local) y, which now is the world z: x goes to +y.
    Quaternion local;
    local.rotateWorld(90, Quaternion::AxisX);
    local.rotateLocal(90, Quaternion::AxisY);
    applyTo(local, x, out);
    EXPECT_NEAR(out[1], 1, 1e-6);
    EXPECT_NEAR(out[2], 0, 1e-6);

    // Save, swap, restore; a zero quaternion draws as the identity.
    local.save();
    local.set(0, 0, 0, 0);
    applyTo(local, x, out);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    local.swap();
    applyTo(local, x, out);
    EXPECT_NEAR(out[1], 1, 1e-6);
    local.restore();  // saved now holds the zero quaternion
    EXPECT_EQ(local.value()[3], 0.0f);
}

// ---- apply ------------------------------------------------------------------------

TEST(Transform, ResetViewTurnsModelZUpTheScreen) {
    Transform t;
    StackGraphics g(100, 100);
    t.apply(&g, Transform::MaskAll);
    EXPECT_EQ(t.appliedMask, 7);
    const double z[3] = {0, 0, 1}, want[3] = {0, 1, 0};
    double out[3];
    g.modelView(z, out);
    expectNear3(out, want, 1e-6);
    const std::vector<std::string> order = {"loadIdentity", "scale", "translate", "multMatrix", "translate"};
    EXPECT_EQ(g.ops, order);
}

TEST(Transform, ApplyMasks) {
    Transform t;  // rotation (x, y, z) -> (x, z, -y)
    t.pan[0] = 0.5f;
    t.pan[1] = 0.25f;
    t.pivot[0] = 1;
    t.pivot[1] = 2;
    t.pivot[2] = 3;
    t.scale = 2;
    const double p[3] = {2, 3, 5};
    struct Case {
        int mask;
        double want[3];
    } cases[] = {
        {0, {2, 3, 5}}, {1, {1.5, 1.25, 2}}, {2, {2, 5, -3}}, {3, {1.5, 2.25, -1}}, {4, {4, 6, 10}}, {7, {3, 4.5, -2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        StackGraphics g(10, 10);
        g.ms.translate(9, 9, 9);  // apply starts from the identity
        t.apply(&g, c.mask);
        EXPECT_EQ(t.appliedMask, c.mask);
        double out[3];
        g.modelView(p, out);
        expectNear3(out, c.want, 1e-5);
    }
}

// ---- ModifyValues -----------------------------------------------------------------

TEST(Transform, ChangeTypes) {
    struct Case {
        const char* name;
        int type;
        float a, b, c, d;
        float pan[2], pivot[3], scale;
    } cases[] = {
        {"pan", 1, 0.5f, -1, 0, 0, {1.5f, 1}, {4, 5, 6}, 2},
        {"pivot", 2, 1, 2, 3, 0, {0, 0}, {1, 2, 3}, 2},
        {"travel", 3, 0.2f, 0.4f, 0, 2, {0.9f, 1.8f}, {4, 5, 6}, 4},
        {"travel still", 3, 0, 0, 0, 0.5f, {1, 2}, {4, 5, 6}, 1},
        {"zoom about point", 4, 0.5f, -0.5f, 0, 2, {0.75f, 2.25f}, {4, 5, 6}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transform t;
        t.pan[0] = 1;
        t.pan[1] = 2;
        t.pivot[0] = 4;
        t.pivot[1] = 5;
        t.pivot[2] = 6;
        t.scale = 2;
        t.ModifyValues(c.type, c.a, c.b, c.c, c.d);
        EXPECT_FLOAT_EQ(t.pan[0], c.pan[0]);
        EXPECT_FLOAT_EQ(t.pan[1], c.pan[1]);
        for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(t.pivot[i], c.pivot[i]);
        EXPECT_FLOAT_EQ(t.scale, c.scale);
        // Orthographic (no owner): travel does not turn the view.
        Transform reset;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(t.rotation.value()[i], reset.rotation.value()[i]);
    }

    // Rotation: x, then y, then z, each about the world axis.
    Transform t;
    t.ModifyValues(0, 90, 0, 0, 0);  // -90 + 90 about x: the identity
    EXPECT_NEAR(std::fabs(t.rotation.value()[3]), 1.0, 1e-6);
    t.ModifyValues(0, 0, 90, 90, 0);
    Quaternion q;
    q.rotateWorld(90, Quaternion::AxisY);
    q.rotateWorld(90, Quaternion::AxisZ);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(t.rotation.value()[i], q.value()[i], 1e-6);
}

TEST(Transform, IllegalChangeTypeWarnsAndChangesNothing) {
    platform::MessageRecorder rec;
    for (int type : {-1, 5, 7, 1000}) {
        Transform t;
        t.ModifyValues(type, 1, 1, 1, 2);
        Transform fresh;
        EXPECT_EQ(t.scale, 1.0f);
        EXPECT_EQ(t.pan[0], 0.0f);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(t.rotation.value()[i], fresh.rotation.value()[i]);
    }
    ASSERT_EQ(rec.entries().size(), 4u);
    EXPECT_EQ(rec.entries()[0].text, "WARNING in Transform::ModifyValues: Illegal type\n");
    EXPECT_EQ(rec.entries()[0].icon, platform::MessageIcon::Error);
}

TEST(Transform, NonFiniteChangesAreIgnored) {
    const float inf = INFINITY, nan = NAN;
    for (int type = 0; type <= 4; ++type) {
        Transform t;
        t.ModifyValues(type, nan, 0, 0, 1);
        t.ModifyValues(type, 0, inf, 0, 1);
        t.ModifyValues(type, 0.1f, 0.1f, 0, nan);
        EXPECT_TRUE(isValid(t)) << type;
    }
}

TEST_F(TransformWithViewer, ZoomLimits) {
    struct Case {
        const char* name;
        bool limit;
        int type;
        float d;
        float want;
    } cases[] = {
        {"zoom in, limited", true, 4, 10, 50000},
        {"zoom in, free", false, 4, 10, 3.4028236e19f},
        {"zoom out, limited", true, 4, 0.1f, 0.05f},
        {"zoom out, free", false, 4, 0.1f, 1.1754943e-19f},
        {"travel in, limited", true, 3, 10, 50000},
        {"travel in, free", false, 3, 10, 3.4028236e19f},
        {"travel out, limited", true, 3, 0.1f, 0.05f},
        {"travel out, free", false, 3, 0.1f, 1.1754943e-19f},
        {"zero factor, free", false, 4, 0, 1.1754943e-19f},
        {"negative factor, limited", true, 3, -3, 0.05f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        viewer->limitZoom = c.limit;
        Transform t(viewer, "main");
        for (int i = 0; i < 60; ++i) {
            t.ModifyValues(c.type, 0.3f, -0.2f, 0, c.d);
            ASSERT_TRUE(isValid(t));
        }
        EXPECT_FLOAT_EQ(t.scale, c.want);
    }
    // The zoom limits follow the default scale.
    viewer->limitZoom = true;
    Transform t(viewer, "main");
    t.defscale = 4;
    t.ModifyValues(4, 0, 0, 0, 1e9f);
    EXPECT_FLOAT_EQ(t.scale, 200000);
    // No owner: the limit is on.
    Transform orphan;
    orphan.ModifyValues(4, 0, 0, 0, 1e9f);
    EXPECT_FLOAT_EQ(orphan.scale, 50000);
}

TEST_F(TransformWithViewer, TravelTurnsOnlyInPerspective) {
    ASSERT_NE(viewer->currentViewport, nullptr);
    for (int ortho : {1, 0}) {
        viewer->currentViewport->isOrthographic = static_cast<unsigned char>(ortho);
        Transform t(viewer, "main");
        t.ModifyValues(3, 0.5f, 0, 0, 1);
        Quaternion want;
        want.rotateWorld(-90, Quaternion::AxisX);
        if (!ortho) want.rotateWorld(float(std::atan(0.5 / 5) * 180 / M_PI), Quaternion::AxisY);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(t.rotation.value()[i], want.value()[i], 1e-6) << ortho;
        EXPECT_FLOAT_EQ(t.pan[0], -0.5f);
    }
}

// ---- fit --------------------------------------------------------------------------

TEST(Transform, FitPutsTheBoxInsideTheViewportWithMargin) {
    struct Case {
        const char* name;
        bool ortho;
        int w, h;
        float vp[4];
        float bounds[6];
    } cases[] = {
        {"ortho wide", true, 400, 300, {0, 0, 1, 1}, {2, 3, -1, 0, 5, 6}},
        {"ortho tall sub-viewport", true, 400, 300, {0.5f, 0, 0.25f, 1}, {2, 3, -1, 0, 5, 6}},
        {"ortho flat box", true, 300, 300, {0, 0, 1, 1}, {0, 10, 0, 1, 0, 0}},
        {"perspective wide", false, 400, 300, {0, 0, 1, 1}, {2, 3, -1, 0, 5, 6}},
        {"perspective tall sub-viewport", false, 400, 300, {0, 0.5f, 0.25f, 0.5f}, {-0.5f, 0.5f, -0.5f, 0.5f, -0.5f, 0.5f}},
        {"perspective large", false, 640, 480, {0, 0, 1, 1}, {-100, 100, -100, 100, -100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StackGraphics g(c.w, c.h);
        g.setViewport(c.vp[0], c.vp[1], c.vp[2], c.vp[3]);
        g.setProjection(c.ortho);
        Transform t;
        t.ModifyValues(0, 30, 20, 10, 0);  // an oblique view
        t.fitToBounds(&g, c.ortho, c.bounds);
        EXPECT_FLOAT_EQ(t.scale, t.defscale);
        EXPECT_EQ(t.pan[0], 0.0f);
        EXPECT_FLOAT_EQ(t.pivot[0], (c.bounds[0] + c.bounds[1]) / 2);

        t.apply(&g, Transform::MaskAll);
        const int* r = g.ms.viewportRect();
        double cx = r[0] + r[2] / 2.0, cy = r[1] + r[3] / 2.0;
        double win[3];
        const double pivot[3] = {t.pivot[0], t.pivot[1], t.pivot[2]};
        ASSERT_TRUE(g.project(pivot, win));
        EXPECT_NEAR(win[0], cx, 1e-3);
        EXPECT_NEAR(win[1], cy, 1e-3);
        double fill = 0;  // largest corner offset as a fraction of the half size
        for (int corner = 0; corner < 8; ++corner) {
            const double p[3] = {c.bounds[(corner & 1) ? 1 : 0], c.bounds[(corner & 2) ? 3 : 2],
                                 c.bounds[(corner & 4) ? 5 : 4]};
            ASSERT_TRUE(g.project(p, win));
            double fx = std::fabs(win[0] - cx) / (r[2] / 2.0), fy = std::fabs(win[1] - cy) / (r[3] / 2.0);
            EXPECT_LE(fx, 1.0 / 1.1 + 1e-4);
            EXPECT_LE(fy, 1.0 / 1.1 + 1e-4);
            fill = std::max({fill, fx, fy});
        }
        // Filled: orthographic boxes reach the margin in their limiting
        // direction; the perspective estimate stays somewhat inside it.
        if (c.ortho)
            EXPECT_NEAR(fill, 1.0 / 1.1, 1e-3);
        else
            EXPECT_GT(fill, 0.7);
    }
}

TEST(Transform, FitWithoutWindowOrWithDegenerateBounds) {
    Graphics base;  // no window, no projection: only centre and scale by the extent
    Transform t;
    const float bounds[6] = {0, 4, 1, 2, -1, 1};
    t.fitToBounds(&base, true, bounds);
    EXPECT_FLOAT_EQ(t.scale, 0.25f);
    EXPECT_FLOAT_EQ(t.defscale, 0.25f);
    EXPECT_FLOAT_EQ(t.pivot[0], 2);
    EXPECT_FLOAT_EQ(t.pivot[1], 1.5f);
    EXPECT_FLOAT_EQ(t.pivot[2], 0);

    const float point[6] = {3, 3, 3, 3, 3, 3};
    for (bool ortho : {true, false}) {
        StackGraphics g(200, 100);
        g.setProjection(ortho);
        Transform p;
        p.fitToBounds(&g, ortho, point);
        EXPECT_TRUE(isValid(p));
        EXPECT_FLOAT_EQ(p.pivot[0], 3);
    }
    const float huge = 3e38f;
    const float wild[6] = {-huge, huge, 0, 0, 0, 0};
    Transform w;
    w.fitToBounds(&base, true, wild);
    EXPECT_TRUE(isValid(w));
}

// ---- undo ring ---------------------------------------------------------------------

struct Ring {
    std::vector<std::unique_ptr<Transform>> owned;
    Transform* ring[Transform::kUndoSlots];
    int start = 0, cursor = 0, end = 0;
    Ring() {
        for (auto& s : ring) {
            owned.push_back(std::make_unique<Transform>());
            s = owned.back().get();
        }
    }
    void push(const Transform& t) { Transform::UndoPush(ring, start, cursor, end, t); }
    bool undo(Transform& t) { return Transform::Undo(ring, start, cursor, end, t); }
    bool redo(Transform& t) { return Transform::Redo(ring, start, cursor, end, t); }
};

TEST(Transform, UndoAndRedo) {
    Ring ring;
    Transform t(nullptr, "main");
    EXPECT_FALSE(ring.undo(t));
    EXPECT_FALSE(ring.redo(t));
    EXPECT_EQ(t.scale, 1.0f);
    EXPECT_EQ(t.name, "main");

    t.scale = 2;
    ring.push(t);
    // Nothing was undone, so there is nothing to redo (the slot after the
    // newest holds no view).
    EXPECT_FALSE(ring.redo(t));
    EXPECT_EQ(t.scale, 2.0f);
    t.scale = 3;
    EXPECT_TRUE(ring.undo(t));
    EXPECT_EQ(t.scale, 2.0f);
    EXPECT_EQ(t.name, "main");
    EXPECT_FALSE(ring.undo(t));
    EXPECT_TRUE(ring.redo(t));
    EXPECT_EQ(t.scale, 3.0f);
    EXPECT_FALSE(ring.redo(t));
}

TEST(Transform, UndoRingKeepsTheNewestViewsAfterOverflow) {
    Ring ring;
    Transform t;
    for (int i = 1; i <= 60; ++i) {
        t.scale = float(i);
        ring.push(t);
    }
    t.scale = 1000;  // the view current before the first undo
    int undos = 0;
    while (ring.undo(t)) ++undos;
    EXPECT_EQ(undos, 48);
    EXPECT_EQ(t.scale, 13.0f);
    int redos = 0;
    while (ring.redo(t)) ++redos;
    EXPECT_EQ(redos, 48);
    EXPECT_EQ(t.scale, 1000.0f);
}

// ---- restore, save, dump ----------------------------------------------------------------

TEST(Transform, RestoreLines) {
    struct Case {
        const char* key;
        const char* value;
        bool ok;
        float scale, defscale, pan0;  // expected afterwards (start: 2, 3, 0.5)
    } cases[] = {
        {"defscale", "-2", true, 2, 1, 0.5f},
        {"defscale", "0", true, 2, 1, 0.5f},
        {"defscale", "0.25", true, 2, 0.25f, 0.5f},
        {"scale", "0", true, 1, 3, 0.5f},
        {"scale", "7;", true, 7, 3, 0.5f},
        {"scale", "1e39", false, 2, 3, 0.5f},
        {"scale", "nan", false, 2, 3, 0.5f},
        {"scale", "", false, 2, 3, 0.5f},
        {"scale", nullptr, false, 2, 3, 0.5f},
        {"scale", "1 2", false, 2, 3, 0.5f},
        {"scale ", "4", true, 4, 3, 0.5f},
        {"scale\t", "4", true, 4, 3, 0.5f},
        {"scaleX", "4", true, 2, 3, 0.5f},  // another key: ignored
        {"pan", "1", false, 2, 3, 0.5f},
        {"pan", "1 2 3", false, 2, 3, 0.5f},
        {"pan", "1 x", false, 2, 3, 0.5f},
        {"pan", "-1 2", true, 2, 3, -1},
        {"pivot point", "1 2", false, 2, 3, 0.5f},
        {"pivot point", "1 2 inf", false, 2, 3, 0.5f},
        {"rotation quaternion", "0 0 1", false, 2, 3, 0.5f},
        {"rotation xyz", "1 2 3 4", false, 2, 3, 0.5f},
        {"unknown key", "whatever", true, 2, 3, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + (c.value ? c.value : "(none)"));
        Transform t;
        t.scale = 2;
        t.defscale = 3;
        t.pan[0] = 0.5f;
        t.pivot[1] = 9;
        Transform before = t;
        EXPECT_EQ(t.restore(c.key, c.value), c.ok);
        EXPECT_FLOAT_EQ(t.scale, c.scale);
        EXPECT_FLOAT_EQ(t.defscale, c.defscale);
        EXPECT_FLOAT_EQ(t.pan[0], c.pan0);
        if (!c.ok) {
            EXPECT_EQ(t.pivot[1], before.pivot[1]);
            for (int i = 0; i < 4; ++i) EXPECT_EQ(t.rotation.value()[i], before.rotation.value()[i]);
        }
        EXPECT_TRUE(isValid(t));
    }

    Transform t;
    EXPECT_TRUE(t.restore("rotation xyz", "-90 0 0"));
    Transform reset;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(t.rotation.value()[i], reset.rotation.value()[i], 1e-7);
    EXPECT_TRUE(t.restore("rotation quaternion", "0.1 0.2 0.3 0.4"));
    EXPECT_FLOAT_EQ(t.rotation.value()[2], 0.3f);
    EXPECT_TRUE(t.restore("pivot point", "1 -2 3.5"));
    EXPECT_FLOAT_EQ(t.pivot[2], 3.5f);
    EXPECT_TRUE(t.restore("name", "front view  ;"));
    EXPECT_EQ(t.name, "front view");
}

std::string readFile(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

TEST(Transform, SavedBlockRestoresTheView) {
    Transform t(nullptr, "top\nview");  // a line break must not split the block
    t.ModifyValues(0, 10, 20, 30, 0);
    t.pan[0] = 0.125f;
    t.pan[1] = -2;
    t.pivot[0] = 1.5f;
    t.scale = 0.75f;
    t.defscale = 0.5f;
    const std::string path = ::testing::TempDir() + "transform_block.txt";
    int fd = platform::FileOpen(path.c_str(), platform::OpenMode::WriteTruncate);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(t.save(fd));
    platform::FileClose(fd);
    std::string text = readFile(path);

    char expected[512];
    const float* q = t.rotation.value();
    std::snprintf(expected, sizeof expected,
                  "#\nNEW_VIEW {\n\tname = top\n\tpivot point = 1.5 0 0\n\tscale = 0.75\n\tdefscale = 0.5\n"
                  "\tpan = 0.125 -2\n\trotation quaternion = %g %g %g %g\n}\n",
                  q[0], q[1], q[2], q[3]);
    EXPECT_EQ(text, expected);

    // Read it back line by line (key up to " = ", value after).
    Transform back;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.empty() || line[0] != '\t') continue;
        size_t eq = line.find(" = ");
        ASSERT_NE(eq, std::string::npos) << line;
        EXPECT_TRUE(back.restore(line.substr(1, eq - 1).c_str(), line.substr(eq + 3).c_str())) << line;
    }
    EXPECT_EQ(back.name, "top");
    EXPECT_FLOAT_EQ(back.pan[1], -2);
    EXPECT_FLOAT_EQ(back.scale, 0.75f);
    EXPECT_FLOAT_EQ(back.defscale, 0.5f);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(back.rotation.value()[i], q[i], 1e-5);
}

TEST(Transform, TextDump) {
    Transform t(nullptr, "main");
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buf, &size);
    t.dump(f, 2);
    std::fclose(f);
    std::string text(buf, size);
    std::free(buf);
    EXPECT_EQ(text,
              "  Transform:\n"
              "      name: main\n"
              "      pivot point: 0 0 0\n"
              "      scale: 1\n"
              "      defscale: 1\n"
              "      pan: 0 0\n"
              "      rotation quaternion: -0.707107 0 0 0.707107\n");
}

TEST(Transform, BackdropSettingReport) {
    platform::MessageRecorder rec;
    Transform t;
    t.reportBackdropSetting();
    ASSERT_EQ(rec.entries().size(), 1u);
    EXPECT_EQ(rec.entries()[0].icon, platform::MessageIcon::Warning);
    EXPECT_EQ(rec.entries()[0].text, "\nKRV_BACKGROUND_ROTATE=\"-1 0 0 -90\"\n\n");
}

// ---- saved cameras -------------------------------------------------------------------------

TEST_F(TransformWithViewer, SavedCamerasReplaceByNameInPlace) {
    SavedCamera::FreeAll(viewer);
    for (const char* name : {"a", "b", "c"}) SavedCamera::Add(viewer, new SavedCamera(viewer, name));
    EXPECT_EQ(viewer->numSavedCameras, 3);
    auto* replacement = new SavedCamera(viewer, "b");
    replacement->view.scale = 5;
    SavedCamera::Add(viewer, replacement);
    EXPECT_EQ(viewer->numSavedCameras, 3);
    std::string order;
    for (SavedCamera* c = viewer->savedCameras; c; c = c->next) order += c->view.name;
    EXPECT_EQ(order, "abc");
    EXPECT_EQ(SavedCamera::Find(viewer, "b"), replacement);
    EXPECT_EQ(SavedCamera::Find(viewer, "c"), viewer->savedCamerasTail);
    EXPECT_EQ(SavedCamera::Find(viewer, "d"), nullptr);
    SavedCamera::Add(viewer, new SavedCamera(viewer, "c"));  // replacing the tail
    EXPECT_EQ(viewer->savedCamerasTail->view.name, "c");
    EXPECT_EQ(viewer->savedCamerasTail->next, nullptr);
    SavedCamera::FreeAll(viewer);
    EXPECT_EQ(viewer->savedCameras, nullptr);
    EXPECT_EQ(viewer->savedCamerasTail, nullptr);
    EXPECT_EQ(viewer->numSavedCameras, 0);
}

}  // namespace
