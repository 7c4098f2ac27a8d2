#include "GuiViewer/app/ParamHighlight.h"

#include <QStringList>
#include <QWidget>

#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/src/host/TreeView.h"

ParamHighlight::ParamHighlight(ParamPanel* panel, TreeView* t, QWidget* owner)
    : QObject(panel), HighlightWgt("Parameter Panel Highlight"), tree(t), titleOwner(owner) {
    setObjectName("Parameter Panel Highlight");
    connect(panel, &ParamPanel::pointChanged, this, &ParamHighlight::pointSet);
}

void ParamHighlight::pointSet() {
    selection.clear();
    QStringList names;
    if (tree && tree->model())
        for (const qor::PDLPath& p : tree->model()->expandToLeaves(tree->selection())) {
            selection.insert("/" + p.getLastType() + ":" + p.getLastName());
            names << p.getLastName();
        }
    if (titleOwner)
        titleOwner->setWindowTitle(names.isEmpty() ? QString("Parameters") : "Parameters: " + names.join(", "));
    notifyOfSelectionChange();
}
