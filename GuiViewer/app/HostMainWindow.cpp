#include "GuiViewer/app/HostMainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QStatusBar>
#include <QTimer>

#include "GuiViewer/app/HostPicking.h"
#include "GuiViewer/app/SaveImageDialog.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/EngineProcess.h"
#include "GuiViewer/src/host/TreeView.h"
#include "platform/MessageSink.h"
#include "viewer/vkoViewer.h"

HostMainWindow::HostMainWindow(EngineProcess* engine, QWidget* parent) : AppWindowBase(parent), engine_(engine) {
    setObjectName("guiviewer");
    setWindowTitle("guiviewer");

    treeDock_ = new QDockWidget("Objects", this);
    treeDock_->setObjectName("Objects");
    tree_ = new TreeView(treeDock_);
    treeDock_->setWidget(tree_);
    addDockWidget(Qt::LeftDockWidgetArea, treeDock_);

    parameterDock_ = new QDockWidget("Parameters", this);
    parameterDock_->setObjectName("Parameters");
    addDockWidget(Qt::LeftDockWidgetArea, parameterDock_);
    parameterDock_->hide();

    // Docked in this window's workspace (no parent given).  The extended
    // application names a selection's highlight objects without a domain,
    // as the engine process sends them.
    viewerWindow_ = new ViewerWindow(engine_->viewerReadSocket(), engine_->viewerWriteSocket(), nullptr,
                                     "Viewer Window", Qt::WindowFlags(), ViewerWindow::ExtendedApplication);

    fileMenu_ = menuBar()->addMenu("&File");
    print_ = fileMenu_->addAction("&Print...", this, &HostMainWindow::printView);
    print_->setShortcut(QKeySequence::Print);
    saveImage_ = fileMenu_->addAction("Save &Image...", this, &HostMainWindow::saveImage);
    // No shortcut: the letters are the viewer's keys (S steps the outline
    // mode on its release, whatever the modifiers).
    fileMenu_->addSeparator();
    quit_ = fileMenu_->addAction("&Quit", this, &QWidget::close);
    quit_->setShortcut(QKeySequence::Quit);
    viewerMenu_ = menuBar()->addMenu("&Viewer");
    viewerMenu_->setObjectName("Viewer");
    viewerWindow_->createViewerMenu(viewerMenu_, viewerWindow_->getApplication());

    // Each executed text changes the engine process's objects; read them back
    // once the text (and whatever sent it) is done.
    connect(engine_, &EngineProcess::stateChanged, this, [this] {
        if (readBackQueued_) return;
        readBackQueued_ = true;
        QMetaObject::invokeMethod(this, &HostMainWindow::readBack, Qt::QueuedConnection);
    });
    if (QMdiSubWindow* frame = viewerWindow_->workspaceFrame()) frame->showMaximized();
    viewerWindow_->explicitShow();
    picking_ = new HostPicking(this);
    readBack();
}

HostMainWindow::~HostMainWindow() {
    // Picking and menus go first, then the viewer before the docks and the
    // workspace it reports to.
    delete picking_;
    picking_ = nullptr;
    delete viewerWindow_;
    viewerWindow_ = nullptr;
}

vkoViewer* HostMainWindow::viewer() const { return viewerWindow_ ? viewerWindow_->getViewer() : nullptr; }

void HostMainWindow::setParameterPanel(QWidget* panel, const QString& title) {
    if (QWidget* old = parameterDock_->widget()) old->deleteLater();
    parameterDock_->setWindowTitle(title);
    parameterDock_->setWidget(panel);
    parameterDock_->setVisible(panel != nullptr);
}

void HostMainWindow::readBack() {
    readBackQueued_ = false;
    tree_->model()->setPaths(engine_->objectPaths());
    tree_->refresh();
    if (viewerWindow_) viewerWindow_->updatePDL();
}

void HostMainWindow::chooseLayout(int index) {
    if (index < 0 || index > 7) index = 0;
    // What the layout selector does (it is the window's own).
    QMetaObject::invokeMethod(viewerWindow_, "setLayout", Q_ARG(int, index));
}

void HostMainWindow::chooseMaximized(int n) { viewerWindow_->setMaximizedViewport(n); }

void HostMainWindow::printView() {
    vkoViewer* v = viewer();
    if (!v) return;
    // An empty print file name: the user chooses the printer in the dialog.
    if (v->writeOutput(false, false, -1, -1))
        statusBar()->showMessage("Printed", 5000);
    else
        statusBar()->showMessage("Nothing printed", 5000);
}

void HostMainWindow::saveImage() {
    vkoViewer* v = viewer();
    if (!v) return;
    SaveImageDialog dialog(v, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const ImageOutputRequest request = dialog.request();
    if (SaveImageDialog::writeImage(*v, request)) {
        statusBar()->showMessage("Wrote " + QString::fromLocal8Bit(v->output.outputFileName.c_str()), 5000);
    } else {
        platform::ShowMessage(platform::MessageIcon::Error,
                              "Cannot write " + request.fileName.toStdString() + "\n");
    }
}
