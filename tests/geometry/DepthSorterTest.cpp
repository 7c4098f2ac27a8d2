// Depth ordering: shapes from primitives (ear clipping), the fixed drawing
// order, region subdivision below 256 primitives, and back-to-front drawing
// through the BSP tree, checked with a small painter that has no depth
// buffer (what is drawn last wins).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "geometry/DepthSorter.h"

namespace {

WinVertex vtx(float x, float y, float z, float r = 1, float g = 1, float b = 1, float a = 1) {
    WinVertex v;
    v.x = x;
    v.y = y;
    v.z = z;
    v.colour[0] = r;
    v.colour[1] = g;
    v.colour[2] = b;
    v.colour[3] = a;
    return v;
}

WinPrimitive polygon(std::vector<WinVertex> v) {
    WinPrimitive p;
    p.kind = WIN_POLYGON;
    p.vertices = std::move(v);
    return p;
}

double signedArea(const WinVertex& a, const WinVertex& b, const WinVertex& c) {
    return 0.5 * ((double(b.x) - a.x) * (double(c.y) - a.y) - (double(c.x) - a.x) * (double(b.y) - a.y));
}

// Paints triangles into a small colour grid by pixel centres, in the order
// they come; records the order of everything drawn.
class Painter : public DepthSink {
public:
    static constexpr int W = 32, H = 32;
    Painter() : grid(W * H, -1) {}
    void setPixelRegion(int x, int y, int w, int h) override {
        regions.push_back({x, y, w, h});
        region[0] = x, region[1] = y, region[2] = w, region[3] = h;
    }
    void drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c) override {
        order.push_back('T');
        EXPECT_GE(signedArea(a, b, c), 0.0) << "triangles arrive counter-clockwise";
        const int id = int(a.colour[0] * 10 + 0.5f);
        ids.push_back(id);
        for (int y = region[1]; y < region[1] + region[3]; ++y)
            for (int x = region[0]; x < region[0] + region[2]; ++x) {
                WinVertex p = vtx(x + 0.5f, y + 0.5f, 0);
                if (signedArea(a, b, p) >= 0 && signedArea(b, c, p) >= 0 && signedArea(c, a, p) >= 0)
                    grid[size_t(y * W + x)] = id;
            }
    }
    void drawWideLine(float, const WinVertex&, const WinVertex&) override { order.push_back('L'); }
    void drawWidePoint(float, const WinVertex&) override { order.push_back('P'); }
    int at(int x, int y) const { return grid[size_t(y * W + x)]; }

    std::vector<int> grid;
    std::vector<std::vector<int>> regions;
    std::vector<int> ids;
    std::string order;
    int region[4] = {0, 0, W, H};
};

const int kFull[4] = {0, 0, Painter::W, Painter::H};

// ---- shapes -------------------------------------------------------------------

TEST(DepthShapes, EarClippingGivesCounterClockwiseTrianglesCoveringThePolygon) {
    struct Case {
        const char* name;
        std::vector<WinVertex> ring;
        double area;
    };
    const Case cases[] = {
        {"convex quad", {vtx(0, 0, 0), vtx(4, 0, 0), vtx(4, 3, 0), vtx(0, 3, 0)}, 12},
        {"clockwise quad", {vtx(0, 0, 0), vtx(0, 3, 0), vtx(4, 3, 0), vtx(4, 0, 0)}, 12},
        // An L: the reflex corner at (2, 2) must not be cut off.
        {"concave L", {vtx(0, 0, 0), vtx(4, 0, 0), vtx(4, 2, 0), vtx(2, 2, 0), vtx(2, 4, 0), vtx(0, 4, 0)}, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Shape> shapes;
        DepthSorter::toShapes(polygon(c.ring), shapes);
        EXPECT_EQ(shapes.size(), c.ring.size() - 2);
        double total = 0;
        for (const Shape& s : shapes) {
            ASSERT_EQ(s.kind, SHAPE_TRIANGLE);
            const double a = signedArea(s.v[0], s.v[1], s.v[2]);
            EXPECT_GT(a, 0.0);
            total += a;
        }
        EXPECT_DOUBLE_EQ(total, c.area);
    }
}

TEST(DepthShapes, FixedOrderDrawsTrianglesThenOpaqueSegmentsThenPoints) {
    Painter painter;
    DepthSorter sorter(painter);
    std::vector<WinPrimitive> list;
    WinPrimitive points;
    points.kind = WIN_POINTS;
    points.vertices = {vtx(1, 1, 0.5f)};
    list.push_back(points);
    WinPrimitive lines;
    lines.kind = WIN_LINES;
    lines.vertices = {vtx(0, 0, 0.5f), vtx(9, 9, 0.5f), vtx(0, 5, 0.5f, 1, 1, 1, 0.5f), vtx(9, 5, 0.5f)};
    list.push_back(lines);
    list.push_back(polygon({vtx(0, 0, 0.5f), vtx(8, 0, 0.5f), vtx(0, 8, 0.5f)}));
    // Flat: all three corners round to row 3.
    list.push_back(polygon({vtx(0, 3.1f, 0.5f), vtx(8, 2.9f, 0.5f), vtx(4, 3.4f, 0.5f)}));
    sorter.drawPrimitives(list, kFull, true);
    // The translucent segment and the flat triangle are not drawn.
    EXPECT_EQ(painter.order, "TLP");
    EXPECT_TRUE(list.empty());
}

// ---- regions ------------------------------------------------------------------

TEST(DepthRegions, BelowTheLimitOneTreeFromTheLimitOnTheRegionIsSplit) {
    for (int count : {255, 256}) {
        SCOPED_TRACE(count);
        Painter painter;
        DepthSorter sorter(painter);
        std::vector<WinPrimitive> list;
        for (int i = 0; i < count; ++i) {
            const float x = float(i % 16) * 2, y = float(i / 16) * 2, z = 0.001f * i;
            list.push_back(polygon({vtx(x, y, z), vtx(x + 1.5f, y, z), vtx(x, y + 1.5f, z)}));
        }
        sorter.drawPrimitives(list, kFull, false);
        if (count == 255) {
            EXPECT_EQ(sorter.regionsDrawn, 1);
            EXPECT_EQ(painter.regions.size(), 1u);
        } else {
            EXPECT_GT(sorter.regionsDrawn, 1);
            // The parts tile the image.
            int area = 0;
            for (const auto& r : painter.regions) area += r[2] * r[3];
            EXPECT_EQ(area, Painter::W * Painter::H);
        }
        EXPECT_EQ(painter.ids.size(), size_t(count));
    }
}

// ---- back to front ---------------------------------------------------------------

TEST(DepthTree, CrossingTrianglesAreSplitAndPaintedInDepthOrder) {
    // Two triangles over the whole left-right range that cross in depth at
    // x = 16: A (id 1) is near on the left, B (id 2) near on the right.
    Painter painter;
    DepthSorter sorter(painter);
    std::vector<WinPrimitive> list;
    list.push_back(polygon({vtx(0, 0, 0.2f, 0.1f), vtx(32, 0, 0.8f, 0.1f), vtx(16, 32, 0.5f, 0.1f)}));
    list.push_back(polygon({vtx(0, 0, 0.8f, 0.2f), vtx(32, 0, 0.2f, 0.2f), vtx(16, 32, 0.5f, 0.2f)}));
    // In both orders.
    for (int round = 0; round < 2; ++round) {
        std::vector<WinPrimitive> copy = list;
        if (round) std::swap(copy[0], copy[1]);
        painter.grid.assign(painter.grid.size(), -1);
        sorter.drawPrimitives(copy, kFull, false);
        EXPECT_EQ(painter.at(6, 2), 1) << "round " << round;
        EXPECT_EQ(painter.at(26, 2), 2) << "round " << round;
    }
    EXPECT_GE(sorter.shapesSplit, 2);
}

// Five small triangles far back (id 3).
void addTrianglesBehind(std::vector<WinPrimitive>& list) {
    for (int i = 0; i < 5; ++i)
        list.push_back(polygon({vtx(2.0f + 4 * i, 2, 0.9f, 0.3f), vtx(5.0f + 4 * i, 2, 0.9f, 0.3f),
                                vtx(2.0f + 4 * i, 6, 0.9f, 0.3f)}));
}

TEST(DepthTree, ACoveringFaceInFrontHidesWhatLiesBehindIt) {
    Painter painter;
    DepthSorter sorter(painter);
    std::vector<WinPrimitive> list;
    addTrianglesBehind(list);
    // In front: one opaque triangle over the whole region (id 5).
    list.push_back(polygon({vtx(-1, -1, 0.1f, 0.5f), vtx(80, -1, 0.1f, 0.5f), vtx(-1, 80, 0.1f, 0.5f)}));
    sorter.drawPrimitives(list, kFull, false);
    ASSERT_EQ(painter.ids.size(), 1u);
    EXPECT_EQ(painter.ids[0], 5);
}

// A face over the whole window arrives clipped to it: a rectangle, whose two
// triangles each cover only half the region.  Together they still hide
// everything behind them; a face that is not flat or leaves a corner open
// hides nothing.
TEST(DepthTree, AFaceClippedToTheRegionHidesWhatLiesBehindIt) {
    struct Case {
        const char* name;
        float z[4];
        float right;  // x of the face's right side
        size_t drawn;
    } cases[] = {
        {"flat", {0.1f, 0.1f, 0.1f, 0.1f}, 32, 2},
        {"tilted", {0.1f, 0.15f, 0.2f, 0.15f}, 32, 2},
        {"bent", {0.1f, 0.1f, 0.3f, 0.1f}, 32, 7},
        {"short of a corner", {0.1f, 0.1f, 0.1f, 0.1f}, 31, 7},
    };
    for (const Case& c : cases) {
        Painter painter;
        DepthSorter sorter(painter);
        std::vector<WinPrimitive> list;
        addTrianglesBehind(list);
        list.push_back(polygon({vtx(0, 0, c.z[0], 0.5f), vtx(c.right, 0, c.z[1], 0.5f),
                                vtx(c.right, 32, c.z[2], 0.5f), vtx(0, 32, c.z[3], 0.5f)}));
        sorter.drawPrimitives(list, kFull, false);
        EXPECT_EQ(painter.ids.size(), c.drawn) << c.name;
        EXPECT_EQ(painter.at(3, 3), 5) << c.name;
    }
}

TEST(DepthTree, ALineOnAFaceIsDrawnAfterIt) {
    Painter painter;
    DepthSorter sorter(painter);
    std::vector<WinPrimitive> list;
    WinPrimitive line;
    line.kind = WIN_LINES;
    line.vertices = {vtx(4, 4, 0.5f), vtx(20, 10, 0.5f)};
    list.push_back(line);  // first in the list
    list.push_back(polygon({vtx(0, 0, 0.5f), vtx(30, 0, 0.5f), vtx(0, 30, 0.5f)}));
    WinPrimitive point;
    point.kind = WIN_POINTS;
    point.vertices = {vtx(5, 5, 0.5f)};
    list.push_back(point);
    sorter.drawPrimitives(list, kFull, false);
    EXPECT_EQ(painter.order, "TLP");
}

}  // namespace
