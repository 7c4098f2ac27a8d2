// Generated shapes: sizes and outward-facing faces.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/GlyphShapes.h"

namespace {

// Fraction of faces whose normal points away from the shape's centre.
void ExpectOutward(const MeshRecord& in, const float centre[3], const char* name) {
    MeshRecord m = in;
    const int faces = m.numFaces;
    GraphicData::ComputeFaceNormals(m.vertexCoords.data(), m.numVertices, m.faceEntries, m.numFaces,
                                    m.numFaceEntries, m.faceNormals);
    EXPECT_EQ(m.numFaces, faces) << name << ": no face may be degenerate";
    size_t pos = 0;
    for (int f = 0; f < m.numFaces; ++f) {
        const int n = m.faceEntries[pos];
        double c[3] = {0, 0, 0};
        for (int k = 1; k <= n; ++k)
            for (int a = 0; a < 3; ++a) c[a] += m.vertexCoords[size_t(3 * m.faceEntries[pos + size_t(k)] + a)] / n;
        double dot = 0;
        for (int a = 0; a < 3; ++a) dot += (c[a] - centre[a]) * m.faceNormals[size_t(3 * f + a)];
        EXPECT_GT(dot, 0.0) << name << " face " << f;
        pos += size_t(n) + 1;
    }
}

}  // namespace

TEST(GlyphShapes, SizesAndOrientation) {
    struct Row {
        int type;
        int vertices, lines, faces;
        float centre[3];
    };
    const float a = 0.4f, b = 0.2f;
    const int r = 8, k = 4;  // k = r / 2
    const Row rows[] = {
        {1, 2 * k * (k - 1) + 2, 2 * k * (k - 1) + 2 * k * k, 2 * k * k, {0, 0, 0}},
        {2, 8, 12, 6, {0, 0, 0}},
        {3, 6 * 2 + 4 * k + 1, -1, 2 * k + 1 + 2 * 2 + 1, {0, 0, 0.7f}},
        {4, 4 * k + 1, 4 * k, 2 * k + 1, {0, 0, 0.1f}},
        {51, 13, 9, 8, {0, 0, 0}},
        {50, 30, 63, 44, {0, 0.09f, 0.45f}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        MeshRecord m;
        int stored = 0;
        ASSERT_TRUE(GlyphShapes::Template(row.type, a, b, r, m, stored));
        EXPECT_EQ(stored, row.type);
        EXPECT_EQ(m.numVertices, row.vertices);
        if (row.lines >= 0) {
            EXPECT_EQ(m.numLineSegs, row.lines);
        }
        if (row.faces >= 0) {
            EXPECT_EQ(m.numFaces, row.faces);
        }
        EXPECT_EQ(m.vertexCoords.size(), size_t(m.numVertices) * 3);
        EXPECT_EQ(m.faceEntries.size(), size_t(m.numFaceEntries));
        for (int v : m.lineSegs) EXPECT_TRUE(v >= 0 && v < m.numVertices);
        if (row.type != 51) ExpectOutward(m, row.centre, "template");  // the dart is flat
    }
    {
        // The craft: its extent, and 42 triangles with 2 quads.
        MeshRecord m;
        int stored = 0;
        ASSERT_TRUE(GlyphShapes::Template(50, a, b, r, m, stored));
        float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
        for (int i = 0; i < m.numVertices; ++i)
            for (int c = 0; c < 3; ++c) {
                lo[c] = std::min(lo[c], m.vertexCoords[size_t(3 * i + c)]);
                hi[c] = std::max(hi[c], m.vertexCoords[size_t(3 * i + c)]);
            }
        EXPECT_NEAR(lo[0], -0.2f, 1e-6f);
        EXPECT_NEAR(hi[0], 0.2f, 1e-6f);
        EXPECT_NEAR(lo[1], -0.1917f, 1e-6f);
        EXPECT_NEAR(hi[1], 0.375f, 1e-6f);
        EXPECT_NEAR(lo[2], -0.05f, 1e-6f);
        EXPECT_NEAR(hi[2], 0.95f, 1e-6f);
        int triangles = 0, quads = 0, others = 0;
        for (size_t pos = 0; pos < m.faceEntries.size(); pos += size_t(m.faceEntries[pos]) + 1)
            ++(m.faceEntries[pos] == 3 ? triangles : m.faceEntries[pos] == 4 ? quads : others);
        EXPECT_EQ(triangles, 42);
        EXPECT_EQ(quads, 2);
        EXPECT_EQ(others, 0);
    }
    MeshRecord none;
    int stored = 0;
    EXPECT_FALSE(GlyphShapes::Template(52, a, b, r, none, stored));
    // a hostile resolution is bounded
    MeshRecord big;
    GlyphShapes::Sphere(1 << 30, big);
    const int kk = GlyphShapes::kMaxResolution / 2;
    EXPECT_EQ(big.numVertices, 2 * kk * (kk - 1) + 2);
}

TEST(GlyphShapes, InstanceFrame) {
    float t[3], v[3], w[3];
    const float dir[3] = {0, 0, 2}, up[3] = {0, 3, 0};
    GlyphShapes::InstanceFrame(dir, up, t, v, w);
    EXPECT_FLOAT_EQ(w[2], 1);
    EXPECT_FLOAT_EQ(v[1], 1);
    EXPECT_FLOAT_EQ(t[0], 1);  // v x w = y x z = x
    const float along[3] = {0, 1, 0};
    GlyphShapes::InstanceFrame(along, along, t, v, w);  // parallel up vector
    EXPECT_NEAR(v[0] * w[0] + v[1] * w[1] + v[2] * w[2], 0, 1e-6);
    EXPECT_NEAR(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 1, 1e-6);
    const float zero[3] = {0, 0, 0};
    GlyphShapes::InstanceFrame(zero, zero, t, v, w);
    EXPECT_EQ(t[0] + v[1] + w[2], 3.0f);
}
