#include "GuiViewer/src/SelectionList.h"

#include <QKeyEvent>
#include <QMouseEvent>

SelectionList::SelectionList(QWidget* parent, const char* name) : QTreeWidget(parent) {
    setObjectName(QString::fromUtf8(name));
    connect(this, &QTreeWidget::itemSelectionChanged, this, qOverload<>(&SelectionList::itemPressed));
}

void SelectionList::mousePressEvent(QMouseEvent* event) {
    ctrlHeld = event->modifiers().testFlag(Qt::ControlModifier);
    if (event->button() == Qt::LeftButton) QTreeWidget::mousePressEvent(event);
}

void SelectionList::keyPressEvent(QKeyEvent* event) {
    ctrlHeld = event->modifiers().testFlag(Qt::ControlModifier);
    QTreeWidget::keyPressEvent(event);
}

void SelectionList::itemPressed() {
    if (!setup) emit itemPressed(ctrlHeld);
}
