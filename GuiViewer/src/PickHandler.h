#pragma once
// Turns the engine's pick reports into picked command-language objects or
// picked faces and hands them to hooks that the host overrides; runs point
// picking for a host parameter widget.  The hooks do nothing here.
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <list>
#include <vector>

#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/ParamWgt.h"
#include "GuiViewer/src/host/PickHandlerIF.h"
#include "render/PickRecord.h"


// One picked object.
struct PickData {
    QString path;        // command-language path, "/TYPE:name"
    QString viewerName;  // the engine object's name
    QString name;        // last name of path
    QString type;        // last type of path
    QString domain;      // viewerName up to its first colon
    // Carried along for the host; the GUI layer copies it and never reads it.
    QString userData;

    // The record of an engine object name whose path is path.
    static PickData fromViewerName(const QString& viewerName, const QString& path);
};

class PickHandler : public PickHandlerIF {
    Q_OBJECT
public:
    explicit PickHandler(ViewerWindow* window);
    ~PickHandler() override;

    // The handler the engine's reports go to (the newest), or none.
    static PickHandler* registeredHandler();
    // The position that stands for "no point": three largest floats.
    static std::vector<float> noPoint();
    // "/" and the text between the first and the second-last colon of an
    // engine object name; empty when the name has not that form.
    static QString pathFromViewerName(const QString& viewerName);

    virtual void setPickType(PickType type);
    virtual void setPickMethod(PickMethod method);
    virtual void notifyPointPicking(ParamWgt* widget, bool start);
    virtual void stopPickNotification();
    virtual void revertPickMode();
    virtual void setFaceSources(const QStringList& sources);
    virtual void getPickedFaces(std::vector<QString>& faces);
    virtual void clearPickedFaces();
    virtual void setPickedObject(int count, const PickRecord* records);

    void setPickedPoint(const float* point, bool next, bool area, bool create);
    void setMovedObject(int objectId, const float translation[3]);

    // The widget that point picking runs for, or none.
    ParamWgt* pickingWidget() const { return notifyWidget; }
    QLabel* getStatusLabel() const { return statusLabel; }
    int getSavedMode() const { return savedMode; }

protected:
    virtual void objectsPointed(const std::list<PickData>& objects);
    virtual void facesPointed(const std::vector<PickRecord>& faces);
    virtual void objectsSelected(const std::list<PickData>& objects, ParamWgt* widget,
                                 const std::vector<float>& position, bool next, bool area);
    virtual void facesSelected(const std::vector<PickRecord>& faces, ParamWgt* widget,
                               const std::vector<float>& position, bool next, bool area);
    virtual void blankSelected(ParamWgt* widget);
    virtual void objectCreate(const std::list<PickData>& objects, const std::vector<float>& position);
    virtual void objectMoved(const PickData& object, const float translation[3]);
    virtual QString getPathFromViewerName(const QString& viewerName);
    virtual QString getPickRecordName(const PickRecord& record);

    ViewerWindow* getViewerWindow() const { return window; }
    ParamWgt* getNotifyWgt() const { return notifyWidget; }
    void setDraggingEnabled(bool on);
    void setDraggingDirection(bool constrained, const float direction[3]);

private:
    friend class ViewerPopupBase;  // builds its object record with the same rules

    // Guarded: a report that arrives after the window is gone is dropped.
    QPointer<ViewerWindow> window;
    std::list<PickData> pickedObjects;
    std::vector<PickRecord> pickedFaces;
    QPointer<ParamWgt> notifyWidget;
    int savedMode = 0;
    // Guarded too: while it sits in the status bar, the host window may be
    // destroyed (and the label with it) before this handler.
    QPointer<QLabel> statusLabel;
};
