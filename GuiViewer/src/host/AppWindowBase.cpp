#include "GuiViewer/src/host/AppWindowBase.h"

#include <QMdiArea>
#include <QStatusBar>

namespace {
AppWindowBase* g_instance = nullptr;
}

AppWindowBase::AppWindowBase(QWidget* parent) : QMainWindow(parent) {
    workspace_ = new QMdiArea(this);
    setCentralWidget(workspace_);
    statusBar();
    g_instance = this;
}

AppWindowBase::~AppWindowBase() {
    if (g_instance == this) g_instance = nullptr;
}

AppWindowBase* AppWindowBase::baseInstance() { return g_instance; }
