#pragma once
// The abstract renderer: everything in the scene is drawn, picked and read
// back through it.  Designed around per-object display lists: each primitive
// kind has a "compile" operation (list build) and an "emit" operation (list
// draw); a list backend builds real lists in compile and replays them in
// emit, an immediate backend ignores compile and draws in emit.
//
// The virtual operations below are in a FIXED ORDER: backends override them
// by position, so never insert, remove or reorder one; kOperationNames lists
// the order and the render tests check the vtable against it.
//
// This class is complete in itself (no pure virtuals): the base behaviour is
// a no-op or a stored value, so a window-less viewer uses it as its renderer.
#include <string>
#include <vector>

#include "render/PickRecord.h"
#include "scene/SceneTypes.h"

class vkoViewer;
class GLWindow;
class StrokeFont;
struct TextsRecord;
struct LabelRecord;
struct ImageRecord;
struct TextureRecord;

// Points of a vertex list: count and x y z per point, colour values per point
// (or none) and a single colour value (below 0: none).
struct PointSet {
    int count = 0;
    const float* vertices = nullptr;      // 3 * count
    float colour = -1.0f;                 // single colour value
    const float* colourValues = nullptr;  // count or none
    float size = 1.0f;                    // pixels
};

// Line segments between vertices.
struct LineSet {
    int numVertices = 0;
    const float* vertices = nullptr;        // 3 * numVertices
    float vertexColour = -1.0f;
    const float* vertexColours = nullptr;   // numVertices or none
    int numSegments = 0;
    const int* segments = nullptr;          // 2 * numSegments vertex indices
    float segmentColour = -1.0f;
    const float* segmentColours = nullptr;  // numSegments or none
    float width = 1.0f;                     // pixels; below 0 keeps the current width
    bool smooth = false;                    // ends take their vertex colours
};

// Polygon faces with their normals and vertex-to-face adjacency.
struct FaceSet {
    int numVertices = 0;
    const float* vertices = nullptr;         // 3 * numVertices
    float vertexColour = -1.0f;
    const float* vertexColours = nullptr;    // numVertices or none
    const int* vertexFaceStart = nullptr;    // numVertices
    const int* vertexFaces = nullptr;        // at start[v]: count, then face numbers
    int numFaces = 0;
    int numFaceEntries = 0;
    const int* faceEntries = nullptr;        // per face: n, then n vertex indices
    float faceColour = -1.0f;
    const float* faceColours = nullptr;      // numFaces or none
    const float* faceNormals = nullptr;      // 3 * numFaces
    bool smooth = false;
    float transparency = 0.0f;
};

// 2D lines in normalised window coordinates (-1..1).
struct OverlayLineSet {
    int objectId = -1;
    const float* points = nullptr;        // 3 per point
    int count = 0;                        // number of lines
    const int* segments = nullptr;        // 2 * count point indices
    const float* colourValues = nullptr;  // count
};

// Placement of a 2D item (label or image) when its list is called.
struct OverlayPlacement {
    float position[3] = {0, 0, 0};  // fractions of the viewport
    float scale = 1.0f;
    bool fixedScale = false;        // images: keep the scale (no power-of-two rounding)
    int alignment = 0;              // bits 0-1 vertical, 2-3 horizontal anchor
    float extents[4] = {0, 0, 0, 0};  // item extents: min x, min y, max x, max y
};

class Graphics {
public:
    enum DrawBuffer { BufferFront = 0, BufferBack = 1 };
    enum OutputColourMode { ColourFull = 0, ColourBlackWhite = 1, ColourGrey = 2 };
    static constexpr int kMaxPickHits = 1024;
    static constexpr int kPickIdLimit = 16777216;  // first identifier that cannot be used
    static constexpr int kNumOperations = 111;     // destructor included

    explicit Graphics(vkoViewer* owner = nullptr, GLWindow* window = nullptr);
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    // ---------------------------------------------------------------------
    // Virtual operations, fixed slot order (see kOperationNames).
    virtual ~Graphics();
    virtual void setColour(const float rgb[3], float alpha);
    virtual void setColourValue(float value);
    virtual void getWindowSize(int* width, int* height);
    virtual void setProjection(bool orthographic);
    virtual void setBackground(int kind, const float colour1[3], const float colour2[3]);
    virtual void chooseBuffer(int buffer);
    virtual void setLighting(bool lit, bool specular);
    virtual void pickRectangle(int x0, int y0, int x1, int y1, bool onlyInside);
    virtual void pickPolygon(int count, const int* points, bool onlyInside);  // x, y pairs
    virtual bool pickOnSegment(const float p1[3], const float p2[3], float out[3]);
    virtual bool pickDepthPoint(float out[3]);
    virtual bool isUsable(int purpose);  // purpose 0: a coverage frame
    virtual void finishFrame();
    virtual void setViewport(float left, float bottom, float width, float height);
    virtual void getViewport(float* left, float* bottom, float* width, float* height);
    virtual void setScissor(float left, float bottom, float width, float height);
    virtual bool beginFrame(int viewportIndex, bool clear);
    virtual void endFrame();
    virtual void drawAxis(int axisType);
    virtual void renderBorder(bool current);
    virtual void paintBackground();
    virtual void drawRuler(float scale);
    virtual void enableClipPlane(int plane, const float p1[3], const float p2[3], const float p3[3], float offset);
    virtual void disableClipPlane(int plane);
    virtual void reenableClipPlane(int plane);
    virtual bool findDepthNear(int x0, int y0, int x1, int y1, int* x, int* y, float* depth);
    virtual bool projectToFloat(const double point[3], float window[3]);
    virtual bool projectFloat(const float point[3], float window[3]);
    virtual bool project(const double point[3], double window[3]);
    virtual bool unprojectFloat(const float window[3], float point[3]);
    virtual bool unprojectToFloat(const double window[3], float point[3]);
    virtual bool unproject(const double window[3], double point[3]);
    virtual void rubberBand(int phase, int x, int y);  // 1 start, 2 none, else update
    // RGB bytes, first row = top of the window; empty when nothing to grab.
    virtual std::vector<unsigned char> grabImage(int* width, int* height);
    virtual void drawPoint(const float p[3], float red, float green, float blue, float size);
    virtual void drawLine(const float p[3], const float q[3], float red, float green, float blue, float width);
    virtual void drawSegmentValue(const float p[3], const float q[3], float colourValue);
    virtual void drawFaceOutline(int face, const float* vertices, const int* faceEntries, int numFaceEntries,
                                 float red, float green, float blue);
    virtual void drawPickPolygon(int count, const int* points);  // x, y pairs in window pixels
    virtual void drawMirrorPlane(const float points[9], const float bounds[6]);
    // (value, red, green, blue) entries sorted by value; not owned.
    virtual void setColourMap(const float* entries, int numEntries);
    virtual float coverage(float pixelScale);
    virtual void pushMatrix();
    virtual void popMatrix();
    virtual void loadIdentity();
    virtual void scale(float x, float y, float z);
    virtual void translate(float x, float y, float z);
    virtual void rotate(float x, float y, float z, float angleDegrees);
    virtual void multMatrix(const float* matrix);  // 16 floats column-major, or null (ignored)
    // axis: two points; scaleCentre and scale may be null.
    virtual void applyPlacement(float angle, const float axis[6], const float translation[3],
                                const float* scaleCentre, const float* scale);
    virtual bool setMirror(const float p1[3], const float p2[3], const float p3[3]);
    virtual void reserved1(float a, float b, float c);
    virtual void beginOverlayList(int objectId, int overlayKind);
    virtual void endOverlayList();
    virtual void beginOverlayPass(int pass);
    virtual void endOverlayPass();
    virtual void beginOverlayCall(int objectId, int overlayKind);
    virtual void endOverlayCall();
    virtual void callOverlayItem(int overlayKind, const OverlayPlacement& placement);
    virtual void deleteOverlayLists(int objectId, int textCount);
    virtual void setCurrentObject(int objectId);
    virtual void compileOverlayLines(const OverlayLineSet& lines);
    virtual bool emitOverlayLines(const OverlayLineSet& lines);
    virtual void compileText2D(int objectId, const TextsRecord& texts);
    virtual bool emitText2D(int objectId, const TextsRecord& texts);
    virtual void compileLabel(const LabelRecord& label);
    virtual bool emitLabel(const LabelRecord& label);
    virtual void compileImage(const ImageRecord& image);
    virtual bool emitImage(const ImageRecord& image);
    virtual void afterObjectPass();
    virtual void flushPass(int flag);
    virtual void beginList(int objectId, int listKind, bool textured, const TextureRecord* texture);
    virtual void endList();
    virtual void compileText3D(int listKind, const TextsRecord& texts);
    virtual bool emitText3D(int listKind, const TextsRecord& texts);
    virtual void compilePoints(const PointSet& points);
    virtual bool emitPoints(const PointSet& points);
    virtual void compileLines(const LineSet& lines);
    virtual bool emitLines(const LineSet& lines);
    virtual void compileFaces(const FaceSet& faces);
    virtual bool emitFaces(const FaceSet& faces);
    virtual void deleteLists(int objectId, int textCount);
    virtual void callList();
    virtual void beginCall(int objectId, int listKind, bool transparent, bool lighting, bool specular, bool textured,
                           const TextureRecord* texture, int cullingMode);
    virtual void endCall();
    virtual void beginCopy(int copyIndex);
    virtual void endCopy();
    virtual void beginObjectPass();
    virtual void endObjectPass(int flag);
    virtual void beginPrimitiveList(int objectId, int primitiveKind, bool textured, const TextureRecord* texture);
    virtual void endPrimitiveList();
    virtual void compilePrimitiveLines(const LineSet& lines);
    virtual void compilePrimitiveFaces(const FaceSet& faces);
    virtual void deletePrimitiveLists(int objectId);
    virtual void beginPrimitiveCopy(int copyIndex);
    virtual void endPrimitiveCopy();
    virtual void setPrimitiveColour(int element, float colourValue);  // below 0: first background colour
    virtual void endPrimitiveElement();
    virtual void callPrimitiveList();
    virtual void beginPrimitiveCall(int objectId, int primitiveKind, bool transparent, bool lighting, bool specular,
                                    bool textured, const TextureRecord* texture, int cullingMode,
                                    float transparency);
    virtual void endPrimitiveCall();
    virtual void beginPickCopy(int copyIndex);
    virtual void reserved2();
    virtual void setPickElement(int element, float value);
    virtual void endPickElement();
    virtual bool emitPrimitiveLines(const LineSet& lines);
    virtual bool emitPrimitiveFaces(const FaceSet& faces);
    virtual void drawPickVertex(int vertex, const float point[3], float size);
    virtual void setCulling(CullingMode mode);
    virtual void drawLine3D(const float p[3], const float q[3]);
    // ---------------------------------------------------------------------

    // Names of the virtual operations in slot order ("~Graphics" first).
    static const char* const kOperationNames[kNumOperations];

    // ---- helpers shared by the backends (not virtual)

    // Colour of a scalar value in the current map: clamped at both ends,
    // exact entry on a match, else linear interpolation.  False (rgb
    // untouched) for a value below 0 or without a map.
    bool lookupColour(float value, float rgb[3]) const;
    // Output colour conversion (reverse video, grey, black and white); none
    // in colour-pick mode.  forceReverse treats reverse video as on.
    void convertColour(float rgb[3], bool forceReverse = false) const;
    // The RGBA pixels of an image item as drawn: colours converted when the
    // image asks for it, the key colour transparent, alpha limited by the
    // item's transparency.  The record must hold width * height pixels.
    std::vector<unsigned char> imagePixels(const ImageRecord& image) const;
    static float luminance(const float rgb[3]) { return 0.299f * rgb[0] + 0.587f * rgb[1] + 0.114f * rgb[2]; }
    // Directional light position (w = 0) from the two light angles.
    void lightPosition(float out[4]) const;
    void setLightAngles(float angleXToZ, float angleZToY);
    // Plane a x + b y + c z + d = 0 through three points, divided by
    // |a| + |b| + |c|; false (all four 0) for collinear points.
    static bool planeFromPoints(const float p1[3], const float p2[3], const float p3[3], double plane[4]);
    // Smooth normal of vertex v in face f: f's normal plus the normals of
    // the other faces at v within the crease threshold, normalised.
    static void smoothNormal(int vertex, int face, const float* faceNormals, const int* vertexFaceStart,
                             const int* vertexFaces, float creaseThreshold, float out[3]);
    // Unit axes s and t of the plane that a planar texture is projected on,
    // across the projection direction (a zero direction projects along z).
    static void planarTextureAxes(const float direction[3], double s[3], double t[3]);
    // Pixel rectangle of viewport fractions in the current window; a
    // rectangle within 2 pixels of the window's right or top edge snaps to it.
    void pixelRectangle(float left, float bottom, float width, float height, int rect[4]) const;

    // Next colour-pick identifier (its colour goes to pickColour).  Past the
    // limit: error message, identifier 0 (black), the counter stays.
    int allocatePickId();
    static void pickIdColour(int id, float rgb[3]);
    // Selection hits: at most kMaxPickHits, kept sorted by increasing depth.
    bool addPickHit(const PickRecord& record);
    void clearPickHits() { pickHits.clear(); }
    const std::vector<PickRecord>& hits() const { return pickHits; }

    // Object passes rebuild lists only for renderers that keep them.
    bool keepsLists() const { return !noLists; }

    // Copies window, viewport, colour map, fonts and settings (output
    // renderers start from the on-screen one).
    void copyStateFrom(const Graphics& other);

    // ---- base state (plain fields; backends and the object passes use them)
    vkoViewer* owner = nullptr;
    GLWindow* window = nullptr;
    int fontCount = 0;
    StrokeFont* const* fonts = nullptr;  // not owned
    float eyeOffset[3] = {0.0f, 0.0f, -5.0f};
    float rulerScale = 1.0f;       // the viewport's ruler factor and unit text
    std::string rulerUnits = "m";
    float printTolerance = 0.002f;  // depth tolerance of the software renderers
    bool standAlone = false;
    bool depthOnly = false;  // draw depth only (the depth pick after a selection pass)
    // Frames drawn while this is on touch only the pixels x0..x1, y0..y1:
    // a pick that reads a small region draws and repairs just that region.
    bool frameClipOn = false;
    int frameClip[4] = {0, 0, 0, 0};

    int windowWidth = -1, windowHeight = -1;
    float viewportLeft = 0.0f, viewportBottom = 0.0f, viewportWidth = 0.0f, viewportHeight = 0.0f;
    int viewportPixels[4] = {0, 0, 0, 0};  // x, y, width, height
    int viewportIndex = 0;

    bool doubleBuffered = true;
    int drawBuffer = BufferBack;
    bool noLists = false;

    bool selectionMode = false;
    int pickRect[4] = {0, 0, 0, 0};  // x0, y0, x1, y1 pixels
    bool colourPickMode = false;
    int pickCounter = 1;
    float pickColour[3] = {0.0f, 0.0f, 0.0f};
    std::vector<PickRecord> pickHits;

    int currentObject = -1;
    int currentKind = 0;
    int currentCopy = -1;
    int currentElement = -1;  // element base
    float currentElementValue = -1.0f;
    int overlayPass = 0;

    bool transparent = false;
    bool lighting = false;
    bool specular = false;
    bool textureInUse = false;
    const TextureRecord* texture = nullptr;  // not owned
    int cullingMode = CULL_NO;
    float alpha = 1.0f;

    float creaseThreshold = 0.0f;  // cosine; 0 off
    int polygonMode = 0;           // 0 fill, 1 line, 2 point
    int polygonOffset = 2;
    bool pickable = true;
    bool mirrored = false;
    int normalsMode = 0;  // 0 off, 1 faces and normals, 2 normals only
    bool abortFlag = false;

    float lightAngleXToZ = 90.0f;
    float lightAngleZToY = 90.0f;
    bool lightPositionDirty = true;

    int backgroundKind = 0;
    float backgroundColour1[3] = {0.0f, 0.0f, 0.0f};
    float backgroundColour2[3] = {1.0f, 1.0f, 1.0f};

    int outputColourMode = ColourFull;
    bool reverseVideo = false;

    const float* colourMap = nullptr;  // 4 floats per entry, not owned
    int colourMapEntries = 0;
    float currentColour[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
    float currentColourValue = -1.0f;  // last value looked up (-1 none)
    float currentValueAlpha = -1.0f;   // alpha it was set with

    float dataBounds[6] = {0, 0, 0, 0, 0, 0};  // x min, x max, y min, y max, z min, z max
};
