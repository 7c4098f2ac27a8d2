#pragma once
// Functions the library exports to the host application and the program.
class QWidget;
class vkoViewer;
struct PickRecord;

#define VIEWER_EXPORT __attribute__((visibility("default")))

// Builds a viewer (see the usage text for args); none on failure.
VIEWER_EXPORT vkoViewer* CreateViewer(QWidget* parent, bool noWindow, bool standAlone, const char* args);
// Loads a graphic data file, scene file or URL into the viewer.
VIEWER_EXPORT int ViewerLoadDataFile(vkoViewer* viewer, const char* path, int mode, int flag);

// Pick notifications to the host, called by the mouse interpreter.  The
// library's own versions forward to the hooks the GUI layer installs (its
// pick handler) and do nothing while none are installed, so a viewer
// without the GUI layer links and runs unchanged.  They are weak: a program
// that links the engine archives may still define its own.
// Records of a pick (count records).
VIEWER_EXPORT void DmeshPickedObject(int count, const PickRecord* records);
// The picked surface point (null: none) and the MouseFunction code of the
// pick that found it.
VIEWER_EXPORT void DmeshPickedPoint(const float* point, int code);
// A dragged object ended at this placement translation.
VIEWER_EXPORT void DmeshMovedObject(int objectId, float x, float y, float z);

// The receivers of the three notifications above; a null member is not
// called.
struct PickNotificationHooks {
    void (*pickedObject)(int count, const PickRecord* records) = nullptr;
    void (*pickedPoint)(const float* point, int code) = nullptr;
    void (*movedObject)(int objectId, float x, float y, float z) = nullptr;
};
// Installs the hooks (copied); null removes them.
VIEWER_EXPORT void SetPickNotificationHooks(const PickNotificationHooks* hooks);
