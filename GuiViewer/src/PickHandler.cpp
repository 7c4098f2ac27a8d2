#include "GuiViewer/src/PickHandler.h"

#include <QLabel>
#include <QStatusBar>

#include <cstdio>
#include <limits>
#include <set>

#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/AppWindowBase.h"
#include "GuiViewer/src/host/ParamWgt.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "render/GLWindow.h"
#include "scene/vkoGraphicObj.h"
#include "viewer/ViewerExports.h"
#include "viewer/vkoViewer.h"

namespace {

PickHandler* registered = nullptr;

// MouseFunction codes of the point reports.
constexpr int kCodePointPick = 14;
constexpr int kCodeHoverPick = 18;
constexpr int kCodeAreaPick = 19;
constexpr int kCodeAreaPickInside = 24;

void PickedObject(int count, const PickRecord* records) {
    if (registered) registered->setPickedObject(count, records);
}

void PickedPoint(const float* point, int code) {
    if (!registered) return;
    registered->setPickedPoint(point, code == kCodeHoverPick || code == kCodeAreaPickInside,
                               code == kCodeAreaPick || code == kCodeAreaPickInside, code == kCodePointPick);
}

void MovedObject(int objectId, float x, float y, float z) {
    if (!registered) return;
    const float translation[3] = {x, y, z};
    registered->setMovedObject(objectId, translation);
}

vkoViewer* EngineOf(ViewerWindow* window) { return window ? window->getViewer() : nullptr; }

}  // namespace

PickData PickData::fromViewerName(const QString& viewerName, const QString& path) {
    PickData d;
    d.path = path;
    d.viewerName = viewerName;
    d.name = QStringUtils::getNameFromPath(path);
    d.type = QStringUtils::getTypeFromPath(path);
    d.domain = viewerName.section(':', 0, 0);
    return d;
}

PickHandler::PickHandler(ViewerWindow* w) : window(w) {
    if (registered) std::fprintf(stderr, "ERROR: PickHandler already initialized\n");
    registered = this;
    // The engine reports to the GUI layer only while a handler exists.
    PickNotificationHooks hooks;
    hooks.pickedObject = PickedObject;
    hooks.pickedPoint = PickedPoint;
    hooks.movedObject = MovedObject;
    SetPickNotificationHooks(&hooks);
    if (window) window->setPickType(ViewerWindow::PickType(1));
    statusLabel = new QLabel("Specify a value or pick from the viewer");
    statusLabel->setObjectName("Status Label");
}

PickHandler::~PickHandler() {
    if (registered == this) {
        registered = nullptr;
        SetPickNotificationHooks(nullptr);
    }
    delete statusLabel.data();
}

PickHandler* PickHandler::registeredHandler() { return registered; }

std::vector<float> PickHandler::noPoint() { return std::vector<float>(3, std::numeric_limits<float>::max()); }

QString PickHandler::pathFromViewerName(const QString& name) {
    QString domain, path;
    return ViewerWindow::splitViewerName(name, domain, path) ? path : QString();
}

void PickHandler::setPickType(PickType type) {
    if (!window) return;
    if (type == PickFaces) {
        window->updateBBoxSelection(std::set<QString>());
        window->setPickType(ViewerWindow::PickType(0));
    } else if (type == PickObjects) {
        window->setPickType(ViewerWindow::PickType(1));
    }
}

void PickHandler::setPickMethod(PickMethod) {}
void PickHandler::setFaceSources(const QStringList&) {}
void PickHandler::getPickedFaces(std::vector<QString>&) {}
void PickHandler::clearPickedFaces() {}

void PickHandler::setPickedObject(int count, const PickRecord* records) {
    if (!window) return;
    if (count > 0 && !records) count = 0;
    if (window->getPickType() == 0) {
        pickedFaces.clear();
        vkoViewer* engine = EngineOf(window);
        for (int i = 0; i < count; ++i)
            if (engine && engine->FindGraphicById(records[i].objectId)) pickedFaces.push_back(records[i]);
        facesPointed(pickedFaces);
        return;
    }
    pickedObjects.clear();
    for (int i = 0; i < count; ++i) {
        const QString viewerName = getPickRecordName(records[i]);
        if (viewerName.isEmpty()) continue;
        const QString path = getPathFromViewerName(viewerName);
        // Instances of one object share its path and count once; engine
        // objects without a command-language path are told apart by name.
        bool seen = false;
        for (const PickData& d : pickedObjects)
            if (d.path == path && (!path.isEmpty() || d.viewerName == viewerName)) seen = true;
        if (!seen) pickedObjects.push_back(PickData::fromViewerName(viewerName, path));
    }
    objectsPointed(pickedObjects);
}

void PickHandler::setPickedPoint(const float* point, bool next, bool area, bool create) {
    if (!window) return;
    if (window->getPickType() != 0) {
        if (pickedObjects.empty()) {
            if (!area && !next) blankSelected(notifyWidget);
            return;
        }
        if (!point && !area) return;
        std::vector<float> position = noPoint();
        if (point && !area) position.assign(point, point + 3);
        if (create)
            objectCreate(pickedObjects, position);
        else
            objectsSelected(pickedObjects, notifyWidget, position, next, area);
        return;
    }
    std::vector<float> position = noPoint();
    if (point && !area) position.assign(point, point + 3);
    facesSelected(pickedFaces, notifyWidget, position, next, area);
}

void PickHandler::setMovedObject(int, const float translation[3]) {
    if (!pickedObjects.empty()) objectMoved(pickedObjects.front(), translation);
}

QString PickHandler::getPickRecordName(const PickRecord& record) {
    vkoViewer* engine = EngineOf(window);
    if (!engine) return QString();
    vkoGraphicObj* object = engine->FindGraphicById(record.objectId);
    return object ? QString::fromStdString(object->objectname) : QString();
}

QString PickHandler::getPathFromViewerName(const QString& viewerName) { return pathFromViewerName(viewerName); }

void PickHandler::notifyPointPicking(ParamWgt* widget, bool start) {
    if (!widget || !window) return;
    stopPickNotification();
    if (start) {
        savedMode = 1;
        window->setMode(ViewerWindow::Mode(2));
        notifyWidget = widget;
        if (AppWindowBase* host = AppWindowBase::baseInstance(); host && statusLabel) {
            host->statusBar()->addWidget(statusLabel, 0);
            statusLabel->show();
        }
    } else {
        savedMode = 0;
        window->setMode(ViewerWindow::Mode(1));
        pickingFinished();
    }
}

void PickHandler::stopPickNotification() {
    if (statusLabel) {
        statusLabel->hide();
        if (AppWindowBase* host = AppWindowBase::baseInstance()) host->statusBar()->removeWidget(statusLabel);
        // The status bar keeps a removed widget as its child; take it back
        // so that the label lives exactly as long as this handler.
        statusLabel->setParent(nullptr);
    }
    if (ParamWgt* widget = notifyWidget) {
        notifyWidget = nullptr;
        widget->setPickingState(false);
    }
}

void PickHandler::revertPickMode() {
    if (savedMode != 0) {
        if (window) window->setMode(ViewerWindow::Mode(savedMode));
        savedMode = 0;
    }
    stopPickNotification();
}

void PickHandler::setDraggingEnabled(bool on) {
    vkoViewer* engine = EngineOf(window);
    if (!engine) return;
    engine->draggingEnabled = on;
    if (on && engine->glWindow) engine->glWindow->setCursorIndex(3);
}

void PickHandler::setDraggingDirection(bool constrained, const float direction[3]) {
    if (vkoViewer* engine = EngineOf(window)) engine->SetDragConstraint(constrained, direction);
}

void PickHandler::objectsPointed(const std::list<PickData>&) {}
void PickHandler::facesPointed(const std::vector<PickRecord>&) {}
void PickHandler::objectsSelected(const std::list<PickData>&, ParamWgt*, const std::vector<float>&, bool, bool) {}
void PickHandler::facesSelected(const std::vector<PickRecord>&, ParamWgt*, const std::vector<float>&, bool, bool) {}
void PickHandler::blankSelected(ParamWgt*) {}
void PickHandler::objectCreate(const std::list<PickData>&, const std::vector<float>&) {}
void PickHandler::objectMoved(const PickData&, const float[3]) {}
