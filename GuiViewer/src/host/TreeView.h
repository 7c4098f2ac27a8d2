#pragma once
// The host's object tree: command-language objects by path, with
// listeners that hear selection changes and the tree's destruction.
#include <QStringList>
#include <QWidget>
#include <vector>

#include "GuiViewer/src/host/PDLPath.h"
#include "GuiViewer/src/host/RefCount.h"

class QTreeWidget;
class QTreeWidgetItem;
class TreeView;

namespace qor {

// The objects of a tree; expands selected paths to the leaves below them.
class TreeAndLeafReadModel : public rcount_base {
public:
    void setPaths(const QStringList& paths);
    const QStringList& paths() const { return paths_; }
    // Each selected path that has no objects below it, and for the others
    // every object below them that has none, each once, in model order.
    std::vector<PDLPath> expandToLeaves(const std::vector<PDLPath>& selection) const;

private:
    QStringList paths_;
};

}  // namespace qor

class TreeViewListener {
public:
    virtual ~TreeViewListener() = default;
    virtual void onTreeViewSelectionChange(TreeView* tree, const std::vector<qor::PDLPath>& selection) = 0;
    virtual void onTreeViewDestroyed(TreeView* tree) = 0;
};

class TreeView : public QWidget {
    Q_OBJECT
public:
    explicit TreeView(QWidget* parent = nullptr);
    ~TreeView() override;

    void addListener(TreeViewListener* listener);
    void removeListener(TreeViewListener* listener);
    qor::TreeAndLeafReadModel* model() const { return model_.get(); }
    // Shows the model's paths again (after setPaths), keeping the selection.
    void refresh();
    std::vector<qor::PDLPath> selection() const;
    // Selects exactly these paths (tests and programs).
    void select(const QStringList& paths);
    QTreeWidget* treeWidget() const { return tree_; }

private:
    void selectionChanged();
    QTreeWidget* tree_;
    qor::refcnt_ptr<qor::TreeAndLeafReadModel> model_;
    std::vector<TreeViewListener*> listeners_;
};
