#include "GuiViewer/app/SelectionCoordinator.h"

#include <QApplication>
#include <QDockWidget>
#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

#include "GuiViewer/app/HostMainWindow.h"
#include "GuiViewer/app/HostPickHandler.h"
#include "GuiViewer/app/HostPicking.h"
#include "GuiViewer/app/ParamHighlight.h"
#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/src/HighlightManager.h"
#include "GuiViewer/src/SelectionPopup.h"
#include "GuiViewer/src/TreeHighlightLink.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/QStringSetUtils.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/host/TreeView.h"

SelectionCoordinator::SelectionCoordinator(HostMainWindow* host)
    : QObject(host), tree(host->treeView()), treeDock(host->treeDock()) {
    HighlightManager* manager = HighlightManager::instance();
    ViewerWindow* window = host->viewerWindow();
    manager->setViewer(window);
    manager->addContainer(treeDock);
    manager->addContainer(host->parameterDock());
    link = new qor::TreeHighlightLink(tree, treeDock, "Object Tree Highlight");
    if (HostPicking* picking = host->picking()) {
        if (ParamPanel* panel = picking->paramPanel())
            param = new ParamHighlight(panel, tree, host->parameterDock());
        if (HostPickHandler* handler = picking->pickHandler())
            // Queued: the handler selects the nearest object in the tree
            // after it reported what was under the pointer.
            connect(handler, &HostPickHandler::objectsUnderPointer, this,
                    &SelectionCoordinator::showObjectsUnderPointer, Qt::QueuedConnection);
    }
    manager->setCurContainer(treeDock);

    if (window) {
        window->setHighlight(true);
        if (QWidget* centre = window->centralWidget()) {
            popup_ = new SelectionPopup(centre, "Objects Under Pointer");
            popup_->setToolTip("Objects under the pointer: choose to select, Ctrl+click to add or remove");
            popup_->hide();
            connect(popup_, &SelectionPopup::selectionChanged, this, &SelectionCoordinator::chosen);
        }
    }
    qApp->installEventFilter(this);
}

SelectionCoordinator::~SelectionCoordinator() { qApp->removeEventFilter(this); }

bool SelectionCoordinator::eventFilter(QObject* watched, QEvent* event) {
    // A click in a dock makes that dock's selection the one shown.
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType())
        HighlightManager::instance()->buttonPressed(watched);
    return QObject::eventFilter(watched, event);
}

void SelectionCoordinator::showObjectsUnderPointer(const QStringList& paths) {
    if (!popup_) return;
    pointed = paths;
    if (paths.isEmpty()) {
        popup_->hide();
        return;
    }
    QStringList selected;
    if (tree)
        for (const qor::PDLPath& p : tree->selection())
            if (paths.contains(p.getFullPath())) selected << p.getFullPath();
    popup_->setList(paths, selected);
    // Wide enough for the longest name (the column sizes itself to it).
    const SelectionList* list = popup_->selectionList();
    const int scrollBar = list->topLevelItemCount() > 5 ? list->verticalScrollBar()->sizeHint().width() : 0;
    popup_->resize(std::max(100, list->header()->length() + 2 * list->frameWidth() + scrollBar), popup_->height());
    popup_->show();
    popup_->raise();
}

void SelectionCoordinator::chosen(const QString& names, bool changedOnly) {
    if (!tree) return;
    // The popup reports the names it shows; map them back to its paths.
    const std::set<QString> picked = QStringSetUtils::qStringToQStringSet(names, ',');
    QStringList named;
    for (const QString& p : pointed)
        if (picked.count(QStringUtils::getNameFromPath(p).trimmed())) named << p;
    QStringList paths;
    if (changedOnly) {
        // Ctrl: the reported rows are added to or removed from the selection.
        for (const qor::PDLPath& p : tree->selection()) paths << p.getFullPath();
        for (const QString& p : named)
            if (!paths.removeAll(p)) paths << p;
    } else {
        paths = named;
    }
    HighlightManager::instance()->setCurContainer(treeDock);
    tree->select(paths);
}
