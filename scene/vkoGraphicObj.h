#pragma once
// One scene object: a name, a process-unique id, display properties
// (addressed by ObjectProperty ids), placement, replication, clip and mirror
// planes, and an optional GraphicData with the geometry.  Rebuild flags tell
// the renderer which display lists to rebuild on the next draw.
#include <cstdio>
#include <memory>
#include <string>

#include "scene/GraphicData.h"
#include "scene/SceneTypes.h"

class vkoViewer;
class vkoViewport;
class Graphics;
struct FaceSet;
struct LineSet;
struct PointSet;

// Pass flags of the drawing entry points.
enum DrawPassFlags {
    DRAW_PASS_TRANSPARENT = 1,  // the transparent pass (else the opaque one)
    DRAW_PASS_TEXT3D = 2,       // the 3D-text pass
    DRAW_PASS_FACES_ONLY = 4,   // only the face lists
    DRAW_PASS_SPARSE = 8,       // a sparse frame (the view is moving)
};
class LinkStream;

class vkoGraphicObj {
public:
    static constexpr int kNumListFlags = int(NUM_LIST_KINDS) + int(NUM_PRIMITIVE_LIST_KINDS);  // 7
    static constexpr unsigned kAllViewportTexts = 0xFFFF;

    // name may be null (no name).
    vkoGraphicObj(vkoViewer* owner, const char* name);
    virtual ~vkoGraphicObj();
    vkoGraphicObj(const vkoGraphicObj&) = delete;
    vkoGraphicObj& operator=(const vkoGraphicObj&) = delete;

    // ---- fields, in declared order
    vkoViewer* owner = nullptr;
    std::string objectname;  // empty when none was given
    int objectid = 0;
    float offsetTrans[3] = {0, 0, 0};
    float offsetRotAxis[6] = {0, 0, 0, 0, 0, 1};
    float offsetAngle = 0.0f;
    float offsetScale[3] = {1, 1, 1};
    float mirrorPlanePt1[3] = {0, 0, 0};
    float mirrorPlanePt2[3] = {0, 0, 0};
    float mirrorPlanePt3[3] = {0, 0, 0};
    std::unique_ptr<GraphicData> data;
    int numInstances = 1;
    float replicationTrans[3] = {0, 0, 0};
    float replicationRotAxis[6] = {0, 0, 0, 0, 0, 1};
    float replicationRotAngle = 0.0f;
    bool pickable = true;
    bool overlayDirty[NUM_OVERLAY_KINDS] = {true, true, true, true};  // OverlayKind order
    unsigned textViewportDirty = kAllViewportTexts;  // bit (1 << viewport index)
    // the five ListKinds, then the two PrimitiveListKinds
    bool listDirty[kNumListFlags] = {true, true, true, true, true, true, true};
    bool visibility = true;
    bool visibility2 = true;
    bool overlay = false;
    bool faces = false;
    bool lines = true;
    bool vertices = false;
    bool lighting = false;
    bool specular = true;
    int cullingMode = CULL_NO;
    bool smoothFaces = true;
    bool smoothLines = false;
    bool transparent = true;
    int lineWidth = 1;
    float transparencyLevel = 0.0f;
    bool cuttingPlaneVisible = false;
    bool mirrorPlaneVisible = false;
    bool mirrorPlanePlaneVisible = false;
    bool singleList = true;
    int pickBase = 0;
    float pickColour[3] = {0, 0, 0};
    float creaseAngle = 75.0f;
    int polygonMode = POLYGON_FILL;
    bool drawTexture = true;
    int viewTransformMask = 7;  // 1 translation, 2 rotation, 4 scale
    float pointSize = 5.0f;
    int polygonOffset = 2;
    bool lodAlways = false;
    int drawMode = DRAW_NORMAL;
    float cuttingPlanePt1[3] = {0, 0, 0};
    float cuttingPlanePt2[3] = {0, 0, 0};
    float cuttingPlanePt3[3] = {0, 0, 0};
    float cuttingPlaneD = 0.0f;
    bool dataLoaded = false;

    // ---- identity
    void setName(const char* name);  // null leaves the name
    // The process-wide id counter (next id to be handed out).
    static int NextObjectId();

    // ---- properties (ObjectProperty ids); unknown ids are ignored
    void setProperty(int id, float value);
    void toggleProperty(int id);
    // Bools as 0 or 1; unknown ids give 0 with unknown set.
    float getProperty(int id, bool& unknown) const;

    // ---- placement (each marks every list dirty) and replication
    void setPlacementAngle(float degrees);
    void setPlacementAxis(const float axis[6]);
    void setPlacementTranslation(const float translation[3]);
    void setPlacementScale(const float scale[3]);
    void setInstances(int count);  // stored as at least 1
    void setInstanceAngle(float degrees);  // below 0 or >= 360 stored as 0
    void setInstanceAxis(const float axis[6]);
    void setInstanceTranslation(const float translation[3]);
    bool hasInstances() const { return numInstances > 1; }

    // ---- planes: three points each (9 floats)
    void setClipPlane(const float points[9]);
    void getClipPlane(float points[9]) const;
    void setMirrorPlane(const float points[9]);

    bool isVisible() const { return visibility && visibility2; }

    // ---- data
    // Releases the current data and reads new data from the owner's input
    // stream.  True on success (dataLoaded, faces on, queued for reduction).
    bool loadData();
    // The same from a given stream (scene files, tests).
    bool loadData(LinkStream* input);
    void releaseData();
    void markAllDirty();
    GraphicData& ensureData();  // creates empty data when absent

    // Frame-rate style text: a white one-entry colour map and one 2D text
    // (position in viewport fractions, height as for 2D texts).
    void makeText(const float position[3], const char* text, float height = 0.1f);
    // A 2D image decoded from an image file held in memory.  False (and no
    // image) when the bytes do not decode to a non-empty image.
    bool loadImage(const unsigned char* bytes, int size, const float position[3], float scale, int alignment);
    // Everything drawn in one colour.
    void setSolidColour(float red, float green, float blue);
    // Appends vertices and connectivity (indices relative to the appended
    // vertices).  Drops the reduced copy and its worker.  False when the
    // input is inconsistent (nothing is appended then).
    bool appendMesh(int numVertices, const float* coords, int numLineSegs, const int* lineSegs, int numFaces,
                    int numFaceEntries, const int* faceEntries);

    // The level-of-detail worker of the data has stopped (GUI thread): its
    // reduced faces become drawable.  True when a reduced mesh was taken.
    bool reductionFinished();

    // Drawing statistics: visible faces (unless excluded) and segments.
    void countItems(bool excludeFaces, long long& faceCount, long long& segmentCount) const;

    // ---- bounds and drawing
    // Moves the clip plane offset; a step of 0 is 1 % of the largest extent.
    void nudgeClipPlane(float step, bool forward);
    // World box (x min, x max, y min, y max, z min, z max) with placement
    // and, when asked, replication; false without data or with empty bounds.
    bool worldBounds(float out[6], bool includeInstances) const;
    void draw3D(Graphics* renderer, vkoViewport* viewport, int passFlags);
    void drawPrimitive(Graphics* renderer, vkoViewport* viewport, int passFlags);
    void draw2D(Graphics* renderer, bool secondPass, int viewportIndex);

    // ---- text forms
    // Diagnostic dump, every line indented by `indent` blanks (at least one).
    void dump(FILE* file, int indent) const;
    std::string dumpText(int indent) const;
    // Object section of the state and scene files ("\tkey = value" lines);
    // save writes to a file descriptor and is false when writing fails.
    bool save(int fd, bool withCounts) const;
    std::string saveText(bool withCounts) const;
    // One line of the section; false for null texts, a wrong number count
    // or an unknown key.
    bool restore(const char* key, const char* value);

private:
    bool placementIsIdentity() const;
    bool beginPlacement(Graphics* renderer, vkoViewport* viewport);
    void endPlacement(Graphics* renderer, bool pushed);
    void applyReplicationStep(Graphics* renderer) const;
    void preparePick(Graphics* renderer, bool opaquePass, bool textPass);
    FaceSet faceSet(bool reducedMesh) const;
    LineSet lineSet() const;
    PointSet pointSet() const;
    bool kindHasData(int kind) const;
    bool kindEnabled(int kind) const;
    bool emitKind(Graphics* renderer, int kind, bool compile);
    // Asks the owner's renderer to delete every display list of this object.
    void deleteRendererLists();
};
