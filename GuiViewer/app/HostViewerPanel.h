#pragma once
// The host program's viewer area, until the viewer window takes its place: the
// viewer widget with its captions and a layout selector, kept in step with
// the engine process.  The caption
// actions become command text for the engine process; its state is read
// back into the captions after every command.
#include <QWidget>

class EngineProcess;
class QComboBox;
class ViewerQtWidget;

class HostViewerPanel : public QWidget {
    Q_OBJECT
public:
    HostViewerPanel(EngineProcess* engine, QWidget* parent);
    ~HostViewerPanel() override;

    ViewerQtWidget* viewerWidget() const { return widget_; }
    QComboBox* layoutSelector() const { return layoutCombo_; }
    int currentViewport() const { return current_; }
    // Layout index 0..7 and maximized viewport (below 1: none), as a user
    // would choose them.
    void chooseLayout(int index);
    void chooseMaximized(int n);

public slots:
    // Reads the viewport manager and the views into the captions.
    void readBack();

private:
    void activate(int n);
    static void viewportClicked(class vkoViewer* viewer);

    EngineProcess* engine_;
    ViewerQtWidget* widget_ = nullptr;
    QComboBox* layoutCombo_ = nullptr;
    int current_ = 1;
};
