#include "GuiViewer/app/ParamPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <cmath>

#include "GuiViewer/src/PickHandler.h"

ParamPanel::ParamPanel(QWidget* parent) : ParamWgt(parent) {
    setObjectName("Parameter Panel");
    auto* column = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Point", this));
    field_ = new QLineEdit(this);
    field_->setObjectName("Point");
    field_->setPlaceholderText("x, y, z");
    row->addWidget(field_, 1);
    pick_ = new QPushButton("Pick", this);
    pick_->setObjectName("Pick");
    pick_->setCheckable(true);
    pick_->setToolTip("Take the point from a pick in the viewer");
    row->addWidget(pick_);
    column->addLayout(row);
    column->addStretch(1);
    connect(pick_, &QPushButton::clicked, this, &ParamPanel::pickClicked);
}

std::vector<float> ParamPanel::point() const {
    const QStringList parts = field_->text().split(QRegularExpression("[,\\s]+"), Qt::SkipEmptyParts);
    if (parts.size() != 3) return {};
    std::vector<float> out;
    for (const QString& p : parts) {
        bool ok = false;
        const float v = p.toFloat(&ok);
        if (!ok || !std::isfinite(v)) return {};
        out.push_back(v);
    }
    return out;
}

void ParamPanel::setPoint(const std::vector<float>& xyz) {
    if (xyz.size() != 3) return;
    field_->setText(QString("%1, %2, %3").arg(xyz[0], 0, 'g', 6).arg(xyz[1], 0, 'g', 6).arg(xyz[2], 0, 'g', 6));
    emit pointChanged(xyz[0], xyz[1], xyz[2]);
}

void ParamPanel::setPickingState(bool on) {
    ParamWgt::setPickingState(on);
    pick_->setChecked(on);
}

void ParamPanel::pickClicked() {
    PickHandler* handler = PickHandler::registeredHandler();
    if (!handler) {
        setPickingState(false);
        return;
    }
    if (isPicking()) {
        handler->revertPickMode();  // a second press cancels
        return;
    }
    handler->notifyPointPicking(this, true);
    setPickingState(handler->pickingWidget() == this);
}
