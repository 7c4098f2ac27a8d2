#include "GuiViewer/src/ViewUtilities.h"

#include "GuiViewer/src/ViewerWindow.h"

#include "GuiViewer/src/host/EngineInterface.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/host/RemoteEngineInterface.h"

ViewerWindow* ViewUtilities::s_viewer = nullptr;
// Created when the library loads and kept for the life of the process, so
// that connections made at any time reach it.
ViewUtilitiesSignals* ViewUtilities::s_signals = new ViewUtilitiesSignals;

namespace {

const char kManager[] = "/VIEWPORT MANAGER";

RemoteEngineInterface* Remote() { return RemoteEngineInterface::derivedInstance(); }

QString ManagerParameter(const QString& name) {
    EngineInterface* engine = EngineInterface::instance();
    return engine ? engine->getParameter(kManager, name) : QString();
}

bool Send(const QString& text) {
    RemoteEngineInterface* remote = Remote();
    return remote && remote->sendCommand(text);
}

// The current viewport's caption takes the name of the view at viewPath.
void LabelCurrentViewport(const QString& viewPath) {
    if (!ViewUtilities::s_viewer) return;
    const int n = ViewUtilities::getViewNumberForCurrentViewport().toInt();
    ViewUtilities::s_viewer->setViewportLabel(ViewUtilities::getDefaultView(n), QStringUtils::getNameFromPath(viewPath));
}

}  // namespace

void ViewUtilities::registerViewerWindow(ViewerWindow* window) { s_viewer = window; }

QString ViewUtilities::getViewNumberForCurrentViewport() {
    return s_viewer ? s_viewer->getCurrentViewport() : QString();
}

QString ViewUtilities::getViewNameForViewportNum(int n) { return getViewNameForViewport(QString::number(n)); }

QString ViewUtilities::getViewNameForViewport(const QString& n) {
    RemoteEngineInterface* remote = Remote();
    if (!s_viewer || !remote || n.isEmpty()) return QString();
    return remote->lookupParameter(kManager, "Viewport " + n + " View");
}

QString ViewUtilities::getViewNameForCurrentViewport() { return getViewNameForViewport(getViewNumberForCurrentViewport()); }

QString ViewUtilities::getViewForViewportNum(int n) { return getViewForViewport(QString::number(n)); }

QString ViewUtilities::getViewForViewport(const QString& n) {
    const QString name = getViewNameForViewport(n);
    return name.isEmpty() ? QString() : "VIEW:" + name;
}

QString ViewUtilities::getViewForCurrentViewport() { return getViewForViewport(getViewNumberForCurrentViewport()); }

const QStringList& ViewUtilities::defaultViewNames() {
    static const QStringList names{"View 1", "View 2", "View 3", "View 4"};
    return names;
}

QString ViewUtilities::getDefaultView(int n) { return n >= 1 && n <= 4 ? defaultViewNames()[n - 1] : QString(); }

bool ViewUtilities::isADefaultView(const QString& name) { return defaultViewNames().contains(name); }

bool ViewUtilities::isCurrentViewDefault() { return isADefaultView(getViewNameForCurrentViewport()); }

void ViewUtilities::setView(const QString& viewPath) {
    if (!s_viewer) return;
    // A caption names the view only when the engine process took it (an
    // unknown view changes nothing there).
    if (Send(">setViewportView cmd=set, view=" + viewPath + ", viewport=" + getViewNumberForCurrentViewport()))
        LabelCurrentViewport(viewPath);
}

void ViewUtilities::generateNewView(const QString& viewPath, bool copy) {
    if (!s_viewer) return;
    if (Send(QString("> setViewportView ") + (copy ? "cmd=copy" : "cmd=shallow_copy") + ", view=" + viewPath +
             ", viewport=" + getViewNumberForCurrentViewport()))
        LabelCurrentViewport(viewPath);
}

void ViewUtilities::setSingleView(const QString& viewPath) {
    if (!s_viewer) return;
    Send("# Setting Single View: " + viewPath +
         "\nVIEWPORT MANAGER:"
         "\n  Viewport Layout = No Split"
         "\n  Maximized Viewport = -1"
         "\nEND"
         "\n>setViewportView cmd=set, view=" +
         viewPath + ", viewport=1");
}

QString ViewUtilities::getSetObjectVisibilityPDL(const QString& objectPath, bool visible) {
    return QString("# Sending visibility action from ViewUtilities\n>") + (visible ? "show" : "hide") + " " +
           objectPath + ", view=/" + getViewForCurrentViewport() + "\n";
}

void ViewUtilities::setObjectVisibility(const QString& objectPath, bool visible) {
    if (!s_viewer) return;
    // Announced only when the engine process carried it out.
    if (Send(getSetObjectVisibilityPDL(objectPath, visible))) s_signals->emitObjectVisibilityChanged(objectPath, visible);
}

void ViewUtilities::toggleObjectVisibility(const QString& objectPath) {
    if (!s_viewer) return;
    Send(">toggle " + objectPath + ", view=/" + getViewForCurrentViewport() + "\n");
}

bool ViewUtilities::isVisibleInCurrentView(const QString& objectPath) {
    EngineInterface* engine = EngineInterface::instance();
    if (!s_viewer || !engine) return false;
    const QString list = engine->getParameter("/" + getViewForCurrentViewport(), "Object Visibility List");
    return QStringUtils::isInList(list, objectPath, true);
}

int ViewUtilities::getNumViewportsShown() {
    if (!s_viewer) return 0;
    const QString layout = ManagerParameter("Viewport Layout");
    if (layout == "No Split") return 1;
    if (layout == "Vertical Split" || layout == "Horizontal Split") return 2;
    if (layout == "Horizontal And Vertical Split") return 4;
    return 3;
}

QStringList ViewUtilities::getActiveViewNames() {
    QStringList names;
    const int shown = getNumViewportsShown();
    for (int n = 1; n <= shown; ++n) {
        const QString name = ManagerParameter(QString("Viewport %1 View").arg(n));
        if (!name.isEmpty()) names << name;
    }
    return names;
}

bool ViewUtilities::areAllActiveViewsCartesian() {
    EngineInterface* engine = EngineInterface::instance();
    if (!s_viewer || !engine) return false;
    for (const QString& v : getActiveViewNames())
        if (engine->getParameter("/VIEW:" + v, "Coord Transform") != "Cartesian") return false;
    return true;
}
