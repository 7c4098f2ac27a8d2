#pragma once
// The software renderer: the renderer interface on a small fixed-function 3D
// engine of its own that follows the OpenGL 1.1 pipeline (capabilities,
// matrices, lights and materials, colour material, texture coordinate
// generation, user clip planes, polygon offset, culling, viewport and
// scissor), identified by the standard OpenGL enumerant values but with no
// OpenGL underneath: nothing here needs a context or a display.
//
// What the engine produces is a stream of window-space primitives.  In
// fragment mode (set by the raster subclass) each finished primitive is
// converted to shapes and drawn at once; otherwise it is deferred and drawn
// back to front by DepthSorter when the list is flushed (finishFrame,
// endOverlayCall, flushPass and endObjectPass with a non-zero flag).
//
// Subclasses give the output meaning through the seven virtual operations
// after the 111 of Graphics (their order is part of the interface):
//   clearBuffers(mask)              clear colour, depth, fragments (raster)
//   drawPixels(w, h, fmt, type, px) an RGBA image at the current raster origin
//   setPixelRegion(x, y, w, h)      pixel writes outside it are dropped
//   fillFlatTriangle(a, b, c, rgba) one flat-coloured triangle (vector output)
//   drawShadedTriangle(a, b, c)     a Gouraud triangle; the base subdivides it
//                                   adaptively into flat ones for fillFlatTriangle
//   drawWideLine(width, a, b)       abstract
//   drawWidePoint(size, v)          abstract
// Triangles arrive counter-clockwise in window coordinates.
#include <memory>
#include <vector>

#include "geometry/DepthSorter.h"
#include "render/Graphics.h"
#include "render/MatrixStack.h"

// The OpenGL enumerant values the engine understands (no GL header).
namespace aegl {
enum : unsigned {
    ZERO = 0, ONE = 1,
    POINTS = 0x0000, LINES = 0x0001, LINE_LOOP = 0x0002, LINE_STRIP = 0x0003, TRIANGLES = 0x0004,
    QUADS = 0x0007, POLYGON = 0x0009,
    DEPTH_BUFFER_BIT = 0x0100, COLOR_BUFFER_BIT = 0x4000,
    LEQUAL = 0x0203, SRC_ALPHA = 0x0302, ONE_MINUS_SRC_ALPHA = 0x0303,
    FRONT = 0x0404, BACK = 0x0405, FRONT_AND_BACK = 0x0408,
    CW = 0x0900, CCW = 0x0901,
    POINT_SIZE = 0x0B11, LINE_WIDTH = 0x0B21, CULL_FACE = 0x0B44, LIGHTING = 0x0B50,
    LIGHT_MODEL_LOCAL_VIEWER = 0x0B51, LIGHT_MODEL_TWO_SIDE = 0x0B52, LIGHT_MODEL_AMBIENT = 0x0B53,
    COLOR_MATERIAL = 0x0B57, DEPTH_TEST = 0x0B71, NORMALIZE = 0x0BA1, VIEWPORT = 0x0BA2,
    MODELVIEW_MATRIX = 0x0BA6, PROJECTION_MATRIX = 0x0BA7, BLEND = 0x0BE2,
    SCISSOR_BOX = 0x0C10, SCISSOR_TEST = 0x0C11, COLOR_CLEAR_VALUE = 0x0C22,
    TEXTURE_GEN_S = 0x0C60, TEXTURE_GEN_T = 0x0C61, ZOOM_X = 0x0D16, ZOOM_Y = 0x0D17, TEXTURE_2D = 0x0DE1,
    UNSIGNED_BYTE = 0x1401, RGBA = 0x1908,
    AMBIENT = 0x1200, DIFFUSE = 0x1201, SPECULAR = 0x1202, POSITION = 0x1203,
    SPOT_DIRECTION = 0x1204, SPOT_CUTOFF = 0x1206,
    EMISSION = 0x1600, SHININESS = 0x1601, AMBIENT_AND_DIFFUSE = 0x1602,
    MODELVIEW = 0x1700, PROJECTION = 0x1701, TEXTURE = 0x1702,
    S = 0x2000, T = 0x2001, MODULATE = 0x2100, DECAL = 0x2101, TEXTURE_ENV_MODE = 0x2200,
    EYE_LINEAR = 0x2400, OBJECT_LINEAR = 0x2401, SPHERE_MAP = 0x2402,
    TEXTURE_GEN_MODE = 0x2500, OBJECT_PLANE = 0x2501, EYE_PLANE = 0x2502,
    NEAREST = 0x2600, LINEAR = 0x2601,
    TEXTURE_MAG_FILTER = 0x2800, TEXTURE_MIN_FILTER = 0x2801, TEXTURE_WRAP_S = 0x2802, TEXTURE_WRAP_T = 0x2803,
    CLAMP = 0x2900, REPEAT = 0x2901,
    CLIP_PLANE0 = 0x3000, LIGHT0 = 0x4000, POLYGON_OFFSET_FILL = 0x8037
};
}  // namespace aegl

// A texture image as it was when primitives sampled it, with the sampling
// state of that moment (depth ordering may draw it much later).
struct WinTexture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;  // 4 * width * height, first row at the bottom
    unsigned minFilter = aegl::LINEAR, magFilter = aegl::LINEAR;
    unsigned wrapS = aegl::REPEAT, wrapT = aegl::REPEAT;
    unsigned envMode = aegl::MODULATE;
    bool hasTexels() const { return width > 0 && height > 0 && !rgba.empty(); }
};

class GraphicsAEA : public Graphics {
public:
    static constexpr int kNumLights = 8;  // GL_LIGHT0..7 switch; lights 0..6 shine
    static constexpr int kNumClipPlanes = 6;

    // State is copied from `from` (window, viewport, colour map, fonts,
    // settings) when given.  With reverse video both background colours
    // become white and the two-colour background is off.
    GraphicsAEA(Graphics* from, int width, int height, int lineWidthMultiplier, bool reverse, int colourMode);
    ~GraphicsAEA() override;

    // ---- Graphics operations that differ from the base
    void setColour(const float rgb[3], float alpha) override;
    void setColourValue(float value) override;
    void setProjection(bool orthographic) override;
    void setLighting(bool lit, bool specular) override;
    void finishFrame() override;
    void setViewport(float left, float bottom, float width, float height) override;
    void setScissor(float left, float bottom, float width, float height) override;
    bool beginFrame(int viewportIndex, bool clear) override;
    void drawAxis(int axisType) override;
    void renderBorder(bool current) override;
    void paintBackground() override;
    void drawRuler(float scale) override;
    void enableClipPlane(int plane, const float p1[3], const float p2[3], const float p3[3], float offset) override;
    void disableClipPlane(int plane) override;
    void reenableClipPlane(int plane) override;
    bool projectToFloat(const double point[3], float window[3]) override;
    bool projectFloat(const float point[3], float window[3]) override;
    bool project(const double point[3], double window[3]) override;
    bool unprojectFloat(const float window[3], float point[3]) override;
    bool unprojectToFloat(const double window[3], float point[3]) override;
    bool unproject(const double window[3], double point[3]) override;
    void drawSegmentValue(const float p[3], const float q[3], float colourValue) override;
    void pushMatrix() override;
    void popMatrix() override;
    void loadIdentity() override;
    void scale(float x, float y, float z) override;
    void translate(float x, float y, float z) override;
    void rotate(float x, float y, float z, float angleDegrees) override;
    void multMatrix(const float* matrix) override;
    void beginOverlayCall(int objectId, int overlayKind) override;
    void endOverlayCall() override;
    bool emitOverlayLines(const OverlayLineSet& lines) override;
    bool emitText2D(int objectId, const TextsRecord& texts) override;
    bool emitLabel(const LabelRecord& label) override;
    bool emitImage(const ImageRecord& image) override;
    void flushPass(int flag) override;
    bool emitText3D(int listKind, const TextsRecord& texts) override;
    bool emitPoints(const PointSet& points) override;
    bool emitLines(const LineSet& lines) override;
    bool emitFaces(const FaceSet& faces) override;
    void endObjectPass(int flag) override;
    bool emitPrimitiveLines(const LineSet& lines) override;
    bool emitPrimitiveFaces(const FaceSet& faces) override;
    void drawPickVertex(int vertex, const float point[3], float size) override;
    void setCulling(CullingMode mode) override;
    void drawLine3D(const float p[3], const float q[3]) override;

    // ---- the seven operations of the software renderers (fixed order)
    virtual void clearBuffers(unsigned mask);
    virtual void drawPixels(int width, int height, unsigned format, unsigned type, const unsigned char* rgba);
    virtual void setPixelRegion(int x, int y, int width, int height);
    virtual void fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c, const float rgba[4]);
    virtual void drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c);
    virtual void drawWideLine(float width, const WinVertex& a, const WinVertex& b) = 0;
    virtual void drawWidePoint(float size, const WinVertex& v) = 0;

    // Names of the seven in slot order (after Graphics::kOperationNames).
    static constexpr int kNumExtraOperations = 7;
    static const char* const kExtraOperationNames[kNumExtraOperations];

    // ---- the engine (named after the OpenGL calls they stand for)
    void eEnable(unsigned cap);
    void eDisable(unsigned cap);
    bool eIsEnabled(unsigned cap) const;
    void eBegin(unsigned mode);
    void eVertex(float x, float y, float z = 0.0f);
    void eEnd();
    void eColour(float r, float g, float b, float a = 1.0f);  // alpha kept only with GL_BLEND on
    void eNormal(float x, float y, float z);
    void eTexCoord(float s, float t);
    void eLight(unsigned light, unsigned pname, const float* params);
    void eMaterial(unsigned face, unsigned pname, const float* params);
    void eColourMaterial(unsigned face, unsigned mode);
    void eLightModel(unsigned pname, const float* params);
    void eTexParameter(unsigned pname, unsigned value);
    void eTexEnv(unsigned mode);
    void eTexGenMode(unsigned coord, unsigned mode);
    void eTexGenPlane(unsigned coord, unsigned pname, const double plane[4]);
    void eTexImage2D(int level, unsigned internalFormat, int width, int height, unsigned format, unsigned type,
                     const unsigned char* pixels);
    void eViewport(int x, int y, int width, int height);
    void eScissor(int x, int y, int width, int height);
    void eMatrixMode(unsigned mode);
    void ePushMatrix();
    void ePopMatrix();
    void eLoadIdentity();
    void eTranslate(double x, double y, double z);
    void eRotate(double angle, double x, double y, double z);
    void eScale(double x, double y, double z);
    void eMultMatrix(const double m[16]);
    void eOrtho(double l, double r, double b, double t, double n, double f);
    void eFrustum(double l, double r, double b, double t, double n, double f);
    void ePolygonOffset(float factor, float units);
    void ePointSize(float size);
    void eLineWidth(float width);
    void eFrontFace(unsigned mode);
    void eCullFace(unsigned mode);
    void eBlendFunc(unsigned src, unsigned dst);
    void eDepthFunc(unsigned func);
    void eClearColour(float r, float g, float b, float a);
    void ePixelZoom(float x, float y);
    // Window-space clip plane (inside where a x + b y + c z + d > 0).
    void eClipPlaneWindow(int plane, const double eq[4]);
    // Queries: GL_DEPTH_TEST, GL_NORMALIZE, GL_SCISSOR_TEST, GL_CLIP_PLANEi
    // (enabled flags), GL_VIEWPORT, GL_SCISSOR_BOX, GL_COLOR_CLEAR_VALUE (as
    // int(256 c), 256 becoming 255); GL_LINE_WIDTH, GL_POINT_SIZE, GL_ZOOM_X,
    // GL_ZOOM_Y; GL_MODELVIEW_MATRIX, GL_PROJECTION_MATRIX, GL_CLIP_PLANEi.
    void eGetInteger(unsigned pname, int* out) const;
    void eGetFloat(unsigned pname, float* out) const;
    void eGetDouble(unsigned pname, double* out) const;

    // ---- tuning values and settings (subclasses set them)
    float colourTolerance = 0.0f;  // squared RGB distance, drawShadedTriangle
    float areaTolerance = 0.0f;    // square pixels, drawShadedTriangle
    float toleranceFactor = 1.0f;  // depth tolerance divisor of the BSP ordering
    bool vectorOutput = false;
    bool fragmentMode = false;
    int lineWidthMultiplier = 1;
    int imageWidth = 0, imageHeight = 0;
    bool usable = false;

    // The deferred primitives (depth-ordering mode).
    int deferredCount() const { return sorter_.deferredCount(); }
    void flushDeferred();
    DepthSorter& sorter() { return sorter_; }
    const MatrixStack& matrices() const { return matrices_; }

    // The texture snapshot that the next vertex would refer to (none when
    // texturing is off or there is no image).
    const WinTexture* currentTexture();

protected:
    // Engine state, plain so that subclasses can read it.
    struct Light {
        float ambient[4] = {0, 0, 0, 1};
        float diffuse[4] = {0, 0, 0, 1};
        float specular[4] = {0, 0, 0, 1};
        float position[4] = {0, 0, 1, 0};
        float spotDirection[3] = {0, 0, -1};
        float spotCutoff = 180.0f;
    };
    struct Material {
        float ambient[4] = {0.3f, 0.3f, 0.3f, 1};
        float diffuse[4] = {1, 1, 1, 1};
        float specular[4] = {1, 1, 1, 1};
        float emission[4] = {0, 0, 0, 1};
        int shininess = 100;
    };
    bool cullFace_ = false, blend_ = false, colourMaterial_ = false, depthTest_ = true, lighting_ = false;
    bool normalize_ = false, scissorTest_ = false, texGenS_ = false, texGenT_ = false, texture2D_ = false;
    bool polygonOffsetFill_ = false;
    bool clipEnabled_[kNumClipPlanes] = {};
    bool lightOn_[kNumLights] = {};
    unsigned depthFunc_ = aegl::LEQUAL, frontFace_ = aegl::CCW, cullMode_ = aegl::BACK;
    unsigned colourMaterialFace_ = aegl::FRONT_AND_BACK, colourMaterialMode_ = aegl::AMBIENT_AND_DIFFUSE;
    unsigned blendSrc_ = aegl::ONE, blendDst_ = aegl::ZERO;
    bool twoSide_ = true, localViewer_ = false;
    float modelAmbient_[4] = {0.3f, 0.3f, 0.3f, 1};
    Light lights_[kNumLights];
    Material front_, back_;
    float colour_[4] = {0, 0, 0, 0};
    float normal_[3] = {0, 0, 0};
    float texCoord_[2] = {0, 0};
    float pointSize_ = 1.0f, lineWidth_ = 1.0f;
    float offsetFactor_ = 0.0f, offsetUnits_ = 0.0f;
    float clearColour_[4] = {0, 0, 0, 0};
    int viewport_[4] = {0, 0, 0, 0};
    int scissor_[4] = {0, 0, 0, 0};
    double clipPlanes_[kNumClipPlanes][4] = {};
    float zoom_[2] = {1.0f, 1.0f};
    int pixelRegion_[4] = {0, 0, 0, 0};
    // texture
    unsigned minFilter_ = aegl::LINEAR, magFilter_ = aegl::LINEAR, envMode_ = aegl::MODULATE;
    unsigned genModeS_ = aegl::EYE_LINEAR, genModeT_ = aegl::EYE_LINEAR;
    double objectPlaneS_[4] = {1, 0, 0, 0}, objectPlaneT_[4] = {0, 1, 0, 0};
    double eyePlaneS_[4] = {1, 0, 0, 0}, eyePlaneT_[4] = {0, 1, 0, 0};
    unsigned wrapS_ = aegl::REPEAT, wrapT_ = aegl::REPEAT;
    int texWidth_ = 0, texHeight_ = 0;
    std::vector<unsigned char> texImage_;

    // Pixel offset of the next drawPixels origin (the image alignment and
    // the axis letters move their images by whole pixels).
    float rasterMove_[2] = {0.0f, 0.0f};
    MatrixStack matrices_;

private:
    class Sink : public DepthSink {
    public:
        explicit Sink(GraphicsAEA& g) : g_(g) {}
        void setPixelRegion(int x, int y, int w, int h) override { g_.setPixelRegion(x, y, w, h); }
        void drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c) override {
            g_.drawShadedTriangle(a, b, c);
        }
        void drawWideLine(float w, const WinVertex& a, const WinVertex& b) override { g_.drawWideLine(w, a, b); }
        void drawWidePoint(float s, const WinVertex& v) override { g_.drawWidePoint(s, v); }
        bool aborted() const override { return g_.abortFlag; }

    private:
        GraphicsAEA& g_;
    };
    class GlyphFill;

    bool* capability(unsigned cap);
    const bool* capability(unsigned cap) const;
    void matricesChanged();
    void updateDerived();
    // The lights that shine, with their directions and half vectors
    // normalised once per primitive instead of once per vertex.
    void prepareLights();
    void lightVertex(WinVertex& v, const float eyeNormal[3], bool backFacing) const;
    void texGen(WinVertex& v, const double eye[4], const float eyeNormal[3]);
    bool clipPrimitive(WinPrimitive& p);
    void finishPrimitive(WinPrimitive& p);
    void applyTexture(const TextureRecord* t, bool faces);
    void undoTexture(const TextureRecord* t, bool faces);
    void emitFacesEngine(const FaceSet& faces, bool primitive);
    void emitLinesEngine(const LineSet& lines);
    void drawTexts(const TextsRecord& texts, bool screen, const float* origin);
    void overlayProjection(double& hx, double& hy) const;
    // Orthographic -hx..hx, -hy..hy projection and an identity model-view
    // (the 2D items, the border, the background, the ruler).
    void overlayOrtho(double hx, double hy);

    Sink sink_;
    DepthSorter sorter_;
    unsigned beginMode_ = 0;
    bool inBegin_ = false;
    WinPrimitive current_;
    WinPrimitive work_;
    // Derived from the matrices, refreshed when they change.
    bool derivedValid_ = false;
    double mvp_[16] = {};
    double inverseModelView_[16] = {};
    bool inverseValid_ = false;
    // Texture snapshots live until the renderer is destroyed.
    std::vector<std::unique_ptr<WinTexture>> snapshots_;
    std::vector<float> eyeNormals_;
    struct ActiveLight {
        const Light* light = nullptr;
        float L[3] = {0, 0, 0};
        float H[3] = {0, 0, 0};
        bool shinyKnown = false, shiny = false;
    };
    ActiveLight litLights_[kNumLights];
    int litCount_ = 0;
    bool lightsDirty_ = true;  // lights, materials or capabilities changed since prepareLights
    bool textureDirty_ = true;
    int cullingSet_ = -1;
    bool lightingSet_ = false;
};
