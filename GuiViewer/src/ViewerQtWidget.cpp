#include "GuiViewer/src/ViewerQtWidget.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QTimer>

#include "GuiViewer/src/ViewportSplitter.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

bool ViewerQtWidget::pollingNow = false;

ViewerQtWidget::ViewerQtWidget(int read, int write, QWidget* parent)
    : QFrame(parent), readSocket(read), writeSocket(write) {
    container = new QWidget(this);
    auto* box = new QHBoxLayout(container);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    engine = CreateViewer(container, false, false, "");
    if (!engine) throw "ViewerQtWidget::addViewer - Viewer Init failed!";
    box->addWidget(engine->Widget());

    engine->Redraw();
    engine->SetViewportAxis(true);
    engine->Redraw();

    engine->link.readHandle = readSocket;
    engine->link.readIsSocket = true;
    engine->link.writeHandle = writeSocket;
    engine->link.writeIsSocket = true;

    pollTimer = new QTimer(this);
    pollTimer->setObjectName("viewer socket time handler");
    connect(pollTimer, &QTimer::timeout, this, &ViewerQtWidget::checkViewerSocket);
    pollTimer->start(100);

    splitter = new ViewportSplitter(this);
    connect(splitter, &ViewportSplitter::viewportActivated, this, &ViewerQtWidget::viewportActivated);
    connect(splitter, &ViewportSplitter::viewportMaximized, this, &ViewerQtWidget::viewportMaximized);
    connect(splitter, &ViewportSplitter::defaultViewSelected, this, &ViewerQtWidget::defaultViewSelected);
    connect(splitter, &ViewportSplitter::customViewSelected, this, &ViewerQtWidget::customViewSelected);
    connect(splitter, &ViewportSplitter::rightClick, this, &ViewerQtWidget::rightClick);
}

void ViewerQtWidget::checkViewerSocket() {
    if (!engine || pollingNow) return;
    pollingNow = true;
    engine->CheckForCommand(-1);
    pollingNow = false;
}

void ViewerQtWidget::stopSocketTimer() { pollTimer->stop(); }

void ViewerQtWidget::setActiveViewport(int n) {
    if (engine) engine->SetCurrentViewportByNumber(n);
    splitter->setActiveViewport(n);
}

void ViewerQtWidget::setMaximizedViewport(int n) { splitter->setMaximizedViewport(n); }

void ViewerQtWidget::setViewportLayout(int layout) { splitter->setViewportLayout(layout); }

void ViewerQtWidget::setViewportLabel(int n, const QString& text) { splitter->setViewportLabel(n, text); }

void ViewerQtWidget::setViewNames(const QStringList& names) { splitter->setViewNames(names); }

void ViewerQtWidget::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    container->resize(event->size());
    splitter->resize(event->size().width(), event->size().height());
}
