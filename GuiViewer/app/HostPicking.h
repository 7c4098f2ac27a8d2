#pragma once
// guiviewer's picking and context menus, attached to its main window: the
// pick handler (status bar, object tree), the viewer's right-click menus
// with guiviewer's menu source, and the parameter panel in the parameter
// dock.
#include <QPointer>

#include <memory>

#include "GuiViewer/app/ParamPanel.h"

class HostMainWindow;
class HostMenuSource;
class HostPickHandler;
class ViewerPopupBase;

class HostPicking {
public:
    explicit HostPicking(HostMainWindow* host);
    ~HostPicking();
    HostPicking(const HostPicking&) = delete;
    HostPicking& operator=(const HostPicking&) = delete;

    HostPickHandler* pickHandler() const { return handler_.get(); }
    ViewerPopupBase* viewerPopup() const { return popup_.get(); }
    HostMenuSource* menuSource() const { return source_.get(); }
    // Owned by the parameter dock; none once another panel replaced it.
    ParamPanel* paramPanel() const { return panel_; }

private:
    std::unique_ptr<HostPickHandler> handler_;
    std::unique_ptr<HostMenuSource> source_;
    std::unique_ptr<ViewerPopupBase> popup_;
    QPointer<ParamPanel> panel_;
};
