#include "GuiViewer/src/TreeHighlightLink.h"

namespace qor {

TreeHighlightLink::TreeHighlightLink(TreeView* tree, QObject* parent, const char* name)
    : QObject(parent), HighlightWgt(name), treeView(tree) {
    setObjectName(QString::fromUtf8(name ? name : ""));
    if (treeView) treeView->addListener(this);
}

TreeHighlightLink::~TreeHighlightLink() {
    if (treeView) treeView->removeListener(this);
}

void TreeHighlightLink::onTreeViewSelectionChange(TreeView* tree, const std::vector<PDLPath>& paths) {
    TreeView* from = tree ? tree : treeView;
    const std::vector<PDLPath> leaves = from && from->model() ? from->model()->expandToLeaves(paths) : paths;
    selection.clear();
    addViewerObjectsFrom(leaves, selection);
    notifyOfSelectionChange();
}

void TreeHighlightLink::addViewerObjectsFrom(const std::vector<PDLPath>& paths, std::set<QString>& out) {
    for (const PDLPath& p : paths) out.insert("/" + p.getLastType() + ":" + p.getLastName());
}

void TreeHighlightLink::onTreeViewDestroyed(TreeView*) {
    treeView = nullptr;
    selection.clear();
    notifyOfSelectionChange();
}

}  // namespace qor
