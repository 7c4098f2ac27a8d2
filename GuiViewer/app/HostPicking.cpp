#include "GuiViewer/app/HostPicking.h"

#include <QStatusBar>

#include "GuiViewer/app/HostMainWindow.h"
#include "GuiViewer/app/HostMenuSource.h"
#include "GuiViewer/app/HostPickHandler.h"
#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/src/ViewerPopupBase.h"

HostPicking::HostPicking(HostMainWindow* host)
    : handler_(std::make_unique<HostPickHandler>(host->viewerWindow(), host->statusBar(), host->treeView())),
      source_(std::make_unique<HostMenuSource>()),
      popup_(std::make_unique<ViewerPopupBase>(host->viewerWindow())) {
    popup_->setMenuSource(source_.get());
    panel_ = new ParamPanel;
    host->setParameterPanel(panel_, "Parameters");
}

// The popup goes before its source.
HostPicking::~HostPicking() { popup_.reset(); }
