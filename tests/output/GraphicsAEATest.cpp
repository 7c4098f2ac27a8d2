// The software renderer's engine: what reaches the drawing operations after
// the pipeline (merging, culling, blending, clipping, texturing, lighting,
// polygon offset), the adaptive flat subdivision for vector output, and the
// slot order of the seven extra operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "output/GraphicsAEA.h"

namespace {

// Records what the engine hands to the drawing operations.  Object
// coordinates are window pixels (orthographic 0..W, 0..H), z = 0 is depth 0.5.
class Recorder : public GraphicsAEA {
public:
    explicit Recorder(bool ownTriangles = true) : GraphicsAEA(nullptr, 100, 100, 1, false, 0), own(ownTriangles) {
        fragmentMode = true;
        eMatrixMode(aegl::PROJECTION);
        eLoadIdentity();
        eOrtho(0, 100, 0, 100, -1, 1);
        eMatrixMode(aegl::MODELVIEW);
        eLoadIdentity();
    }
    struct Triangle {
        WinVertex v[3];
    };
    void drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c) override {
        if (!own) {
            GraphicsAEA::drawShadedTriangle(a, b, c);
            return;
        }
        triangles.push_back({{a, b, c}});
    }
    void fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c, const float rgba[4]) override {
        flats.push_back({rgba[0], rgba[1], rgba[2], rgba[3]});
        flatArea += 0.5 * std::fabs((double(b.x) - a.x) * (double(c.y) - a.y) - (double(c.x) - a.x) * (double(b.y) - a.y));
    }
    void drawWideLine(float, const WinVertex& a, const WinVertex& b) override { lines.push_back({a, b}); }
    void drawWidePoint(float, const WinVertex& v) override { points.push_back(v); }

    void polygon(std::initializer_list<std::array<float, 2>> xy) {
        eBegin(aegl::POLYGON);
        for (const auto& p : xy) eVertex(p[0], p[1], 0.0f);
        eEnd();
    }
    std::vector<const WinVertex*> allVertices() const {
        std::vector<const WinVertex*> out;
        for (const Triangle& t : triangles)
            for (const WinVertex& v : t.v) out.push_back(&v);
        return out;
    }

    bool own;
    std::vector<Triangle> triangles;
    std::vector<std::array<WinVertex, 2>> lines;
    std::vector<WinVertex> points;
    std::vector<std::array<float, 4>> flats;
    double flatArea = 0;
};

// ---- merging, culling, colour ---------------------------------------------------

TEST(SoftwareEngine, APolygonWhoseCornersCoincideBecomesAPoint) {
    Recorder r;
    r.polygon({{10.0f, 10.0f}, {10.004f, 10.003f}, {10.002f, 10.009f}});
    EXPECT_TRUE(r.triangles.empty());
    EXPECT_TRUE(r.lines.empty());
    ASSERT_EQ(r.points.size(), 1u);
    EXPECT_NEAR(r.points[0].x, 10.0f, 0.01f);
    // Two distinct corners left: a line (drawn when opaque).
    r.eColour(1, 1, 1);
    r.polygon({{20.0f, 20.0f}, {20.001f, 20.001f}, {30.0f, 20.0f}});
    EXPECT_EQ(r.lines.size(), 1u);
}

TEST(SoftwareEngine, CullingRemovesPolygonsByTheirWindingInTheWindow) {
    struct Case {
        unsigned cull, front;
        bool counterClockwiseDrawn, clockwiseDrawn;
    };
    const Case cases[] = {
        {aegl::BACK, aegl::CCW, true, false},
        {aegl::FRONT, aegl::CCW, false, true},
        {aegl::BACK, aegl::CW, false, true},
        {0, aegl::CCW, true, true},  // culling off
    };
    for (const Case& c : cases) {
        Recorder r;
        if (c.cull) {
            r.eEnable(aegl::CULL_FACE);
            r.eCullFace(c.cull);
        }
        r.eFrontFace(c.front);
        r.polygon({{10, 10}, {50, 10}, {10, 50}});
        EXPECT_EQ(r.triangles.size(), c.counterClockwiseDrawn ? 1u : 0u) << c.cull << " " << c.front;
        r.triangles.clear();
        r.polygon({{10, 10}, {10, 50}, {50, 10}});
        EXPECT_EQ(r.triangles.size(), c.clockwiseDrawn ? 1u : 0u) << c.cull << " " << c.front;
    }
}

TEST(SoftwareEngine, AColourSetWithBlendingOffIsOpaque) {
    Recorder r;
    r.eColour(1, 0, 0, 0.5f);
    r.polygon({{10, 10}, {50, 10}, {10, 50}});
    r.eEnable(aegl::BLEND);
    r.eColour(1, 0, 0, 0.5f);
    r.polygon({{10, 10}, {50, 10}, {10, 50}});
    ASSERT_EQ(r.triangles.size(), 2u);
    EXPECT_EQ(r.triangles[0].v[0].colour[3], 1.0f);
    EXPECT_EQ(r.triangles[1].v[0].colour[3], 0.5f);
}

TEST(SoftwareEngine, LightingFollowsTheFixedFunctionFormula) {
    Recorder r;
    const float up[4] = {0, 0, 1, 0}, black[4] = {0, 0, 0, 1};
    r.eLight(aegl::LIGHT0, aegl::POSITION, up);
    r.eMaterial(aegl::FRONT_AND_BACK, aegl::SPECULAR, black);
    r.eEnable(aegl::LIGHTING);
    r.eEnable(aegl::COLOR_MATERIAL);
    r.eEnable(aegl::NORMALIZE);
    r.eColour(0.5f, 0.2f, 1.0f);
    // Facing the light: colour * global ambient 0.3 + colour * diffuse; the
    // half-facing one gets half the diffuse.  Red stays at most 1.
    r.eBegin(aegl::POLYGON);
    r.eNormal(0, 0, 2);
    r.eVertex(10, 10);
    r.eNormal(1, 0, 1);
    r.eVertex(50, 10);
    r.eNormal(0, 0, 1);
    r.eVertex(10, 50);
    r.eEnd();
    ASSERT_EQ(r.triangles.size(), 1u);
    const WinVertex& a = r.triangles[0].v[0];
    EXPECT_NEAR(a.colour[0], 0.5f * 0.3f + 0.5f, 1e-5);
    EXPECT_NEAR(a.colour[2], 1.0f, 1e-6);
    const WinVertex& b = r.triangles[0].v[1];
    EXPECT_NEAR(b.colour[1], 0.2f * 0.3f + 0.2f * float(std::sqrt(0.5)), 1e-5);
    // Lights changed between primitives light the next one: light 0 turned
    // to the side leaves only the ambient part, a second light from above
    // brings the diffuse part back.
    const float side[4] = {1, 0, 0, 0}, white[4] = {1, 1, 1, 1};
    r.eLight(aegl::LIGHT0, aegl::POSITION, side);
    auto lit = [&r] {
        r.triangles.clear();
        r.eNormal(0, 0, 1);
        r.polygon({{10, 10}, {50, 10}, {10, 50}});
        return r.triangles.empty() ? -1.0f : r.triangles[0].v[0].colour[1];
    };
    EXPECT_NEAR(lit(), 0.2f * 0.3f, 1e-5);
    r.eLight(aegl::LIGHT0 + 1, aegl::POSITION, up);
    r.eLight(aegl::LIGHT0 + 1, aegl::DIFFUSE, white);
    EXPECT_NEAR(lit(), 0.2f * 0.3f, 1e-5) << "light 1 is still off";
    r.eEnable(aegl::LIGHT0 + 1);
    EXPECT_NEAR(lit(), 0.2f * 0.3f + 0.2f, 1e-5);
}

// ---- clipping, texturing, depth ----------------------------------------------------------

TEST(SoftwareEngine, PolygonsAreClippedToTheBoxAndToUserPlanes) {
    Recorder r;
    r.polygon({{-50, 20}, {150, 20}, {50, 300}});
    ASSERT_FALSE(r.triangles.empty());
    for (const WinVertex* v : r.allVertices()) {
        EXPECT_GE(v->x, 0.0f);
        EXPECT_LE(v->x, 100.0f);
        EXPECT_LE(v->y, 100.0f);
    }
    // The plane through x = 50 with its normal towards -x keeps x < 50.
    r.triangles.clear();
    const float p1[3] = {50, 0, 0}, p2[3] = {50, 0, 1}, p3[3] = {50, 1, 0};
    r.enableClipPlane(0, p1, p2, p3, 0.0f);
    r.polygon({{10, 10}, {90, 10}, {90, 90}, {10, 90}});
    float maxX = 0;
    for (const WinVertex* v : r.allVertices()) maxX = std::max(maxX, v->x);
    EXPECT_NEAR(maxX, 50.0f, 1e-3);
    // A whole primitive beyond the plane is dropped.
    r.triangles.clear();
    r.polygon({{60, 10}, {90, 10}, {90, 90}});
    EXPECT_TRUE(r.triangles.empty());
}

TEST(SoftwareEngine, OnlyAnRgbaByteImageTexturesPrimitives) {
    Recorder r;
    const unsigned char px[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    r.eEnable(aegl::TEXTURE_2D);
    r.eTexImage2D(0, 3, 2, 2, 0x1907 /* RGB */, aegl::UNSIGNED_BYTE, px);
    r.polygon({{10, 10}, {50, 10}, {10, 50}});
    r.eTexImage2D(0, 4, 2, 2, aegl::RGBA, aegl::UNSIGNED_BYTE, px);
    r.polygon({{10, 10}, {50, 10}, {10, 50}});
    ASSERT_EQ(r.triangles.size(), 2u);
    EXPECT_EQ(r.triangles[0].v[0].texture, nullptr);
    ASSERT_NE(r.triangles[1].v[0].texture, nullptr);
    EXPECT_EQ(r.triangles[1].v[0].texture->width, 2);
}

TEST(SoftwareEngine, PolygonOffsetPushesSlopedFacesBack) {
    Recorder r;
    auto sloped = [&] {
        r.eBegin(aegl::POLYGON);
        r.eVertex(10, 10, 0.0f);
        r.eVertex(50, 10, -0.5f);  // farther to the right
        r.eVertex(10, 50, 0.0f);
        r.eEnd();
    };
    sloped();
    r.eEnable(aegl::POLYGON_OFFSET_FILL);
    r.ePolygonOffset(2.0f, 0.5f);
    sloped();
    ASSERT_EQ(r.triangles.size(), 2u);
    const double slope = 0.25 / 40.0;  // depth per pixel
    EXPECT_NEAR(r.triangles[1].v[0].z - r.triangles[0].v[0].z, 2 * slope + 0.5e-6, 1e-6);
}

// ---- flat subdivision for vector output ---------------------------------------------------

TEST(SoftwareEngine, ShadedTrianglesBecomeFlatOnesWithinTheTolerances) {
    auto corner = [](float x, float y, float r, float g) {
        WinVertex v;
        v.x = x, v.y = y;
        v.colour[0] = r, v.colour[1] = g, v.colour[3] = 1;
        return v;
    };
    {
        // Below the area tolerance: one flat triangle in the centroid colour.
        Recorder r(false);
        r.areaTolerance = 1.0f;
        r.drawShadedTriangle(corner(0, 0, 1, 0), corner(1, 0, 0, 1), corner(0, 1, 0, 0));
        ASSERT_EQ(r.flats.size(), 1u);
        EXPECT_NEAR(r.flats[0][0], 1.0f / 3, 1e-5);
        EXPECT_NEAR(r.flats[0][1], 1.0f / 3, 1e-5);
    }
    {
        // Larger and shaded: split until every piece is within the colour
        // tolerance, covering the same area.
        Recorder r(false);
        r.areaTolerance = 1.0f;
        r.colourTolerance = 0.01f;
        r.drawShadedTriangle(corner(0, 0, 1, 0), corner(40, 0, 0, 1), corner(0, 40, 0, 0));
        EXPECT_GT(r.flats.size(), 8u);
        EXPECT_NEAR(r.flatArea, 800.0, 1e-6);
        // Same-coloured corners need no split.
        Recorder same(false);
        same.colourTolerance = 0.01f;
        same.drawShadedTriangle(corner(0, 0, 1, 0), corner(40, 0, 1, 0), corner(0, 40, 1, 0));
        EXPECT_EQ(same.flats.size(), 1u);
    }
}

// ---- interface --------------------------------------------------------------------------

template <typename F>
long slotOf(F member) {
    static_assert(sizeof(F) == 2 * sizeof(std::uintptr_t));
    std::uintptr_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    if ((raw[0] & 1) == 0) return -1;
    return static_cast<long>((raw[0] - 1) / sizeof(void*));
}

TEST(SoftwareEngine, TheSevenExtraOperationsFollowTheRendererInterface) {
    // Slots 0 and 1 are the destructor, then the 110 operations of Graphics.
    const long first = Graphics::kNumOperations + 1;
    const long slots[] = {slotOf(&GraphicsAEA::clearBuffers),     slotOf(&GraphicsAEA::drawPixels),
                          slotOf(&GraphicsAEA::setPixelRegion),   slotOf(&GraphicsAEA::fillFlatTriangle),
                          slotOf(&GraphicsAEA::drawShadedTriangle), slotOf(&GraphicsAEA::drawWideLine),
                          slotOf(&GraphicsAEA::drawWidePoint)};
    for (int i = 0; i < GraphicsAEA::kNumExtraOperations; ++i)
        EXPECT_EQ(slots[i], first + i) << GraphicsAEA::kExtraOperationNames[i];
    EXPECT_EQ(slotOf(&Graphics::drawLine3D), first - 1);
}

}  // namespace
