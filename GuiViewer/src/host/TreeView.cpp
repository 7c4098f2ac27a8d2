#include "GuiViewer/src/host/TreeView.h"

#include <QHeaderView>
#include <QMap>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "GuiViewer/src/host/ConfigStoreBase.h"

namespace qor {

void TreeAndLeafReadModel::setPaths(const QStringList& paths) { paths_ = paths; }

std::vector<PDLPath> TreeAndLeafReadModel::expandToLeaves(const std::vector<PDLPath>& selection) const {
    auto hasChildren = [this](const QString& p) {
        return std::any_of(paths_.begin(), paths_.end(), [&](const QString& q) { return q.startsWith(p + "/"); });
    };
    QStringList out;
    for (const PDLPath& s : selection) {
        const QString p = s.getFullPath();
        if (!hasChildren(p)) {
            if (!out.contains(p)) out << p;
            continue;
        }
        for (const QString& q : paths_)
            if (q.startsWith(p + "/") && !hasChildren(q) && !out.contains(q)) out << q;
    }
    std::vector<PDLPath> leaves;
    for (const QString& p : out) leaves.emplace_back(p);
    return leaves;
}

}  // namespace qor

TreeView::TreeView(QWidget* parent) : QWidget(parent), model_(new qor::TreeAndLeafReadModel) {
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    box->addWidget(tree_);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &TreeView::selectionChanged);
}

TreeView::~TreeView() {
    const auto listeners = listeners_;
    for (TreeViewListener* l : listeners) l->onTreeViewDestroyed(this);
}

void TreeView::addListener(TreeViewListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void TreeView::removeListener(TreeViewListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TreeView::refresh() {
    const std::vector<qor::PDLPath> kept = selection();
    const QSignalBlocker block(tree_);
    tree_->clear();
    QMap<QString, QTreeWidgetItem*> items;
    ConfigStoreBase* icons = ConfigStoreBase::baseInstance();
    for (const QString& path : model_->paths()) {
        const qor::PDLPath p(path);
        QString parentPath = p.elements().size() > 1 ? "/" + p.elements().mid(0, p.elements().size() - 1).join('/')
                                                     : QString();
        QTreeWidgetItem* parent = items.value(parentPath, nullptr);
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        const QString name = p.getLastName();
        item->setText(0, name.isEmpty() ? p.getLastType() : name);
        item->setToolTip(0, path);
        item->setData(0, Qt::UserRole, path);
        item->setIcon(0, icons->getIcon(icons->getIconForType(p.getLastType(), false)));
        items.insert(path, item);
    }
    tree_->expandAll();
    for (const qor::PDLPath& p : kept)
        if (QTreeWidgetItem* item = items.value(p.getFullPath(), nullptr)) item->setSelected(true);
}

std::vector<qor::PDLPath> TreeView::selection() const {
    std::vector<qor::PDLPath> out;
    for (QTreeWidgetItem* item : tree_->selectedItems()) out.emplace_back(item->data(0, Qt::UserRole).toString());
    return out;
}

void TreeView::select(const QStringList& paths) {
    {
        const QSignalBlocker block(tree_);
        tree_->clearSelection();
        for (QTreeWidgetItemIterator it(tree_); *it; ++it)
            if (paths.contains((*it)->data(0, Qt::UserRole).toString())) (*it)->setSelected(true);
    }
    selectionChanged();
}

void TreeView::selectionChanged() {
    const std::vector<qor::PDLPath> s = selection();
    const auto listeners = listeners_;
    for (TreeViewListener* l : listeners) l->onTreeViewSelectionChange(this, s);
}
