// Software matrix stack: builders, stack, inversion, projection (checked
// against GLU's own gluProject / gluUnProject on the same matrices) and the
// rotation-to-axis conversion.
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/MessageSink.h"
#include "render/MatrixStack.h"

namespace {

constexpr double kPi = 3.141592653589793;

bool isIdentity(const double* m) {
    for (int i = 0; i < 16; ++i)
        if (m[i] != ((i % 5 == 0) ? 1.0 : 0.0)) return false;
    return true;
}

void expectMatrixNear(const double* a, const double* b, double tol) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

// Window coordinates agree when they match to single precision relative to
// their size (window x/y are pixels, z is 0..1).
void expectFloatClose(double got, double want) {
    EXPECT_NEAR(got, want, 4e-6 * std::max(1.0, std::fabs(want))) << "want " << want;
}

TEST(MatrixStack, FreshStackPopReportsAndKeepsIdentity) {
    platform::MessageRecorder rec;
    MatrixStack s;
    EXPECT_EQ(s.getMode(), MatrixStack::ModelView);
    s.pop();
    EXPECT_TRUE(rec.contains("PopMatrix: No more matrices\n"));
    EXPECT_EQ(s.depth(), 1);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(isIdentity(s.matrix(i)));
    int vp[4];
    s.getViewport(vp);
    EXPECT_EQ(vp[0] | vp[1] | vp[2] | vp[3], 0);
}

TEST(MatrixStack, PushCopiesAllThreeMatricesAndPopRestoresThem) {
    platform::MessageRecorder rec;
    MatrixStack s;
    s.setMode(MatrixStack::Projection);
    s.ortho(-2, 2, -1, 1, -10, 10);
    s.setMode(MatrixStack::Texture);
    s.scale(2, 3, 4);
    s.setMode(MatrixStack::ModelView);
    s.rotate(30, 1, 1, 0);
    double before[3][16];
    for (int i = 0; i < 3; ++i) s.getMatrix(i, before[i]);

    s.push();
    for (int i = 0; i < 3; ++i) expectMatrixNear(s.matrix(i), before[i], 0.0);  // the copy
    s.translate(1, 0, 0);
    s.setMode(MatrixStack::Projection);
    s.loadIdentity();
    s.setMode(MatrixStack::Texture);
    s.rotate(90, 0, 0, 1);
    s.pop();
    for (int i = 0; i < 3; ++i) expectMatrixNear(s.matrix(i), before[i], 0.0);
    // The selected matrix follows the pop: further changes hit the restored node.
    s.loadIdentity();
    EXPECT_TRUE(isIdentity(s.matrix(MatrixStack::Texture)));
    EXPECT_TRUE(rec.entries().empty());
}

TEST(MatrixStack, RunawayPushIsRefusedWithMessage) {
    platform::MessageRecorder rec;
    MatrixStack s;
    for (int i = 0; i < MatrixStack::kMaxDepth + 5; ++i) s.push();
    EXPECT_EQ(s.depth(), MatrixStack::kMaxDepth);
    EXPECT_TRUE(rec.contains("PushMatrix: Too many matrices\n"));
    for (int i = 0; i < MatrixStack::kMaxDepth; ++i) s.pop();
    EXPECT_EQ(s.depth(), 1);
}

TEST(MatrixStack, ModeSelection) {
    MatrixStack s;
    struct Case {
        int glMode;
        int expected;
    } cases[] = {{5889, 0}, {5890, 2}, {5888, 1}, {1234, 1}, {5891, 1}};
    for (const Case& c : cases) {
        s.setModeGL(c.glMode);
        EXPECT_EQ(s.getMode(), c.expected) << c.glMode;
    }
    s.setMode(3);
    EXPECT_EQ(s.getMode(), 1);
    s.setMode(-1);
    EXPECT_EQ(s.getMode(), 1);
}

TEST(MatrixStack, DegenerateBuildersLeaveMatrixUnchanged) {
    MatrixStack s;
    s.translate(1, 2, 3);
    double before[16];
    s.getMatrix(1, before);
    s.rotate(30, 0, 0, 0);
    s.frustum(1, 1, -1, 1, 0.1, 10);
    s.frustum(-1, 1, 2, 2, 0.1, 10);
    s.frustum(-1, 1, -1, 1, 5, 5);
    s.ortho(1, 1, -1, 1, -1, 1);
    s.ortho(-1, 1, -1, 1, 3, 3);
    expectMatrixNear(s.matrix(1), before, 0.0);
}

TEST(MatrixStack, BuildersMapPointsLikeTheFixedFunctionPipeline) {
    MatrixStack s;
    // Right-multiplication: the last builder acts first on the point.
    s.translate(10, 0, 0);
    s.rotate(90, 0, 0, 1);
    s.scale(2, 2, 2);
    double p[4] = {1, 0, 0, 1}, out[4];
    MatrixStack::transform(s.matrix(1), p, out);
    EXPECT_NEAR(out[0], 10.0, 1e-12);
    EXPECT_NEAR(out[1], 2.0, 1e-12);
    EXPECT_NEAR(out[2], 0.0, 1e-12);
    EXPECT_NEAR(out[3], 1.0, 1e-12);

    // Row vector times matrix is the transpose product.
    float rp[4] = {1, 2, 3, 1}, r[4];
    MatrixStack::rowTransform(rp, s.matrix(1), r);
    const double* m = s.matrix(1);
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(r[c], m[4 * c] + 2 * m[4 * c + 1] + 3 * m[4 * c + 2] + m[4 * c + 3], 1e-5);

    // Float variants agree with the double ones.
    MatrixStack f;
    f.translateFloat(10, 0, 0);
    f.rotateFloat(90, 0, 0, 1);
    f.scaleFloat(2, 2, 2);
    expectMatrixNear(f.matrix(1), s.matrix(1), 1e-6);
    float mf[16];
    s.getMatrixFloat(1, mf);
    MatrixStack g;
    g.multMatrixFloat(mf);
    expectMatrixNear(g.matrix(1), s.matrix(1), 1e-6);
}

TEST(MatrixStack, FrustumAndOrthoMapTheirBoxToTheViewport) {
    const int vp[4] = {10, 20, 200, 100};
    double id[16];
    MatrixStack::identity(id);
    struct Corner {
        double x, y, z, wx, wy, wz;
    };
    // frustum(-2, 1, -1, 3, 1, 10): near-plane corners at z = -1, far corners scaled by 10.
    MatrixStack fr;
    fr.setMode(MatrixStack::Projection);
    fr.frustum(-2, 1, -1, 3, 1, 10);
    MatrixStack orth;
    orth.setMode(MatrixStack::Projection);
    orth.ortho(-2, 1, -1, 3, 1, 10);
    const Corner frustumCorners[] = {
        {-2, -1, -1, 10, 20, 0}, {1, 3, -1, 210, 120, 0}, {-20, 30, -10, 10, 120, 1}, {10, -10, -10, 210, 20, 1}};
    const Corner orthoCorners[] = {
        {-2, -1, -1, 10, 20, 0}, {1, 3, -1, 210, 120, 0}, {-2, 3, -10, 10, 120, 1}, {1, -1, -10, 210, 20, 1}};
    for (const Corner& c : frustumCorners) {
        double wx, wy, wz;
        EXPECT_TRUE(MatrixStack::project(c.x, c.y, c.z, id, fr.matrix(0), vp, &wx, &wy, &wz));
        EXPECT_NEAR(wx, c.wx, 1e-9);
        EXPECT_NEAR(wy, c.wy, 1e-9);
        EXPECT_NEAR(wz, c.wz, 1e-9);
    }
    for (const Corner& c : orthoCorners) {
        double wx, wy, wz;
        EXPECT_TRUE(MatrixStack::project(c.x, c.y, c.z, id, orth.matrix(0), vp, &wx, &wy, &wz));
        EXPECT_NEAR(wx, c.wx, 1e-9);
        EXPECT_NEAR(wy, c.wy, 1e-9);
        EXPECT_NEAR(wz, c.wz, 1e-9);
    }
}

TEST(MatrixStack, InvertGivesInverseAndRefusesSingular) {
    MatrixStack s;
    s.frustum(-1, 2, -1, 1, 0.5, 50);
    s.rotate(37, 0.3, -1, 2);
    s.translate(3, -4, 5);
    s.scale(0.5, 2, 7);
    double inv[16], prod[16], id[16];
    ASSERT_TRUE(MatrixStack::invert(s.matrix(1), inv));
    MatrixStack::multiply(s.matrix(1), inv, prod);
    MatrixStack::identity(id);
    expectMatrixNear(prod, id, 1e-12);

    // A pivot that is zero on the diagonal but not below it still inverts.
    double swap[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_TRUE(MatrixStack::invert(swap, inv));
    expectMatrixNear(inv, swap, 0.0);

    double singular[16] = {1, 2, 3, 0, 2, 4, 6, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double untouched[16];
    for (double& v : untouched) v = 42.0;
    EXPECT_FALSE(MatrixStack::invert(singular, untouched));
    for (double v : untouched) EXPECT_EQ(v, 42.0);
}

// Scenes of (projection, model-view, viewport) in which project and
// unproject must agree with GLU.
struct Scene {
    const char* name;
    void (*projection)(MatrixStack&);
    void (*modelView)(MatrixStack&);
    int viewport[4];
};

const Scene kScenes[] = {
    {"ortho window", [](MatrixStack& s) { s.ortho(-1.6, 1.6, -1, 1, -1000, 1000); },
     [](MatrixStack& s) { s.scale(0.5, 0.5, 0.5); s.rotate(-90, 1, 0, 0); }, {0, 0, 640, 400}},
    {"ortho offset viewport", [](MatrixStack& s) { s.ortho(-1, 1, -0.75, 0.75, -10, 10); },
     [](MatrixStack& s) { s.translate(0.2, -0.3, 0); s.rotate(33, 1, 2, 3); s.translate(-1, -2, -3); },
     {320, 240, 320, 240}},
    {"perspective", [](MatrixStack& s) { s.frustum(-0.02, 0.02, -0.015, 0.015, 0.1, 100000); s.translate(0, 0, -5); },
     [](MatrixStack& s) { s.scale(2, 2, 2); s.rotate(-90, 1, 0, 0); s.translate(-0.5, -0.5, -0.5); },
     {0, 0, 800, 600}},
    {"off-axis perspective", [](MatrixStack& s) { s.frustum(-0.05, 0.01, -0.02, 0.03, 0.1, 50); },
     [](MatrixStack& s) { s.translate(1, 2, -8); s.rotate(-120, 0.2, 1, 0.1); }, {17, 5, 123, 457}},
    {"tall narrow", [](MatrixStack& s) { s.ortho(-0.1, 0.1, -1, 1, -1, 1); },
     [](MatrixStack& s) { s.scale(1e-3, 1e-3, 1e-3); }, {0, 0, 3, 1000}},
};

const double kPoints[][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5, -0.25, 0.75}, {-3, 2, 1}, {10, 20, -30}};

TEST(MatrixStack, ProjectAndUnprojectAgreeWithGlu) {
    platform::MessageRecorder rec;
    for (const Scene& sc : kScenes) {
        SCOPED_TRACE(sc.name);
        MatrixStack s;
        s.setMode(MatrixStack::Projection);
        sc.projection(s);
        s.setMode(MatrixStack::ModelView);
        sc.modelView(s);
        const double* mv = s.matrix(MatrixStack::ModelView);
        const double* pr = s.matrix(MatrixStack::Projection);
        const GLint glvp[4] = {sc.viewport[0], sc.viewport[1], sc.viewport[2], sc.viewport[3]};
        for (const auto& p : kPoints) {
            double wx, wy, wz, gx, gy, gz;
            bool ours = MatrixStack::project(p[0], p[1], p[2], mv, pr, sc.viewport, &wx, &wy, &wz);
            GLint glu = gluProject(p[0], p[1], p[2], mv, pr, glvp, &gx, &gy, &gz);
            ASSERT_EQ(glu, GL_TRUE);
            double eye[4], clip[4], in[4] = {p[0], p[1], p[2], 1};
            MatrixStack::transform(mv, in, eye);
            MatrixStack::transform(pr, eye, clip);
            EXPECT_EQ(ours, clip[3] > 0);
            expectFloatClose(wx, gx);
            expectFloatClose(wy, gy);
            expectFloatClose(wz, gz);
            if (clip[3] <= 0) continue;

            double ox, oy, oz, ux, uy, uz;
            EXPECT_TRUE(MatrixStack::unproject(wx, wy, wz, mv, pr, sc.viewport, &ox, &oy, &oz));
            ASSERT_EQ(gluUnProject(wx, wy, wz, mv, pr, glvp, &ux, &uy, &uz), GL_TRUE);
            // Unprojection amplifies rounding by the scene scale; compare in
            // units of the point's size.
            double tol = 1e-4 * std::max(1.0, std::fabs(ux) + std::fabs(uy) + std::fabs(uz));
            EXPECT_NEAR(ox, ux, tol);
            EXPECT_NEAR(oy, uy, tol);
            EXPECT_NEAR(oz, uz, tol);
            EXPECT_NEAR(ox, p[0], tol);
            EXPECT_NEAR(oy, p[1], tol);
            EXPECT_NEAR(oz, p[2], tol);
        }
    }
    EXPECT_TRUE(rec.entries().empty());
}

TEST(MatrixStack, ProjectBehindTheEye) {
    platform::MessageRecorder rec;
    MatrixStack s;
    s.setMode(MatrixStack::Projection);
    s.frustum(-1, 1, -1, 1, 1, 100);
    double id[16];
    MatrixStack::identity(id);
    const int vp[4] = {0, 0, 100, 100};
    double wx, wy, wz;
    // In front: (0.5, 0.25, -2) lies right of and above the centre.
    EXPECT_TRUE(MatrixStack::project(0.5, 0.25, -2, id, s.matrix(0), vp, &wx, &wy, &wz));
    EXPECT_NEAR(wx, 62.5, 1e-9);
    EXPECT_NEAR(wy, 56.25, 1e-9);
    // Behind (w = -2): false both ways; mirrored keeps the side of the point.
    EXPECT_FALSE(MatrixStack::project(0.5, 0.25, 2, id, s.matrix(0), vp, &wx, &wy, &wz, false));
    EXPECT_NEAR(wx, 37.5, 1e-9);
    EXPECT_FALSE(MatrixStack::project(0.5, 0.25, 2, id, s.matrix(0), vp, &wx, &wy, &wz, true));
    EXPECT_NEAR(wx, 62.5, 1e-9);
    EXPECT_NEAR(wy, 56.25, 1e-9);
    EXPECT_TRUE(rec.entries().empty());
    // On the eye plane w = 0: message, w taken as 1, false.
    EXPECT_FALSE(MatrixStack::project(0.5, 0.25, 0, id, s.matrix(0), vp, &wx, &wy, &wz));
    EXPECT_TRUE(rec.contains("Project: Can't normalize coordinates\n"));
    EXPECT_TRUE(std::isfinite(wx) && std::isfinite(wy) && std::isfinite(wz));
}

TEST(MatrixStack, UnprojectFallbacks) {
    platform::MessageRecorder rec;
    double id[16];
    MatrixStack::identity(id);
    double x, y, z;
    const int zeroWidth[4] = {5, 0, 0, 10};
    EXPECT_TRUE(MatrixStack::unproject(5.5, 5, 0.5, id, id, zeroWidth, &x, &y, &z));
    EXPECT_TRUE(rec.contains("UnProject: Viewport width is 0\n"));
    EXPECT_FALSE(rec.contains("UnProject: Viewport height is 0\n"));
    EXPECT_DOUBLE_EQ(x, 0.0);  // (5.5 - 5) * 2 - 1
    EXPECT_DOUBLE_EQ(y, 0.0);
    EXPECT_DOUBLE_EQ(z, 0.0);

    rec.clear();
    const int zeroHeight[4] = {0, 0, 10, 0};
    MatrixStack::unproject(5, 1, 1, id, id, zeroHeight, &x, &y, &z);
    EXPECT_TRUE(rec.contains("UnProject: Viewport height is 0\n"));
    EXPECT_DOUBLE_EQ(y, 1.0);

    // w = 0 after the inverse: frustum(near 1, far 3) maps window depth 1.5
    // (ndc 2) to the plane at infinity.  Reported, left undivided.
    rec.clear();
    MatrixStack persp;
    persp.frustum(-1, 1, -1, 1, 1, 3);
    const int vp[4] = {0, 0, 10, 10};
    EXPECT_FALSE(MatrixStack::unproject(5, 5, 1.5, id, persp.matrix(1), vp, &x, &y, &z));
    EXPECT_TRUE(rec.contains("UnProject: Can't normalize coordinates\n"));
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y) && std::isfinite(z));

    // A singular matrix gives 0 instead of reading an unset inverse.
    double singular[16] = {0};
    x = y = z = 99;
    EXPECT_FALSE(MatrixStack::unproject(1, 1, 0.5, singular, id, vp, &x, &y, &z));
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(z, 0.0);
}

TEST(MatrixStack, ToAxisAngle) {
    struct Case {
        const char* name;
        double angleDeg, ax, ay, az;     // rotation built
        double sx, sy, sz;               // then scaled
        double wantAngle, wx, wy, wz;    // expected (radians, unit axis)
    } cases[] = {
        {"identity", 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 1},
        {"half turn about y", 180, 0, 1, 0, 1, 1, 1, kPi, 0, 1, 0},
        {"half turn about x", 180, 1, 0, 0, 1, 1, 1, kPi, 1, 0, 0},
        {"half turn about -z", 180, 0, 0, -1, 1, 1, 1, kPi, 0, 0, 1},
        {"half turn about (1,-1,0)", 180, 1, -1, 0, 1, 1, 1, kPi, M_SQRT1_2, -M_SQRT1_2, 0},
        {"half turn about (0,1,-1)", 180, 0, 1, -1, 1, 1, 1, kPi, 0, M_SQRT1_2, -M_SQRT1_2},
        {"half turn about (1,1,-1)", 180, 1, 1, -1, 1, 1, 1, kPi, 1 / std::sqrt(3.0), 1 / std::sqrt(3.0),
         -1 / std::sqrt(3.0)},
        {"-90 about x", -90, 1, 0, 0, 1, 1, 1, kPi / 2, -1, 0, 0},
        {"general, scaled", 70, 1, 2, -2, 3, 0.5, 2, 70 * kPi / 180, 1.0 / 3, 2.0 / 3, -2.0 / 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MatrixStack s;
        s.rotate(c.angleDeg, c.ax, c.ay, c.az);
        s.scale(c.sx, c.sy, c.sz);
        float x, y, z, a;
        MatrixStack::toAxisAngle(s.matrix(1), &x, &y, &z, &a);
        EXPECT_NEAR(a, c.wantAngle, 1e-5);
        EXPECT_NEAR(x, c.wx, 1e-5);
        EXPECT_NEAR(y, c.wy, 1e-5);
        EXPECT_NEAR(z, c.wz, 1e-5);
    }
}

}  // namespace
