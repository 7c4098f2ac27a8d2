#include "GuiViewer/src/ViewerHelpDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ViewerHelpDialog::ViewerHelpDialog(QWidget* parent, const char* name) : QDialog(parent) {
    if (name) setObjectName(name);
    setModal(false);
    setWindowTitle("Viewer Key Mapping");
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(6, 6, 6, 6);
    box->setSpacing(6);
    label = new QLabel(this);
    box->addWidget(label);
    box->addStretch();
    auto* buttons = new QHBoxLayout;
    auto* close = new QPushButton(tr("&Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    buttons->addWidget(close);
    buttons->addStretch();
    box->addLayout(buttons);
    label->setText(helpText());
}

ViewerHelpDialog::~ViewerHelpDialog() = default;

const std::vector<std::pair<QString, QString>>& ViewerHelpDialog::keyRows() {
    static const std::vector<std::pair<QString, QString>> rows{
        {"space", "Picking/viewing mode"},
        {"arrow keys", "Rotate about X and Y"},
        {"Ctrl-up/down", "Rotate about Z"},
        {"Shift-arrows", "Move light"},
        {"1, 2, 3, 4", "Set number of viewports"},
        {"c", "Fit view"},
        {"n", "Orthographic/perspective"},
        {"r", "Reset view"},
        {"s", "Level-of-detail (auto/off/on)"},
        {"u", "Undo transformation"},
        {"U", "Redo transformation"},
        {"x, y, z", "View down +X, +Y, +Z"},
        {"X, Y, Z", "View down -X, -Y, -Z"},
    };
    return rows;
}

QString ViewerHelpDialog::helpText() {
    QString text = "<table>";
    for (const auto& [key, meaning] : keyRows())
        text += "<tr><td><b>" + key + "</b></td><td>" + meaning + "</td></tr>";
    return text + "</table>";
}
