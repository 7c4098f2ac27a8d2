#include "GuiViewer/app/HostViewerPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QToolBar>
#include <QVBoxLayout>

#include "GuiViewer/src/ViewerQtWidget.h"
#include "GuiViewer/src/host/ConfigStoreBase.h"
#include "GuiViewer/src/host/EngineProcess.h"
#include "viewer/vkoViewer.h"

namespace {
HostViewerPanel* g_panel = nullptr;
}

HostViewerPanel::HostViewerPanel(EngineProcess* engine, QWidget* parent) : QWidget(parent), engine_(engine) {
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    auto* tools = new QToolBar("Viewing Tools", this);
    tools->addWidget(new QLabel(" Layout ", tools));
    layoutCombo_ = new QComboBox(tools);
    layoutCombo_->setFocusPolicy(Qt::NoFocus);
    ConfigStoreBase* icons = ConfigStoreBase::baseInstance();
    for (int i = 0; i < 8; ++i)
        layoutCombo_->addItem(icons->getIcon(QString("layout%1.xpm").arg(i + 1)), QString(),
                              EngineProcess::layoutNames()[i]);
    for (int i = 0; i < 8; ++i) layoutCombo_->setItemData(i, EngineProcess::layoutNames()[i], Qt::ToolTipRole);
    tools->addWidget(layoutCombo_);
    box->addWidget(tools);

    widget_ = new ViewerQtWidget(engine->viewerReadSocket(), engine->viewerWriteSocket(), this);
    box->addWidget(widget_, 1);

    connect(layoutCombo_, qOverload<int>(&QComboBox::activated), this, &HostViewerPanel::chooseLayout);
    connect(widget_, &ViewerQtWidget::viewportActivated, this, &HostViewerPanel::activate);
    connect(widget_, &ViewerQtWidget::viewportMaximized, this, &HostViewerPanel::chooseMaximized);
    connect(widget_, &ViewerQtWidget::customViewSelected, this, [this](int n, const QString& view) {
        activate(n);
        engine_->sendCommand(QString(">setViewportView cmd=set, view=/VIEW:%1, viewport=%2").arg(view).arg(n));
    });
    connect(engine_, &EngineProcess::stateChanged, this, &HostViewerPanel::readBack);
    g_panel = this;
    if (vkoViewer* v = widget_->getViewer()) v->viewportClickedCallback = &HostViewerPanel::viewportClicked;
    readBack();
}

HostViewerPanel::~HostViewerPanel() {
    if (g_panel == this) g_panel = nullptr;
}

void HostViewerPanel::viewportClicked(vkoViewer* viewer) {
    if (!g_panel || !viewer) return;
    const int n = viewer->ViewportNumber(nullptr);
    if (n >= 1 && n <= 4 && n != g_panel->current_) {
        g_panel->current_ = n;
        g_panel->widget_->setActiveViewport(n);
    }
}

void HostViewerPanel::activate(int n) {
    if (n == current_) return;
    current_ = n;
    widget_->setActiveViewport(n);
}

void HostViewerPanel::chooseLayout(int index) {
    if (index < 0 || index > 7) index = 0;
    widget_->setViewportLayout(index);
    activate(1);
    widget_->setMaximizedViewport(-1);
    engine_->sendCommand("VIEWPORT MANAGER:\nViewport Layout = " + EngineProcess::layoutNames()[index] +
                         "\nMaximized Viewport = -1\nEND\n");
}

void HostViewerPanel::chooseMaximized(int n) {
    engine_->sendCommand(QString("VIEWPORT MANAGER:\nMaximized Viewport = %1\nEND\n").arg(n < 1 ? -1 : n));
}

void HostViewerPanel::readBack() {
    const QMap<QString, QString> params = engine_->getParameters("/VIEWPORT MANAGER", true);
    const int layout = std::max(0, int(EngineProcess::layoutNames().indexOf(params.value("Viewport Layout"))));
    layoutCombo_->setCurrentIndex(layout);
    widget_->setViewportLayout(layout);
    const int maximized = params.value("Maximized Viewport").toInt();
    const int m = maximized >= 1 && maximized <= 4 ? maximized : -1;
    if (m > 0) activate(m);
    widget_->setMaximizedViewport(m);
    for (int n = 1; n <= 4; ++n) widget_->setViewportLabel(n, params.value(QString("Viewport %1 View").arg(n)));
    const QStringList views = engine_->getObjectNames("VIEW");
    if (!views.isEmpty()) widget_->setViewNames(views);
}
