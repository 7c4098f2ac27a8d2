// Frame drawing.
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

void vkoViewer::Redraw() {
    if (drawingSuspended) return;
}

void vkoViewer::RefreshAll() {
    MarkAllViewports(true);
    Redraw();
}
