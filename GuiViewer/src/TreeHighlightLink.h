#pragma once
// A highlight participant that follows the selection of a host tree view:
// the selected tree paths, expanded to the objects at their leaves, are
// this participant's selection.
#include <QObject>
#include <QString>
#include <set>
#include <vector>

#include "GuiViewer/src/HighlightWgt.h"
#include "GuiViewer/src/host/PDLPath.h"
#include "GuiViewer/src/host/TreeView.h"

namespace qor {

class TreeHighlightLink : public QObject, public HighlightWgt, public TreeViewListener {
    Q_OBJECT
public:
    TreeHighlightLink(TreeView* tree, QObject* parent, const char* name);
    ~TreeHighlightLink() override;

    void onTreeViewSelectionChange(TreeView* tree, const std::vector<PDLPath>& paths) override;
    void onTreeViewDestroyed(TreeView* tree) override;
    std::set<QString> getSelection() override { return selection; }
    TreeView* tree() const { return treeView; }

protected:
    // Adds "/TYPE:name" of each path's last element (the path the viewer
    // window names its graphic objects by).
    virtual void addViewerObjectsFrom(const std::vector<PDLPath>& paths, std::set<QString>& out);

private:
    std::set<QString> selection;
    TreeView* treeView;
};

}  // namespace qor
