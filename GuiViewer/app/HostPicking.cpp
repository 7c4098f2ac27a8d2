#include "GuiViewer/app/HostPicking.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QStatusBar>

#include "GuiViewer/app/HostMainWindow.h"
#include "GuiViewer/app/HostMenuSource.h"
#include "GuiViewer/app/HostPickHandler.h"
#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/src/ViewerPopupBase.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "render/GLWindow.h"
#include "viewer/vkoViewer.h"

HostPicking::HostPicking(HostMainWindow* host)
    : host_(host),
      handler_(std::make_unique<HostPickHandler>(host->viewerWindow(), host->statusBar(), host->treeView())),
      source_(std::make_unique<HostMenuSource>()),
      popup_(std::make_unique<ViewerPopupBase>(host->viewerWindow())) {
    popup_->setMenuSource(source_.get());
    panel_ = new ParamPanel;
    host->setParameterPanel(panel_, "Parameters");
}

// The popup goes before its source.
HostPicking::~HostPicking() { popup_.reset(); }

bool HostPicking::parseClick(const QString& text, bool& menu, QPointF& at) {
    const QStringList kindAndPlace = text.split('@');
    if (kindAndPlace.size() != 2 || (kindAndPlace[0] != "pick" && kindAndPlace[0] != "menu")) return false;
    const QStringList xy = kindAndPlace[1].split(',');
    if (xy.size() != 2) return false;
    bool okX = false, okY = false;
    at = QPointF(xy[0].toDouble(&okX), xy[1].toDouble(&okY));
    menu = kindAndPlace[0] == "menu";
    return okX && okY && at.x() >= 0 && at.x() <= 1 && at.y() >= 0 && at.y() <= 1;
}

bool HostPicking::click(const QString& text) {
    bool menu = false;
    QPointF at;
    vkoViewer* viewer = host_->viewer();
    if (!parseClick(text, menu, at) || !viewer || !viewer->glWindow) return false;
    GLWindow* gl = viewer->glWindow;
    const QPointF local(at.x() * (gl->width() - 1), at.y() * (gl->height() - 1));
    const QPointF global = gl->mapToGlobal(local);
    if (!menu) host_->viewerWindow()->setMode(ViewerWindow::PickingMode);
    QCursor::setPos(global.toPoint());  // the menu opens at the cursor
    const Qt::MouseButton button = menu ? Qt::RightButton : Qt::LeftButton;
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(gl, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(gl, &release);
    return true;
}
