#pragma once
// guiviewer's main window: the host workspace with the viewer window in it,
// the engine process's object tree in a dock, a dock for a parameter panel,
// the status bar, and the menu bar with "File" (print, save image, quit)
// and the viewer window's own menu.  Other parts of the program attach to
// the accessors (a pick handler to the viewer window and the status bar, a
// panel to the parameter dock, menu entries to the menus).
#include "GuiViewer/src/host/AppWindowBase.h"

class EngineProcess;
class HostPicking;
class QAction;
class QDockWidget;
class QMenu;
class TreeView;
class ViewerWindow;
class vkoViewer;

class HostMainWindow : public AppWindowBase {
    Q_OBJECT
public:
    // The viewer window talks to this engine process, which must outlive the
    // main window.  Throws a text when the viewer cannot be created.
    explicit HostMainWindow(EngineProcess* engine, QWidget* parent = nullptr);
    ~HostMainWindow() override;

    EngineProcess* engineProcess() const { return engine_; }
    ViewerWindow* viewerWindow() const { return viewerWindow_; }
    vkoViewer* viewer() const;
    TreeView* treeView() const { return tree_; }
    QDockWidget* treeDock() const { return treeDock_; }
    // Empty and hidden until a panel is set.
    QDockWidget* parameterDock() const { return parameterDock_; }
    void setParameterPanel(QWidget* panel, const QString& title = "Parameters");
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* viewerMenu() const { return viewerMenu_; }
    QAction* printAction() const { return print_; }
    QAction* saveImageAction() const { return saveImage_; }
    QAction* quitAction() const { return quit_; }
    // The pick handler, the viewer's context menus and the parameter panel.
    HostPicking* picking() const { return picking_; }

    // As the user would choose them: layout index 0..7, and the maximized
    // viewport (below 1: none).
    void chooseLayout(int index);
    void chooseMaximized(int n);

public slots:
    // "Print...": the print dialog, then one page of what the viewer shows.
    void printView();
    // "Save Image...": the output settings, then the file.
    void saveImage();
    // The tree and the viewer window read the engine process's state again.
    void readBack();

private:
    EngineProcess* engine_;
    ViewerWindow* viewerWindow_ = nullptr;
    TreeView* tree_ = nullptr;
    QDockWidget* treeDock_ = nullptr;
    QDockWidget* parameterDock_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* viewerMenu_ = nullptr;
    QAction* print_ = nullptr;
    QAction* saveImage_ = nullptr;
    QAction* quit_ = nullptr;
    bool readBackQueued_ = false;
    HostPicking* picking_ = nullptr;  // owned
};
