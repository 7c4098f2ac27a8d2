// Saved cameras, the CAMERA token, view changes and view synchronisation.
#include <cstdio>
#include <cstring>
#include <string>

#include "scene/Transform.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

SavedCamera* vkoViewer::FindSavedCamera(const char* name) const {
    return name ? SavedCamera::Find(const_cast<vkoViewer*>(this), name) : nullptr;
}

SavedCamera* vkoViewer::AddSavedCamera(const char* name) {
    auto* camera = new SavedCamera(this, name ? name : "");
    camera->view.reset();
    camera->view.name = name ? name : "";
    SavedCamera::Add(this, camera);
    return camera;
}

bool vkoViewer::ApplySavedCamera(const char* name, vkoViewport* viewport) {
    SavedCamera* camera = FindSavedCamera(name);
    if (!camera || !viewport) return false;
    // The viewport keeps its own transform name ("main").
    std::string keep = viewport->view->name;
    viewport->view->copy(camera->view);
    viewport->view->name = keep;
    viewport->needsRedraw = 1;
    viewChangedPending = true;
    PropagateView(viewport);
    Redraw();
    return true;
}

int vkoViewer::ReadCameraToken(const char* name) {
    SavedCamera* camera = FindSavedCamera(name);
    if (camera) {
        camera->view.reset();
        camera->view.name = name;
    } else {
        camera = AddSavedCamera(name);
    }
    std::snprintf(currentCameraName, sizeof(currentCameraName), "%s", name);
    static const char* const keys[6] = {"scale", "defscale", "pivot point", "pan", "rotation quaternion",
                                        "rotation xyz"};
    for (int i = 0; i < 6; ++i) {
        int length = 0;
        if (!link.ReadInt(length)) return -1;
        std::string value;
        int r = ReadTokenText(length, value);
        if (r < 0) return r;
        if (r == 0) continue;  // refused value: the camera keeps its default there
        if (i >= 4 && value == "not defined") continue;
        camera->view.restore(keys[i], value.c_str());
    }
    ApplySavedCamera(currentCameraName, currentViewport);
    return 1;
}

void vkoViewer::TransformView(int type, float a, float b, float c, float d, bool redraw) {
    if (!currentViewport) return;
    currentViewport->changeView(type, a, b, c, d);
    if (type != 5 && type != 8) {
        viewChangedPending = true;
        PropagateView(currentViewport);
    }
    if (redraw) Redraw();
}

void vkoViewer::PropagateView(vkoViewport* source) {
    if (!viewSync || !source) return;
    const Transform& from = *source->view;
    for (vkoViewport* v : viewports) {
        if (v == source || !v->isVisibleFlag) continue;
        Transform& to = *v->view;
        to.pan[0] = from.pan[0];
        to.pan[1] = from.pan[1];
        std::memcpy(to.pivot, from.pivot, sizeof(to.pivot));
        to.scale = from.scale;
        if (v->isRotationEnabled) to.rotation = from.rotation;
        v->needsRedraw = 1;
    }
}

void vkoViewer::SetViewSync(bool on) {
    viewSync = on;
    if (on) {
        PropagateView(currentViewport);
        Redraw();
    }
}
