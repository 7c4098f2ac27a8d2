#pragma once
// A rectangle of the drawing window with its own camera, object list,
// display switches, clip plane, light direction, ruler, undo ring of views
// and polygon (lasso) selection.
#include <cstdio>
#include <string>
#include <vector>

class vkoViewer;
class vkoGraphicObj;
class Transform;
class Graphics;

// The redraw mark of a viewport: reads as the 0 / 1 flag, and counts how
// often it was set, so that code can tell whether anything marked the
// viewport since a given moment.
class RedrawMark {
public:
    RedrawMark& operator=(int value) {
        value_ = value ? 1 : 0;
        if (value) ++settings_;
        return *this;
    }
    operator int() const { return value_; }
    unsigned settings() const { return settings_; }

private:
    unsigned char value_ = 0;
    unsigned settings_ = 0;
};

class vkoViewport {
public:
    static constexpr int kUndoSlots = 50;
    static constexpr int kMaxLassoPoints = 100;

    vkoViewport(vkoViewer* owner, const char* name);
    ~vkoViewport();
    vkoViewport(const vkoViewport&) = delete;
    vkoViewport& operator=(const vkoViewport&) = delete;

    vkoViewer* owner = nullptr;
    std::string viewportname;
    unsigned char isCentered = 0;
    unsigned char autofit = 0;  // fit the view to its objects before each frame
    unsigned char isVisibleFlag = 0;
    unsigned char isAxisVisibleFlag = 1;
    unsigned char isRulerVisibleFlag = 1;
    unsigned char isCuttingPlaneVisibleFlag = 0;
    unsigned char isBorderVisibleFlag = 0;
    unsigned char isOrthographic = 1;
    unsigned char isRotationEnabled = 1;
    RedrawMark needsRedraw;
    unsigned char sparse = 0;
    unsigned char selectionPass = 0;
    unsigned char colourPickPass = 0;
    int axisType = 0;
    float rulerScale = 1.0f;
    std::string rulerUnits = "m";
    float cuttingPlanePt1[3] = {0, 0, 0};
    float cuttingPlanePt2[3] = {0, 0, 0};
    float cuttingPlanePt3[3] = {0, 0, 0};
    float cuttingPlaneD = 0.0f;
    float lightAngleXToZ;
    float lightAngleZToY;
    float eyeOffset[3] = {0, 0, -5};
    float left = 0, bottom = 0, width = 0, height = 0;
    std::vector<vkoGraphicObj*> objects;  // sorted by object name, not owned
    Transform* view = nullptr;            // owned, "main"
    Transform* undoRing[kUndoSlots] = {};  // owned
    int undoStart = 0, undoCursor = 0, undoEnd = 0;
    int lassoCount = 0;
    int lassoPoints[kMaxLassoPoints][2] = {};
    int rubberPoint[2] = {-1, -1};

    void setName(const char* text);
    void setRulerUnits(const char* text);
    void setRectangle(float l, float b, float w, float h);
    void getRectangle(float& l, float& b, float& w, float& h) const;
    // Pixel rectangle in the owner's window: left, bottom, width, height.
    void pixelRectangle(int& x, int& y, int& w, int& h) const;
    // Inclusive pixel corners.
    void pixelBounds(int& x0, int& y0, int& x1, int& y1) const;
    void toViewport(int& x, int& y) const;
    void fromViewport(int& x, int& y) const;

    void addObject(const char* name);
    void removeObject(const char* name);
    bool hasObject(const vkoGraphicObj* object) const;
    int objectCount(bool excludeInternal) const;

    void setClipPlane(const float points[9]);
    void getClipPlane(float points[9]) const;
    void setLightAngles(float a, float b);
    void adjustLightAngles(float da, float db);
    void resetLightAngles(bool defaults);
    void setEyeOffset(float x, float y, float z);

    // Camera and bounds.
    bool worldBounds(float out[6]) const;
    void nudgeClipPlane(float step, bool forward);
    void setup(Graphics* renderer);
    bool fitView(Graphics* renderer);
    void resetView();
    // Types 0..4 change the view, 5 push, 6 undo, 7 redo; false when nothing changed.
    bool changeView(int type, float a, float b, float c, float d);
    bool hasTransparentFaces() const;
    bool hasTexturedFaces() const;
    bool hasImage() const;
    // Position in the owner's viewport list (0-based).
    int index() const;
    // The full draw sequence; false when nothing was drawn.
    bool draw(Graphics* renderer, bool secondary);

    // ---- text forms (vkoViewportState.cpp)
    // Diagnostic dump, every line indented by `indent` blanks (at least one).
    void dump(FILE* file, int indent) const;
    // The "++ VIEWPORT" ... "-- VIEWPORT" section; false on a write error.
    bool save(int fd) const;
    // Reads the section after its "++ VIEWPORT" line up to "-- VIEWPORT";
    // false on a malformed line or the end of the file (the values read so
    // far stay).
    bool restore(int fd);

    void clearLasso();
    bool addLassoPoint(int x, int y, bool close);
    bool removeLassoPoint();
    void setRubberPoint(int x, int y);

private:
    void createTransforms();
    int findObject(const char* name, bool& found) const;
    bool edgeCrossesLasso(int qx0, int qy0, int qx1, int qy1, int endingAtQ0Index) const;
};
