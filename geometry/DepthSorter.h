#pragma once
// Back-to-front drawing of window-space primitives for renderers without a
// depth buffer (PostScript, printers, the raster renderer with VIEWER_BSP),
// and the conversion of primitives to the simple shapes every software
// renderer draws (triangles, segments, points).
//
// The software renderer hands over primitives whose vertices are already in
// window coordinates (x, y in pixels, z in 0 near .. 1 far), lit and
// clipped.  drawPrimitives() converts them to shapes and either draws them
// at once in a fixed order (fragment mode: the renderer resolves depth per
// pixel itself) or orders them through a BSP tree per screen region.
// Regions with 256 primitives or more are halved first so that every tree
// stays small (the splitter search is quadratic).
//
// The drawing goes through DepthSink, which the renderer implements.  Every
// triangle reaches the sink counter-clockwise in the window (positive
// shoelace area); halves of split triangles keep the winding.
#include <vector>

// A texture snapshot of the renderer; opaque here, carried along with the
// vertices that sample it.
struct WinTexture;

struct WinVertex {
    float x = 0.0f, y = 0.0f, z = 0.0f;  // window coordinates (object coordinates while recorded)
    float s = 0.0f, t = 0.0f;            // texture coordinates
    const WinTexture* texture = nullptr; // image it samples, or none
    float normal[3] = {0.0f, 0.0f, 0.0f};
    float colour[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // r, g, b, a (0..1)
};

enum WinPrimitiveKind {
    WIN_POINTS = 1,
    WIN_LINES = 2,       // separate segments: vertex pairs
    WIN_LINE_STRIP = 3,
    WIN_LINE_LOOP = 4,
    WIN_POLYGON = 5
};

struct WinPrimitive {
    int kind = WIN_POLYGON;
    float size = 1.0f;  // point size or line width
    std::vector<WinVertex> vertices;
};

enum ShapeKind { SHAPE_POINT = 1, SHAPE_SEGMENT = 2, SHAPE_TRIANGLE = 3 };

struct Shape {
    int kind = SHAPE_TRIANGLE;
    WinVertex v[3];
    float size = 1.0f;
    double plane[4] = {0, 0, 0, 0};  // unit normal and offset; all zero: none
    int outcode = 0;                 // sides of the region the whole shape lies beyond
    bool covers = false;             // an opaque triangle over the whole region
    // A triangle of an opaque convex polygon that covers the region
    // as a whole (a full-window face clipped to the window is two triangles,
    // neither of which covers it alone): the polygon's number in the list
    // and how many triangles it has, else -1.  Split pieces lose it.
    int coveringPolygon = -1;
    int polygonTriangles = 0;
    int count() const { return kind; }
    bool hasPlane() const { return plane[0] != 0.0 || plane[1] != 0.0 || plane[2] != 0.0; }
};

// What depth ordering draws with.
class DepthSink {
public:
    virtual ~DepthSink() = default;
    // Pixel writes outside this rectangle are dropped.
    virtual void setPixelRegion(int x, int y, int width, int height) = 0;
    virtual void drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c) = 0;
    virtual void drawWideLine(float width, const WinVertex& a, const WinVertex& b) = 0;
    virtual void drawWidePoint(float size, const WinVertex& v) = 0;
    // A set abort flag stops construction and drawing at the next check.
    virtual bool aborted() const { return false; }
};

class DepthSorter {
public:
    static constexpr int kRegionLimit = 256;  // primitives per BSP tree

    explicit DepthSorter(DepthSink& sink) : sink_(sink) {}
    DepthSorter(const DepthSorter&) = delete;
    DepthSorter& operator=(const DepthSorter&) = delete;

    // Settings of the renderer: vector output skips only exactly flat
    // triangles; the depth tolerance is |zmax - zmin| * printTolerance /
    // toleranceFactor (or the shapes' own flatness, whichever is larger).
    bool vectorOutput = false;
    float printTolerance = 0.002f;
    float toleranceFactor = 1.0f;

    // The deferred list: primitives kept until the next flush.
    void defer(WinPrimitive&& primitive) { deferred_.push_back(std::move(primitive)); }
    int deferredCount() const { return static_cast<int>(deferred_.size()); }
    // Draws the deferred list over the region (0, 0, width, height) back to
    // front and empties it.
    void flushDeferred(int width, int height);

    // Draws and empties `list` in the pixel region x, y, width, height.
    void drawPrimitives(std::vector<WinPrimitive>& list, const int region[4], bool fragmentMode);
    // Fragment-mode drawing of one primitive (the common case, without the
    // list): shapes in the fixed order, pixel region as given.
    void drawNow(const WinPrimitive& primitive, const int region[4]);

    // ---- the pieces, for the renderers that need them and for tests
    // Appends the shapes of a primitive (ear clipping for polygons).
    static void toShapes(const WinPrimitive& primitive, std::vector<Shape>& out);
    // Triangles of a vertex ring by ear clipping, as index triples into
    // ring, counter-clockwise; at most n - 2 of them.
    static void triangulate(const std::vector<WinVertex>& ring, std::vector<int>& triangles);
    // The vertex a fraction t of the way from a to b: position, normal,
    // colour and texture coordinates linear in t.
    static WinVertex interpolate(const WinVertex& a, const WinVertex& b, double t);
    // Plane, outcode and covering flag of a shape in a region.
    static void prepareShape(Shape& shape, const int region[4]);
    // Whether an opaque polygon is convex and contains the four corners of
    // the region (on its edges counts).
    static bool polygonCoversRegion(const WinPrimitive& primitive, const int region[4]);
    // Draws shapes in the fixed order: triangles (flat ones skipped), then
    // segments whose first end is opaque, then points.
    void drawInOrder(const std::vector<Shape>& shapes);
    void drawInOrder(const std::vector<const Shape*>& shapes);

    // Counters for tests and diagnostics (since construction).
    int regionsDrawn = 0;  // regions drawn without further subdivision
    int treesBuilt = 0;    // BSP trees built
    int shapesSplit = 0;   // shapes cut by a splitter plane

private:
    struct Node;
    bool flatTriangle(const Shape& s) const;
    // All three window y values on one pixel row (exactly equal for vector output).
    bool rowsEqual(float y0, float y1, float y2) const;
    void drawRegion(std::vector<WinPrimitive>& list, const int region[4], bool fragmentMode);
    Node* build(std::vector<Shape>& shapes, double eps, const int region[4]);
    void drawTree(const Node* node);
    static void freeTree(Node* node);

    DepthSink& sink_;
    std::vector<WinPrimitive> deferred_;
    std::vector<Shape> scratch_;  // shapes of one fragment-mode primitive
};
