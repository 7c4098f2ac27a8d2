#pragma once
// Static operations with which the host and the GUI layer talk about views:
// which view of the engine process each viewport shows, switching a viewport
// to another view, making new views, and hiding, showing or toggling objects
// in the current view.  Views are the engine process's VIEW objects under the
// root ("/VIEW:" + name); its "VIEWPORT MANAGER" object records which view
// each viewport shows.  Changes go to the engine process as command text; it
// then updates the scene over the link.
//
// Everything except getDefaultView and isADefaultView needs the registered
// viewer window (and the engine process): without them queries give empty
// texts, false or 0 and commands send nothing.
#include <QObject>
#include <QString>
#include <QStringList>

class ViewerWindow;

// The notifications of ViewUtilities; one parentless instance exists from the
// library's load on (ViewUtilities::s_signals).
class ViewUtilitiesSignals : public QObject {
    Q_OBJECT
public:
    ViewUtilitiesSignals() = default;

    // Forwards to the signal (it is protected in Qt).
    void emitObjectVisibilityChanged(const QString& objectPath, bool visible) {
        emit objectVisibilityChanged(objectPath, visible);
    }

signals:
    // setObjectVisibility sent a show (true) or hide (false) of objectPath.
    void objectVisibilityChanged(const QString& objectPath, bool p_visible);
};

class ViewUtilities {
public:
    ViewUtilities() = delete;

    static void registerViewerWindow(ViewerWindow* window);
    static ViewerWindow* getViewerWindow() { return s_viewer; }
    static ViewUtilitiesSignals* getSignals() { return s_signals; }

    // The current viewport number as decimal text ("" without a window).
    static QString getViewNumberForCurrentViewport();
    // The name of the view viewport n shows, from the viewport manager.
    static QString getViewNameForViewportNum(int n);
    static QString getViewNameForViewport(const QString& n);
    static QString getViewNameForCurrentViewport();
    // "VIEW:" + the view name, or empty when the name is empty.
    static QString getViewForViewportNum(int n);
    static QString getViewForViewport(const QString& n);
    static QString getViewForCurrentViewport();

    // "View 1" .. "View 4" for n = 1..4; empty for any other n.
    static QString getDefaultView(int n);
    static const QStringList& defaultViewNames();
    static bool isADefaultView(const QString& name);
    static bool isCurrentViewDefault();

    // The current viewport shows the view at viewPath ("/VIEW:" + name).
    static void setView(const QString& viewPath);
    // A new view at viewPath, copied from the current viewport's view (copy:
    // a deep copy, else a shallow one), shown in the current viewport.
    // setView and generateNewView label the current caption with the view's
    // name when the engine process took the text.
    static void generateNewView(const QString& viewPath, bool copy);
    // One viewport, unmaximized, showing the view at viewPath.
    static void setSingleView(const QString& viewPath);

    // The command text that shows or hides objectPath in the current view.
    static QString getSetObjectVisibilityPDL(const QString& objectPath, bool visible);
    // Sends that text; when the engine process took it, s_signals emits
    // objectVisibilityChanged.
    static void setObjectVisibility(const QString& objectPath, bool visible);
    // Sends a toggle of objectPath in the current view (no signal).
    static void toggleObjectVisibility(const QString& objectPath);
    static bool isVisibleInCurrentView(const QString& objectPath);

    // Queries of the viewer window over the viewport manager's state.
    // Viewports the layout shows: 1, 2, 3 or 4.
    static int getNumViewportsShown();
    // The non-empty view names of the viewports shown, in viewport order.
    static QStringList getActiveViewNames();
    // Every active view has the coordinate transform "Cartesian".
    static bool areAllActiveViewsCartesian();

    static ViewerWindow* s_viewer;
    static ViewUtilitiesSignals* s_signals;
};
