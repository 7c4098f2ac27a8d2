#pragma once
// guiviewer's picking and context menus, attached to its main window: the
// pick handler (status bar, object tree), the viewer's right-click menus
// with guiviewer's menu source, and the parameter panel in the parameter
// dock.
#include <QPointer>

#include <QPointF>
#include <QString>

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

    // A click as a user gives it in the viewer's drawing window, for
    // scripted runs of the program: "pick@X,Y" picks in picking mode,
    // "menu@X,Y" right-clicks for the context menu; X and Y are fractions
    // of the drawing window's width and height from its top left.  False
    // for a text of another form.
    static bool parseClick(const QString& text, bool& menu, QPointF& at);
    bool click(const QString& text);

    HostPickHandler* pickHandler() const { return handler_.get(); }
    ViewerPopupBase* viewerPopup() const { return popup_.get(); }
    HostMenuSource* menuSource() const { return source_.get(); }
    // Owned by the parameter dock; none once another panel replaced it.
    ParamPanel* paramPanel() const { return panel_; }

private:
    HostMainWindow* host_;
    std::unique_ptr<HostPickHandler> handler_;
    std::unique_ptr<HostMenuSource> source_;
    std::unique_ptr<ViewerPopupBase> popup_;
    QPointer<ParamPanel> panel_;
};
