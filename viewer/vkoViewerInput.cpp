// Input that the GL window hands over.  The pointer and key interpreters
// plug in here; until they bind actions, input only ends movements.
#include <cstdlib>

#include "render/VWindow.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

void vkoViewer::ExitProcess(int status) {
    ExitHook hook = SetExitHook(nullptr);
    SetExitHook(hook);
    if (hook)
        hook(status);
    else
        std::exit(status);
}

void vkoViewer::MousePressed(VWindow*) {}
void vkoViewer::MouseReleased(VWindow*) {}
void vkoViewer::MouseDoubleClicked(VWindow*) {}
void vkoViewer::MouseMoved(VWindow*) {}
void vkoViewer::WheelTurned(VWindow*) {}
bool vkoViewer::KeyPressed(VWindow*) { return true; }

void vkoViewer::EndInteraction() {
    interacting = false;
    SetViewMoving(false);
    if (currentViewport && currentViewport->sparse) {
        currentViewport->sparse = 0;
        currentViewport->needsRedraw = 1;
    }
    Redraw();
}
