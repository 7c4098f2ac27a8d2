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
