#pragma once
// The on-screen renderer: the Graphics operations as OpenGL 1.x
// fixed-function calls and GLU, built on display lists.  Every object list
// becomes one GL display list (id 297 + its slot in the list table) that a
// list call replays with per-call state (transparency, lighting, texture,
// selection name).
//
// Fixed display list ids: 1-8 large and 9-16 small axis letters, 97 + 96 f +
// (c - 32) stroke-font glyphs, 289 + 2 type + size axis triads, 295 the
// border, 296 the two-colour background, 297 and above the object lists.
//
// Every operation needs a current OpenGL context (compatibility profile) and
// is a no-op without one.  The renderer never assumes framebuffer 0: the
// window or the off-screen helper sets targetFramebuffer (a QOpenGLWidget
// draws into its own framebuffer object).
#include <array>
#include <functional>
#include <vector>

#include "render/Graphics.h"
#include "render/StrokeFont.h"

class QOpenGLContext;
class vkoViewport;

class GraphicsOGL : public Graphics {
public:
    static constexpr int kLetterListsLarge = 1;
    static constexpr int kLetterListsSmall = 9;
    static constexpr int kGlyphListBase = 97;
    static constexpr int kAxisListBase = 289;
    static constexpr int kBorderList = 295;
    static constexpr int kBackgroundList = 296;
    static constexpr int kObjectListBase = 297;
    static constexpr int kMaxGlyphFonts = 2;  // ids 97..288
    static constexpr int kSelectionBufferSize = 6144;
    static constexpr int kListTableGrowth = 2000;

    // Key categories of the list table.
    enum Category { CategoryOverlay = 0, CategoryMesh = 1, CategoryPrimitive = 2 };

    // Presence table of colour-pick identifiers (one byte per identifier)
    // with the count of distinct identifiers present.
    struct PickIdSet {
        std::vector<unsigned char> present;  // kPickIdLimit bytes once used
        int count = 0;
        std::vector<int> marked;  // identifiers set since the last reset
        bool has(int id) const { return id > 0 && id < int(present.size()) && present[size_t(id)]; }
        void add(int id) {
            present[size_t(id)] = 1;
            marked.push_back(id);
            ++count;
        }
        // Empties the set; the table is cleared where it was marked, not
        // rewritten whole (16 MB) for every pick.
        void reset() {
            if (present.size() != size_t(kPickIdLimit)) present.assign(size_t(kPickIdLimit), 0);
            for (int id : marked) present[size_t(id)] = 0;
            marked.clear();
            count = 0;
        }
    };
    // Turns an identifier set into pick records (the viewer knows which
    // object owns which identifiers).
    using PickConverter = std::function<void(const PickIdSet&, std::vector<PickRecord>&)>;

    // Needs a current context for the fixed lists; without one they are
    // built by the first beginFrame that has one.
    explicit GraphicsOGL(vkoViewer* owner = nullptr, GLWindow* window = nullptr);
    ~GraphicsOGL() override;

    // ---- Graphics operations (same order as the base class)
    void setColour(const float rgb[3], float alpha) override;
    void setColourValue(float value) override;
    void setProjection(bool orthographic) override;
    void setBackground(int kind, const float colour1[3], const float colour2[3]) override;
    void chooseBuffer(int buffer) override;
    void setLighting(bool lit, bool specular) override;
    void pickRectangle(int x0, int y0, int x1, int y1, bool onlyInside) override;
    void pickPolygon(int count, const int* points, bool onlyInside) override;
    bool pickOnSegment(const float p1[3], const float p2[3], float out[3]) override;
    bool pickDepthPoint(float out[3]) override;
    void finishFrame() override;
    void setViewport(float left, float bottom, float width, float height) override;
    void setScissor(float left, float bottom, float width, float height) override;
    bool beginFrame(int viewportIndex, bool clear) override;
    void endFrame() override;
    void drawAxis(int axisType) override;
    void renderBorder(bool current) override;
    void paintBackground() override;
    void drawRuler(float scale) override;
    void enableClipPlane(int plane, const float p1[3], const float p2[3], const float p3[3], float offset) override;
    void disableClipPlane(int plane) override;
    void reenableClipPlane(int plane) override;
    bool findDepthNear(int x0, int y0, int x1, int y1, int* x, int* y, float* depth) override;
    bool projectToFloat(const double point[3], float window[3]) override;
    bool project(const double point[3], double window[3]) override;
    bool unproject(const double window[3], double point[3]) override;
    void rubberBand(int phase, int x, int y) override;
    std::vector<unsigned char> grabImage(int* width, int* height) override;
    void drawPoint(const float p[3], float red, float green, float blue, float size) override;
    void drawLine(const float p[3], const float q[3], float red, float green, float blue, float width) override;
    void drawSegmentValue(const float p[3], const float q[3], float colourValue) override;
    void drawFaceOutline(int face, const float* vertices, const int* faceEntries, int numFaceEntries, float red,
                         float green, float blue) override;
    void drawPickPolygon(int count, const int* points) override;
    void drawMirrorPlane(const float points[9], const float bounds[6]) override;
    float coverage(float pixelScale) override;
    void pushMatrix() override;
    void popMatrix() override;
    void loadIdentity() override;
    void scale(float x, float y, float z) override;
    void translate(float x, float y, float z) override;
    void rotate(float x, float y, float z, float angleDegrees) override;
    void multMatrix(const float* matrix) override;
    void beginOverlayList(int objectId, int overlayKind) override;
    void endOverlayList() override;
    void callOverlayItem(int overlayKind, const OverlayPlacement& placement) override;
    void deleteOverlayLists(int objectId, int textCount) override;
    void compileOverlayLines(const OverlayLineSet& lines) override;
    bool emitOverlayLines(const OverlayLineSet& lines) override;
    void compileText2D(int objectId, const TextsRecord& texts) override;
    bool emitText2D(int objectId, const TextsRecord& texts) override;
    void compileLabel(const LabelRecord& label) override;
    bool emitLabel(const LabelRecord& label) override;
    void compileImage(const ImageRecord& image) override;
    bool emitImage(const ImageRecord& image) override;
    void compileText3D(int listKind, const TextsRecord& texts) override;
    bool emitText3D(int listKind, const TextsRecord& texts) override;
    void compilePoints(const PointSet& points) override;
    bool emitPoints(const PointSet& points) override;
    void compileLines(const LineSet& lines) override;
    bool emitLines(const LineSet& lines) override;
    void compileFaces(const FaceSet& faces) override;
    bool emitFaces(const FaceSet& faces) override;
    void deleteLists(int objectId, int textCount) override;
    void callList() override;
    void beginPrimitiveList(int objectId, int primitiveKind, bool textured, const TextureRecord* texture) override;
    void endPrimitiveList() override;
    void compilePrimitiveLines(const LineSet& lines) override;
    void compilePrimitiveFaces(const FaceSet& faces) override;
    void deletePrimitiveLists(int objectId) override;
    void callPrimitiveList() override;
    bool emitPrimitiveLines(const LineSet& lines) override;
    bool emitPrimitiveFaces(const FaceSet& faces) override;
    void drawPickVertex(int vertex, const float point[3], float size) override;
    void setCulling(CullingMode mode) override;

    // ---- backend settings and state (plain fields)
    // Framebuffer the frames are drawn into and read from (a QOpenGLWidget's
    // defaultFramebufferObject(), the off-screen helper's object, or 0 for a
    // window-system buffer).
    unsigned targetFramebuffer = 0;
    // Swaps the window's buffers (set by the window; none off-screen).
    std::function<void()> swapBuffers;
    // Pick method of the current pick draw (the viewer's pickMode; 5 rests).
    int pickMethod = 5;
    // Panorama output: symmetric 90-degree perspective frustum.
    bool panoramaProjection = false;
    int faceBatch = 1000;  // "VIEWER_FACE_LIST"
    int lineBatch = 500;   // "VIEWER_LINE_LIST"
    // Colour picks: the identifiers found by the last pickRectangle or
    // pickPolygon, and the conversion that fills pickHits from them (none:
    // the records stay empty).
    PickIdSet pickIds;
    PickConverter pickConverter;

    // Whether a list of that key exists (tests, diagnostics).
    bool hasList(int category, int objectId, int kind) const;
    int listCount() const { return static_cast<int>(entries_.size()); }
    // Display list id of a key, 0 when there is none.
    unsigned listId(int category, int objectId, int kind) const;
    // First pick identifier given to the faces of an object in this
    // colour-pick frame (mesh or primitive faces), 0 when none.
    int facePickBase(int objectId, bool primitive) const;
    // The usual conversion for one viewport's objects (last to first,
    // internal objects skipped), by pick method 4 (objects) or 1 and 2
    // (faces).
    static void RecordsFromPickIds(const vkoViewport& viewport, const GraphicsOGL& renderer, int method,
                                   const PickIdSet& ids, std::vector<PickRecord>& out);

    // Builds the fixed lists when a context is current (idempotent).
    bool initialiseGL();
    bool glReady() const;

private:
    bool backgroundDirty_ = true;  // clear colour and background list need refreshing
    struct Key {
        int category = 0, objectId = 0, kind = 0;
        bool operator<(const Key& o) const {
            if (objectId != o.objectId) return objectId < o.objectId;
            if (category != o.category) return category < o.category;
            return kind < o.kind;
        }
        bool operator==(const Key& o) const {
            return objectId == o.objectId && category == o.category && kind == o.kind;
        }
    };
    struct Entry {
        Key key;
        int slot = 0;
    };
    // Draws a glyph by calling its display list.
    class GlyphLists : public StrokeFont::GlyphSink {
    public:
        void drawGlyph(Graphics& g, const StrokeFont& font, int fontIndex, int code) override;
    };

    int findEntry(const Key& key) const;  // index or -1
    unsigned openList(int category, int objectId, int kind);
    void closeList();
    void deleteList(int category, int objectId, int kind);
    int overlayKindKey(int kind) const { return kind == OVERLAY_TEXTS ? 3 + 4 * viewportIndex : kind; }

    void buildLetterLists();
    void buildAxisLists();
    void buildBorderList();
    void buildBackgroundList();
    void ensureGlyphLists();
    void setupLighting();
    void bindTarget();
    unsigned colourBuffer(bool front) const;
    void applyDeviceColour(const float rgb[3], float a);
    void invalidateCaches();

    void emitFacesGL(const FaceSet& faces, bool primitive);
    // Faces of a colour-pick draw: one identifier per face (pick method 1)
    // or one colour for all, through vertex arrays.
    void emitPickFacesGL(const FaceSet& faces, bool primitive);
    // Per vertex, the sides of the scissor box it lies beyond in the window
    // (Cohen-Sutherland bits); empty when scissoring is off.
    struct PickScratch;
    void scissorOutcodes(const float* vertices, int count, PickScratch& out) const;
    void emitLinesGL(const LineSet& lines, bool primitive);
    void emitPointsGL(const PointSet& points);
    void setupTexture();
    void drawNormals(const FaceSet& faces);
    // Calls the current object's list of that category with the per-call
    // state; with drawDirect the items are drawn immediately in its place
    // (colour-pick draws, which must not bake identifiers into the lists).
    void callListOf(int category, const std::function<void()>* drawDirect = nullptr);
    // In a colour-pick draw: draws directly under the list-call state and
    // returns true; otherwise false (the caller calls its list).
    bool drawPickDirect(int category, const std::function<void()>& draw);
    void readIdentifiers(const std::vector<unsigned char>& mask, const int rect[4], bool onlyInside);
    void collectSelectionHits(int hitCount);

    QOpenGLContext* context_ = nullptr;
    bool fixedListsBuilt_ = false;
    int glyphFontsBuilt_ = 0;
    const StrokeFont* glyphFonts_[kMaxGlyphFonts] = {nullptr, nullptr};
    std::vector<Entry> entries_;  // sorted by key
    std::vector<int> freeSlots_;
    int nextSlot_ = 0;
    size_t capacity_ = 0;
    bool listOpen_ = false;
    int glCulling_ = -1;
    bool lightingOn_ = false;
    std::vector<unsigned> selectionBuffer_;
    bool pickEdgePass_ = false;  // a colour-pick draw of face outlines in black
    struct PickScratch {  // kept between pick draws: fresh memory is slow to touch
        static constexpr unsigned char kBehind = 0x10;
        std::vector<unsigned char> outcodes;  // per vertex: sides beyond the scissor box, or kBehind
        std::vector<float> window;            // per vertex: window x and y
        const float* forVertices = nullptr;   // what the codes were made for
        int forCount = 0;
        double matrix[16] = {};
        int box[4] = {}, viewport[4] = {};
        std::vector<float> positions[3];
        std::vector<unsigned char> colours[3];
    } pickScratch_;
    std::vector<std::pair<int, int>> facePickBases_[2];  // (object id, first id): mesh, primitive
    int faceNamesObject_ = -1;
    // Rubber band: anchor, last rectangle, saved edge pixels.
    int rubberAnchor_[2] = {0, 0};
    int rubberRect_[4] = {0, 0, 0, 0};
    std::vector<unsigned char> rubberSaved_;
    bool rubberValid_ = false;
    // Extents of the labels (min x, min y, max x, max y) by object id.
    std::vector<std::pair<int, std::array<float, 4>>> labelExtents_;
    std::vector<std::pair<int, std::array<int, 2>>> imageSizes_;
};
