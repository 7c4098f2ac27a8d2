#pragma once
// The parameter panel as a highlight participant: its selection is the
// object whose point the panel holds, that is the objects selected in the
// tree when the point was last set (typed or picked).  The parameter dock's
// title names them.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <set>

#include "GuiViewer/src/HighlightWgt.h"

#include "GuiViewer/src/host/TreeView.h"

class ParamPanel;

class ParamHighlight : public QObject, public HighlightWgt {
    Q_OBJECT
public:
    // A child of panel; titleOwner (the dock) shows the edited objects.
    ParamHighlight(ParamPanel* panel, TreeView* tree, QWidget* titleOwner);

    std::set<QString> getSelection() override { return selection; }

private:
    void pointSet();

    QPointer<TreeView> tree;
    QPointer<QWidget> titleOwner;
    std::set<QString> selection;
};
