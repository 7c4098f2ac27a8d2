#pragma once
// The view transform of a viewport: pan, pivot point, rotation and uniform
// scale, changed through ModifyValues and handed to a renderer as a short
// matrix sequence whose parts can be masked per object.  Saved cameras are
// named transforms in the viewer's list; the undo ring of a viewport holds
// copies of its transform.
#include <cstdio>
#include <string>

#include "scene/Quaternion.h"

class vkoViewer;
class Graphics;

class Transform {
public:
    // Parts of apply's mask.
    enum Mask { MaskTranslation = 1, MaskRotation = 2, MaskScale = 4, MaskAll = 7 };
    // ModifyValues change types.
    enum Change { ChangeRotate = 0, ChangePan = 1, ChangePivot = 2, ChangeTravel = 3, ChangeZoom = 4 };
    // Single-precision limits the scale never leaves, zoom limit or not.
    static constexpr float kAbsoluteMaxScale = 3.4028236e19f;
    static constexpr float kAbsoluteMinScale = 1.1754943e-19f;
    static constexpr int kUndoSlots = 50;

    explicit Transform(vkoViewer* owner = nullptr, const char* name = "");
    Transform(const Transform& other);
    Transform& operator=(const Transform& other);
    ~Transform() = default;

    // Pivot 0, scale and defscale 1, pan 0, rotation -90 degrees about x
    // (the model's +z axis points up the screen), appliedMask -1.
    void reset();
    void copy(const Transform& from);

    // loadIdentity, then by mask: scale (4), pan (1), rotation (2), -pivot (1).
    void apply(Graphics* renderer, int mask);

    // Change types 0..4 (see Change); others warn and change nothing.
    // Non-finite arguments are ignored (the transform must stay drawable).
    void ModifyValues(int type, float a, float b, float c, float d);

    void rotateWorld(float angleDegrees, int axis) { rotation.rotateWorld(angleDegrees, axis); }
    void rotateLocal(float angleDegrees, int axis) { rotation.rotateLocal(angleDegrees, axis); }
    void saveRotation() { rotation.save(); }
    void restoreRotation() { rotation.restore(); }
    void swapRotation() { rotation.swap(); }
    void rotationMatrix(float m[16]) { rotation.toMatrix(m); }

    // Centres the bounds (x min, x max, y min, y max, z min, z max) and
    // scales them to fill the renderer's viewport with a 1.1 margin.
    void fitToBounds(Graphics* renderer, bool orthographic, const float bounds[6]);

    // Diagnostic text dump at the given indent.
    void dump(FILE* file, int indent) const;
    // The "NEW_VIEW {" block of state and camera files; false on a write error.
    bool save(int fileHandle) const;
    // One key line of that block.  Unknown keys are accepted; a wrong count
    // of numbers (or a non-finite one) fails and changes nothing.
    bool restore(const char* key, const char* value);

    // Shows the KRV_BACKGROUND_ROTATE setting matching the current rotation.
    void reportBackdropSetting();

    // Undo ring of a viewport: kUndoSlots slots, indices wrap.
    static void UndoPush(Transform* const slots[], int& start, int& cursor, int& end, const Transform& current);
    static bool Undo(Transform* const slots[], int& start, int& cursor, int& end, Transform& current);
    static bool Redo(Transform* const slots[], int& start, int& cursor, int& end, Transform& current);

    // Whether the zoom limit is on (the owner's LIMIT_ZOOM; on without owner).
    bool zoomLimited() const;

    // ---- fields
    std::string name;
    vkoViewer* owner = nullptr;
    float pan[2] = {0.0f, 0.0f};
    float pivot[3] = {0.0f, 0.0f, 0.0f};
    Quaternion rotation;
    float scale = 1.0f;
    float defscale = 1.0f;
    int appliedMask = -1;
    const void* cached[2] = {nullptr, nullptr};  // cleared on reset and copy, never dereferenced here

private:
    bool currentViewportIsPerspective() const;
    float limitFactor(double factor) const;
};

// A named camera in the viewer's saved-camera list.
struct SavedCamera {
    SavedCamera(vkoViewer* owner, const char* name) : view(owner, name) {}
    Transform view;
    SavedCamera* next = nullptr;

    // Lookup by exact name in the viewer's list.
    static SavedCamera* Find(vkoViewer* viewer, const char* name);
    // Appends camera (taking ownership), replacing one of the same name.
    static void Add(vkoViewer* viewer, SavedCamera* camera);
    static void FreeAll(vkoViewer* viewer);
};
