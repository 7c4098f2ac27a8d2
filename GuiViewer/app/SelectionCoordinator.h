#pragma once
// guiviewer's selections and highlights: the object tree and the parameter
// panel take part in highlight coordination, each in its own dock (a click
// in a dock makes its selection the one the viewer shows), and a selection
// popup in the viewer window lists the objects under the pointer after a
// pick; choosing there selects those objects in the tree, which the viewer
// then highlights.
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <QDockWidget>

#include "GuiViewer/app/ParamHighlight.h"
#include "GuiViewer/src/SelectionPopup.h"
#include "GuiViewer/src/TreeHighlightLink.h"
#include "GuiViewer/src/host/TreeView.h"

class HostMainWindow;

class SelectionCoordinator : public QObject {
    Q_OBJECT
public:
    // Attaches to the main window's viewer window, tree and docks (and its
    // picking, when it has any); a child of host.  Highlighting is switched
    // on and the tree's dock is the current container.
    explicit SelectionCoordinator(HostMainWindow* host);
    ~SelectionCoordinator() override;

    qor::TreeHighlightLink* treeLink() const { return link; }
    ParamHighlight* paramHighlight() const { return param; }
    SelectionPopup* popup() const { return popup_; }

public slots:
    // The objects under the pointer at a pick (command-language paths):
    // lists them in the popup, or hides it when there are none.
    void showObjectsUnderPointer(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chosen(const QString& names, bool changedOnly);

    QPointer<TreeView> tree;
    QPointer<QDockWidget> treeDock;
    QPointer<qor::TreeHighlightLink> link;  // child of the tree's dock
    QPointer<ParamHighlight> param;         // child of the parameter panel
    QPointer<SelectionPopup> popup_;        // child of the viewer window's centre
    QStringList pointed;                    // the paths the popup lists
};
