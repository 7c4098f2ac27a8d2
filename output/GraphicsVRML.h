#pragma once
// A renderer that writes the scene of one viewport as a VRML 2.0 world
// instead of drawing it.  Every object's geometry is defined once and shown
// through switches that three buttons of the world control (lines on or
// off; faces lit, translucent, unlit or hidden; backdrop on or off).  The
// buttons, the light and the 2D overlays follow the viewer, so they stay in
// front while the model is examined.
//
// Needs no OpenGL context and no display: the matrix operations work on a
// software model-view stack, and nothing is projected.
//
// beginFrame opens the file (written beside its final name and moved over
// it by endFrame only when every byte went out, so a failed write never
// replaces an earlier good world) and writes the header; endFrame closes it.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "render/Graphics.h"
#include "render/MatrixStack.h"

namespace recordfile {
class ReplacingFile;
}

class GraphicsVRML : public Graphics {
public:
    static constexpr int kWindowSize = 700;

    // Takes colour map, fonts and settings from `from`; writes `fileName`.
    GraphicsVRML(const Graphics& from, const std::string& fileName);
    ~GraphicsVRML() override;

    bool beginFrame(int viewportIndex, bool clear) override;
    void endFrame() override;

    void pushMatrix() override;
    void popMatrix() override;
    void loadIdentity() override;
    void scale(float x, float y, float z) override;
    void translate(float x, float y, float z) override;
    void rotate(float x, float y, float z, float angleDegrees) override;
    void multMatrix(const float* matrix) override;
    void applyPlacement(float angle, const float axis[6], const float translation[3], const float* scaleCentre,
                        const float* scale) override;

    void beginOverlayPass(int pass) override;
    void endOverlayPass() override;
    bool emitOverlayLines(const OverlayLineSet& lines) override;
    bool emitText2D(int objectId, const TextsRecord& texts) override;
    bool emitLabel(const LabelRecord& label) override;
    bool emitImage(const ImageRecord& image) override;
    bool emitText3D(int listKind, const TextsRecord& texts) override;
    bool emitPoints(const PointSet& points) override;
    bool emitLines(const LineSet& lines) override;
    bool emitFaces(const FaceSet& faces) override;
    void beginCopy(int copyIndex) override;
    void endCopy() override;
    // A primitive's instances carry their own transforms (one per element),
    // each the whole model-view; a copy transform around them would apply
    // the view twice.
    void beginPrimitiveCopy(int copyIndex) override;
    void setPickElement(int element, float value) override;
    void endPickElement() override;
    bool emitPrimitiveLines(const LineSet& lines) override;
    bool emitPrimitiveFaces(const FaceSet& faces) override;
    void drawPickVertex(int vertex, const float point[3], float size) override;

    const std::string& fileName() const { return fileName_; }
    // Whether the last frame's file was written completely and is in place.
    bool written() const { return written_; }
    // The model-view matrix of the own stack (tests, placement checks).
    const double* modelView() const { return stack_.matrix(MatrixStack::ModelView); }

    // A face of a face set with its place in the input.
    struct WritableFace {
        int face;
        const int* vertices;
        int count;
    };

private:
    // Output is suppressed without a file and in the mirrored pass.
    bool writing() const { return frameOpen_ && !mirrored; }
    void put(const char* text);
    void putf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void flushBuffer(bool force);
    void closeFile(bool keep);

    // DEF name on first use (true), USE afterwards (false).
    bool define(const std::string& name);
    std::string name3D(const char* what) const;  // "my<D>d<id><what>"
    std::string switchName(const char* prefix, const char* what) const;

    void writeHeader();
    void writeCurrentTransform();
    void openCurrentTransform();  // "Transform {", the current transform, "children ["
    void writeFaceIndices(const std::vector<WritableFace>& faces);
    void writeSegmentIndices(const int* segments, const std::vector<int>& valid);
    // Colour of a value through the map and the output conversion; false
    // when there is no map or no value.
    bool valueColour(float value, float rgb[3]) const;
    void elementColour(float rgb[3]) const;
    int faceChoice() const;

    bool textureExported() const;
    void writeTexture(const std::string& name);
    void writeTextureCoordinates(const std::string& name, const FaceSet& f);
    void writeCoordinates(const std::string& name, int count, const float* vertices, bool mirrorCopy);
    bool writeVertexColours(const std::string& name, int count, float single, const float* values);
    void writeLitShape(const std::string& geometry, const std::string& texture, const float* emissive,
                       bool transparentChoice, float transparencyValue);
    void writeSphere(const float point[3], float size, const float* colour, int choice);
    void writeText(const char* text, float size, float angle, int alignment, int font, float colour,
                   const float* position2D, float wrap);

    std::string fileName_;
    std::unique_ptr<recordfile::ReplacingFile> replacing_;
    bool frameOpen_ = false;
    std::string buffer_;
    bool failed_ = false;
    bool written_ = false;

    MatrixStack stack_;
    std::set<std::string> defined_;
    char dimension_ = '3';
    float currentScale_ = 1.0f;
    // Which of the nested transforms this renderer opened (none is opened
    // without a file or in the mirrored pass, so none is closed there).
    bool copyOpen_ = false;
    bool overlayOpen_ = false;
    bool elementOpen_ = false;
};
