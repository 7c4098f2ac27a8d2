#include "GuiViewer/src/SelectionPopup.h"

#include <QHeaderView>
#include <QShowEvent>
#include <QVBoxLayout>

#include "GuiViewer/src/SelectionList.h"
#include "GuiViewer/src/host/QStringSetUtils.h"
#include "GuiViewer/src/host/QStringUtils.h"

SelectionPopup::SelectionPopup(QWidget* parent, const char* name) : QFrame(parent) {
    setObjectName(QString::fromUtf8(name));
    setMinimumWidth(100);
    setFixedHeight(100);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    list = new SelectionList(this, "Selection List");
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setColumnCount(1);
    list->setHeaderLabels({tr("Selection")});
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list->setSortingEnabled(false);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setFrameStyle(QFrame::Box | QFrame::Plain);
    list->setLineWidth(2);
    box->addWidget(list);
    connect(list, qOverload<bool>(&SelectionList::itemPressed), this, &SelectionPopup::itemPressed);
}

void SelectionPopup::setList(const QStringList& all, const QStringList& selected) {
    // An empty list leaves the rows and the reference for the next Ctrl
    // report as they were: the rows still show that selection.
    if (all.isEmpty() || !list) return;
    initialSelection.clear();
    // Quiet before clearing: dropping selected rows is a selection change too.
    list->setupMode(true);
    list->clear();
    for (int i = all.size() - 1; i >= 0; --i) {
        const QString shown = QStringUtils::getNameFromPath(all[i]);
        auto* row = new QTreeWidgetItem(QStringList{shown});
        list->insertTopLevelItem(0, row);
        if (selected.contains(all[i])) {
            row->setSelected(true);
            initialSelection.insert(shown.trimmed());
        }
    }
    list->setupMode(false);
    // Current without touching the selection (a plain setCurrentItem would
    // select the row in extended mode and report it).
    if (QTreeWidgetItem* first = list->topLevelItem(0))
        list->selectionModel()->setCurrentIndex(list->indexFromItem(first), QItemSelectionModel::NoUpdate);
}

void SelectionPopup::allowMultiSelect(bool on) {
    if (list)
        list->setSelectionMode(on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

QString SelectionPopup::getValue() const {
    if (!list) return QString();
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (QTreeWidgetItem* row = list->topLevelItem(i); row->isSelected()) names << row->text(0);
    return names.join(", ").trimmed();
}

void SelectionPopup::showEvent(QShowEvent* event) {
    if (QWidget* p = parentWidget()) move(4, p->height() - 104);
    QFrame::showEvent(event);
}

QString SelectionPopup::changedItems() {
    const std::set<QString> current = QStringSetUtils::qStringToQStringSet(getValue(), ',');
    std::set<QString> changed;
    for (const QString& s : current)
        if (!initialSelection.count(s)) changed.insert(s);
    if (changed.empty())
        for (const QString& s : initialSelection)
            if (!current.count(s)) changed.insert(s);
    initialSelection = current;
    return QStringSetUtils::qStringSetToQString(changed, ',');
}

void SelectionPopup::itemPressed(bool multi) {
    if (multi) {
        const QString changed = changedItems();
        if (!changed.isEmpty()) emit selectionChanged(changed, true);
    } else {
        emit selectionChanged(getValue(), false);
    }
}
