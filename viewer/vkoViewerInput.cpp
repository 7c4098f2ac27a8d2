// Input that the GL window hands over: the pointer handlers of the
// interpreter (press, move, release, double click, wheel) and the end of a
// movement.  Keys: vkoViewerKeys.cpp.
#include <algorithm>
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

namespace {
constexpr int kDayMs = 24 * 60 * 60 * 1000;

// Milliseconds since the press; the window clock restarts at midnight.
int sincePress(const VWindow* w) {
    int elapsed = w->elapsedMs(w->pressTimeMs);
    if (elapsed < 0) elapsed += kDayMs;
    return elapsed;
}
}  // namespace

void vkoViewer::MousePressed(VWindow* w) {
    if (!w) return;
    RecordEvent(w, 1);
    if (w->heldButton != -1) return;
    vkoViewport* v = ViewportAt(w->pointerX, w->pointerY);
    if (!v) return;
    SelectViewportAt(w->pointerX, w->pointerY);
    w->previousActiveViewport = w->activeViewport;
    w->activeViewport = v;
    if (viewportClickedCallback) viewportClickedCallback(this);
    v->pixelRectangle(w->activeLeft, w->activeBottom, w->activeWidth, w->activeHeight);
    w->activeSize = std::max(1, std::min(w->activeWidth, w->activeHeight));
    w->pressX = w->previousX = w->pointerX;
    w->pressY = w->previousY = w->pointerY;
    w->pressTimeMs = w->timeMs();
    w->heldButton = w->button;
    w->heldModifiers = w->modifiers;
    w->pressState = VWindow::kPressPending | VWindow::kPressUnconsumed;
    if (MouseBinding* b = FindMouseBinding(w->heldButton, w->heldModifiers)) w->setCursorIndex(b->cursor);
}

void vkoViewer::MouseMoved(VWindow* w) {
    if (!w) return;
    RecordEvent(w, 4);
    vkoViewport* const before = currentViewport;
    if (w->heldButton == -1 && w->activeViewport) {
        currentViewport = w->activeViewport;
        if (interpreterPickMode == 0 || interpreterPickMode == 3) {
            PickSelectAround(w);
            ReportPick(5);
        }
        ChooseCursorAt(w);
    }
    if (polygonSelecting && polygonViewport) polygonViewport->setRubberPoint(w->pointerX, w->pointerY);

    if (w->heldButton != -1 && w->activeViewport) {
        currentViewport = w->activeViewport;
        MouseBinding* b = FindMouseBinding(w->heldButton, w->heldModifiers);
        if (b) {
            const long long dx = w->pointerX - w->pressX, dy = w->pointerY - w->pressY;
            const bool clickPossible = b->click || b->pickCallback || interpreterPickMode != 5;
            // While a click is still possible the pointer has not left the
            // press position as far as the drag actions are concerned: the
            // first drag step covers the whole way from there.
            if (clickPossible && dx * dx + dy * dy < kClickDistanceSquared && sincePress(w) < kClickMs) {
                currentViewport = before;
                return;
            }
            // Copies: an action may replace the tables (polygon selection).
            const MouseAction press = b->press, drag = b->drag;
            if (w->pressState & VWindow::kPressPending) {
                w->pressState &= ~VWindow::kPressPending;
                if (press) {
                    const int x = w->pointerX, y = w->pointerY;
                    w->pointerX = w->pressX;
                    w->pointerY = w->pressY;
                    (this->*press)(w);
                    w->pointerX = x;
                    w->pointerY = y;
                }
            }
            if (interpreterPickMode != 5 && w->cursorIndex == 1 && draggingEnabled) w->setCursorIndex(3);
            if (drag) (this->*drag)(w);
        }
        w->previousX = w->pointerX;
        w->previousY = w->pointerY;
    } else if (w->heldButton == -1 && polygonSelecting) {
        if (currentViewport) currentViewport->needsRedraw = 1;
        Redraw();
    }
    currentViewport = before;
}

void vkoViewer::MouseReleased(VWindow* w) {
    if (!w) return;
    RecordEvent(w, 2);
    if (!w->activeViewport || w->heldButton == -1 || w->button != w->heldButton) return;
    currentViewport = w->activeViewport;
    if (!mouseTable.empty()) w->setCursorIndex(mouseTable.front().cursor);
    const MouseBinding* found = FindMouseBinding(w->heldButton, w->heldModifiers);
    w->heldButton = -1;
    if (found) {
        // Copies: an action may replace the tables (polygon selection).
        const MouseBinding b = *found;
        if (b.click && (w->pressState & VWindow::kPressPending) && interpreterPickMode == 5) {
            w->pressState = 0;
            if (w->activeViewport == w->previousActiveViewport) (this->*b.click)(w);
        }
        if (b.pickCallback && (w->pressState & VWindow::kPressPending)) {
            w->pressState = 0;
            PointPickWithCallback(w, b.pickCallback);
        }
        if (w->pressState & VWindow::kPressUnconsumed) {
            if ((w->pressState & VWindow::kPressPending) && b.press) {
                const int x = w->pointerX, y = w->pointerY;
                w->pointerX = w->pressX;
                w->pointerY = w->pressY;
                (this->*b.press)(w);
                w->pointerX = x;
                w->pointerY = y;
            }
            w->pressState = 0;
            if (b.release) (this->*b.release)(w);
        }
    }
    ViewChangedNotification();
    w->pressState = 0;
    w->heldButton = -1;
}

void vkoViewer::MouseDoubleClicked(VWindow* w) {
    if (!w) return;
    RecordEvent(w, 3);
    if (!w->activeViewport) return;
    currentViewport = w->activeViewport;
    if (MouseBinding* b = FindMouseBinding(w->button, w->modifiers)) {
        const MouseAction action = b->doubleClick;
        if (action) (this->*action)(w);
    }
    w->pressState = 0;
}

void vkoViewer::WheelTurned(VWindow* w) {
    if (!w) return;
    RecordEvent(w, 5);
    if (w->heldButton != -1 || !w->activeViewport) return;
    currentViewport = w->activeViewport;
    if (viewportClickedCallback) viewportClickedCallback(this);
    w->heldModifiers = w->modifiers;
    for (const WheelBinding& b : wheelTable)
        if (b.modifiers == w->heldModifiers) {
            const MouseAction action = b.action;
            if (action) (this->*action)(w);
            break;
        }
    ViewChangedNotification();
}

void vkoViewer::EndInteraction() {
    interacting = false;
    SetViewMoving(false);
    if (currentViewport && currentViewport->sparse) {
        currentViewport->sparse = 0;
        currentViewport->needsRedraw = 1;
    }
    Redraw();
}
