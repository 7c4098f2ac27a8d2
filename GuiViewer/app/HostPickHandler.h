#pragma once
// guiviewer's pick handler: what the user picks shows in the status bar,
// picked objects become the object tree's selection, and a point picked
// for the parameter panel goes into its point field.
#include <QPointer>
#include <QStringList>

#include "GuiViewer/src/PickHandler.h"

class QLabel;
class QStatusBar;
class TreeView;

class HostPickHandler : public PickHandler {
    Q_OBJECT
public:
    // The status bar gets a permanent label named "Pick Info".
    HostPickHandler(ViewerWindow* window, QStatusBar* statusBar, TreeView* tree);
    ~HostPickHandler() override;

    QLabel* infoLabel() const { return info_; }

signals:
    // The paths of every object under the pointer at a single pick, nearest
    // first (objects without a path are left out).
    void objectsUnderPointer(const QStringList& paths);

protected:
    void objectsSelected(const std::list<PickData>& objects, ParamWgt* widget, const std::vector<float>& position,
                         bool next, bool area) override;
    void facesSelected(const std::vector<PickRecord>& faces, ParamWgt* widget, const std::vector<float>& position,
                       bool next, bool area) override;
    void blankSelected(ParamWgt* widget) override;
    void objectCreate(const std::list<PickData>& objects, const std::vector<float>& position) override;
    void objectMoved(const PickData& object, const float translation[3]) override;

private:
    void show(const QString& text);
    // Gives a point picked for the parameter panel to it and ends picking;
    // false when the pick was not for a panel.
    bool fillPanel(ParamWgt* widget, const std::vector<float>& position);

    QPointer<QStatusBar> statusBar_;
    QPointer<TreeView> tree_;
    QPointer<QLabel> info_;
};
