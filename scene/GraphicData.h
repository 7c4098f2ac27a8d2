#pragma once
// Geometry and attached items of one graphic object.  Arrays are std::vector
// that are either empty (absent) or hold exactly their count of elements, so
// renderers can pass data() + count.  Colour values are scalars looked up in
// the colour map; a value below 0 means "no colour".
#include <atomic>
#include <cfloat>
#include <memory>
#include <string>
#include <vector>

#include "scene/SceneTypes.h"

class vkoViewer;
class LinkStream;
class LODThread;
class Graphics;
class vkoGraphicObj;

// Colour map: entries (value, red, green, blue), sorted by increasing value.
struct ColourMapRecord {
    int numEntries = 0;
    std::vector<float> entries;  // 4 * numEntries

    // Colour of a value: clamped at both ends, exact entry on a match,
    // otherwise linear interpolation between the neighbouring entries.
    // False (rgb untouched) for a value below 0 or an empty map.
    bool lookup(float value, float rgb[3]) const;
    void setSingle(float red, float green, float blue);  // one entry, value 0
};

// 2D image drawn in viewport space.
struct ImageRecord {
    int placement = 0;        // sent with the image, kept as is
    int colourConversion = 0; // 1: pixels pass the output colour conversion
    int alignment = 0;        // overlay placement bits of the renderer
    int keyColour[3] = {-1, -1, -1};  // transparent key colour (red, green, blue)
    float transparency = 0.0f;
    float position[3] = {0, 0, 0};  // fractions of the viewport
    float scale = 1.0f;
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // RGBA, 4 * width * height, first row at the bottom

    bool present() const { return width > 0 && height > 0 && !pixels.empty(); }
};

// 2D texts (kind 0, positions in viewport fractions) or 3D texts (kind 1,
// positions in world coordinates).
struct TextsRecord {
    int numTexts = 0;
    std::vector<std::string> strings;  // numTexts each below
    std::vector<float> positions;      // 3 * numTexts
    std::vector<float> heights;
    std::vector<float> widths;         // wrap widths (2D texts)
    std::vector<float> angles;         // degrees
    std::vector<int> alignments;       // 0 left, 1 centred, 2 right
    int font = 0;                      // 0 serif, otherwise sans serif
    float colour = 0.0f;               // colour value for all texts
    int kind = 0;
};

// Small 2D drawing in viewport space.
struct LabelRecord {
    float position[2] = {0, 0};
    float size = 0.0f;  // full size (the wire carries half of it)
    int options[2] = {0, 0};
    // filled polygons and segments share these points
    int numPoints = 0;
    std::vector<float> points;       // 2 * numPoints
    std::vector<float> pointValues;  // numPoints
    int numSegs = 0;
    std::vector<int> segs;           // 2 * numSegs point indices
    std::vector<float> segValues;    // numSegs
    int numFaces = 0;
    int numFaceEntries = 0;
    std::vector<int> faceEntries;    // per face: n, then n point indices
    std::vector<float> faceValues;   // numFaces or empty (then faceColour)
    float faceColour = -1.0f;
    bool frameBox = false;           // draw a white frame around the label
    // texts
    int numTexts = 0;
    int textFont = 0;
    float textSize = 0.0f;
    std::vector<float> textPositions;  // 2 * numTexts
    std::vector<int> textAlignments;
    std::vector<float> textSizes;
    std::vector<float> textAngles;
    std::vector<std::string> textStrings;
    float textColour = 0.0f;
};

// Texture image with its projection.
struct TextureRecord {
    std::vector<unsigned char> pixels;  // RGBA, 4 * width * height
    int width = 0;
    int height = 0;
    float direction[3] = {0, 0, 1};  // projection direction (unit)
    float origin[2] = {0, 0};
    float size = 1.0f;
    float angle = 0.0f;  // degrees
    int kind = 0;        // TextureKind
    float transparency = 0.0f;
    int repeat = 0;
    int mode = 0;  // 1 decal, otherwise modulate

    bool isBackdrop() const { return kind == TEXTURE_BACKDROP_ROTATING || kind == TEXTURE_BACKDROP_FIXED; }
};

// A face mesh with its derived normals and vertex-to-face adjacency; used
// for the generated primitive's template and the reduced copy.
struct MeshRecord {
    int numVertices = 0;
    std::vector<float> vertexCoords;     // 3 * numVertices
    std::vector<float> vertexColours;    // numVertices or empty
    int numLineSegs = 0;
    std::vector<int> lineSegs;           // 2 * numLineSegs
    int numFaces = 0;
    int numFaceEntries = 0;
    std::vector<int> faceEntries;        // numFaceEntries
    std::vector<float> faceNormals;      // 3 * numFaces
    std::vector<int> vertexFaceStart;    // numVertices
    std::vector<int> vertexFaces;

    void clear() { *this = MeshRecord(); }
};

// Generated shape of the OBJECT item: a template drawn once per instance.
struct PrimitiveRecord {
    int type = -1;  // -1: none
    float a = 0.0f;
    float b = 0.0f;
    int resolution = 0;
    int numInstances = 0;
    std::vector<float> colours;      // numInstances
    std::vector<float> lineColours;  // numInstances
    std::vector<float> scales;       // numInstances; 0 = not drawn
    std::vector<float> positions;    // 3 * numInstances
    std::vector<float> frames;       // 6 * numInstances: direction, up vector
    MeshRecord shape;                // template (vertices, lines, faces, normals)

    bool present() const { return type != -1; }
};

class GraphicData {
public:
    GraphicData(vkoViewer* owner, LinkStream* input);
    // Stops and waits for the level-of-detail worker first.
    ~GraphicData();
    GraphicData(const GraphicData&) = delete;
    GraphicData& operator=(const GraphicData&) = delete;

    // ---- mesh
    int numVertices = 0;
    std::vector<float> vertexCoords;  // 3 * numVertices
    // per axis (min, max); all six at FLT_MAX: empty
    float bounds[6] = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    std::vector<float> vertexColours;  // numVertices or empty
    float vertexColour = -1.0f;
    std::vector<float> faceNormals;     // 3 * numFaces
    std::vector<int> vertexFaceStart;   // numVertices
    std::vector<int> vertexFaces;
    int numLineSegs = 0;
    std::vector<int> lineSegs;          // 2 * numLineSegs
    std::vector<float> lineColours;     // numLineSegs or empty
    float lineColour = -1.0f;
    int facePickBase = 0;
    int numFaces = 0;
    int numFaceEntries = 0;
    std::vector<int> faceEntries;       // per face: n, then n vertex indices
    std::vector<float> faceColours;     // numFaces or empty
    float faceColour = -1.0f;

    // ---- level-of-detail copy (built by the worker)
    MeshRecord reduced;
    // GUI thread only: the worker has been seen to stop after writing
    // `reduced`; until then drawing leaves the reduced mesh alone.
    bool reducedReady = false;

    // ---- 2D lines in normalised window coordinates -1..1, z = 0
    int numOverlays = 0;
    std::vector<float> overlayPoints;   // 6 * numOverlays
    std::vector<float> overlayColours;  // numOverlays
    std::vector<int> overlaySegs;       // 2 * numOverlays: (2i, 2i + 1)

    // ---- attached items (absent = null)
    PrimitiveRecord primitive;
    std::unique_ptr<ImageRecord> image;
    std::unique_ptr<LabelRecord> label;
    std::unique_ptr<TextsRecord> texts;
    std::unique_ptr<TextureRecord> texture;
    std::unique_ptr<ColourMapRecord> colourMap;

    vkoViewer* owner = nullptr;
    LinkStream* input = nullptr;
    // Level-of-detail worker, owned; created with the data, removed for
    // good when geometry is appended.
    LODThread* lodWorker = nullptr;

    // ---- queries
    bool hasImage() const { return image && image->present(); }
    bool hasBackdrop() const { return texture && texture->isBackdrop(); }
    bool boundsEmpty() const;
    // Colour of a value in the colour map (false: no map or value < 0).
    bool lookupColour(float value, float rgb[3]) const;

    // ---- derived data
    void computeBounds();  // from vertexCoords; empty when there are none
    // Newell normals of the faces; drops faces with fewer than three
    // non-degenerate edges or a zero normal, compacting faceEntries in place.
    long long computeFaceNormals();  // the faces dropped as unreadable
    void buildAdjacency();
    // When the per-item values are all equal and no single value is set,
    // the single value takes it; a single value >= 0 drops the array.
    void collapseColours();
    // ---- level-of-detail worker (GUI thread)
    // Starts a reduction with errorBound ("VIEWER_DECIMATE", when set,
    // replaces it).  Refused for 100 faces or fewer, a backdrop, a negative
    // bound, no worker or a worker still running.
    bool startReduction(float errorBound);
    bool isReducing() const;
    void waitForReduction();  // until the worker no longer runs
    void requestAbort();
    // Once the worker no longer runs: takes its result for drawing (sets
    // reducedReady).  True when a reduced mesh was newly taken.
    bool acceptReducedMesh();
    // Aborts a running reduction and waits for it; true when one was
    // running (the reduced mesh is then empty and the worker idle).
    bool cancelReduction();
    // Aborts, waits for and deletes the worker (if any) and drops the
    // reduced mesh.
    void stopLodWorker();

    // ---- reading and writing geometry items; these are implemented by the
    // geometry loader (geometry/GeometryLoader.cpp), which may use the
    // raster readers that this folder cannot include.
    // Reads one object's items from the input stream up to DONE.
    bool LoadData(bool singleList);
    // Writes the items as geometry tokens (without the closing DONE).
    bool SaveData(LinkStream& out) const;
    // Replaces the image record by the decoded image file bytes; false (no
    // image) when they do not decode to a non-empty image.
    bool LoadImage(const unsigned char* bytes, int size);
    // Compiles (list build) or emits the generated primitive's faces
    // (kind 0) or lines (kind 1) for every instance; false when nothing was
    // drawn.  Implemented with the glyph generators in geometry/.
    bool EmitPrimitive(Graphics* renderer, int kind, bool compile, const vkoGraphicObj& object) const;

    // Shared by the template, the reduced copy and the plain mesh.  A face
    // with an index outside 0..numVertices-1 or running past the entry list
    // is dropped instead of being read.  faceValues (per-face colours, may
    // be null or empty) is compacted with the faces so it stays aligned.
    // unreadable (may be null) receives the number of faces dropped for an
    // index out of range or for running past the entry list.
    static void ComputeFaceNormals(const float* coords, int numVertices, std::vector<int>& faceEntries,
                                   int& numFaces, int& numFaceEntries, std::vector<float>& normals,
                                   std::vector<float>* faceValues = nullptr, long long* unreadable = nullptr);
    static void BuildAdjacency(int numVertices, const std::vector<int>& faceEntries, int numFaces,
                               std::vector<int>& vertexFaceStart, std::vector<int>& vertexFaces);
    // The normals ComputeFaceNormals gives when it drops no face; false
    // (normals incomplete) when some face would be dropped.  Only reads the
    // faces, so it can run beside BuildAdjacency.
    static bool MeasureFaces(const float* coords, int numVertices, const std::vector<int>& faceEntries,
                             int numFaces, int numFaceEntries, std::vector<float>& normals);
    // computeFaceNormals and buildAdjacency (and computeBounds when asked),
    // side by side for large meshes; returns the faces dropped as unreadable.
    long long computeNormalsAndAdjacency(bool withBounds = false);
};
