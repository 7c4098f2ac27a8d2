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

// Pick notifications to the host.  The library carries default versions
// that do nothing; the host's GUI layer replaces them by defining its own.
// Records of a pick (count records).
VIEWER_EXPORT void DmeshPickedObject(int count, const PickRecord* records);
// The picked surface point (null: none) and the MouseFunction code of the
// pick that found it.
VIEWER_EXPORT void DmeshPickedPoint(const float* point, int code);
// A dragged object ended at this placement translation.
VIEWER_EXPORT void DmeshMovedObject(int objectId, float x, float y, float z);
