#include "GuiViewer/src/host/WorkspaceWindow.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "GuiViewer/src/host/AppWindowBase.h"

WorkspaceWindow::WorkspaceWindow(QWidget* parent, const char* name, Qt::WindowFlags flags)
    : QMainWindow(parent, flags) {
    if (name) setObjectName(name);
    AppWindowBase* host = AppWindowBase::baseInstance();
    if (!parent && host) frame_ = host->workspace()->addSubWindow(this);
}

WorkspaceWindow::~WorkspaceWindow() = default;

void WorkspaceWindow::explicitShow() {
    if (frame_) frame_->show();
    show();
}

void WorkspaceWindow::explicitHide() {
    if (frame_)
        frame_->hide();
    else
        hide();
}

void WorkspaceWindow::setWorkspaceTitle(const QString& title) {
    setWindowTitle(title);
    if (frame_) frame_->setWindowTitle(title);
}

void WorkspaceWindow::showEvent(QShowEvent* event) { QMainWindow::showEvent(event); }

void WorkspaceWindow::hideEvent(QHideEvent* event) { QMainWindow::hideEvent(event); }
