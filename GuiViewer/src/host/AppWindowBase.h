#pragma once
// The host main window: a workspace of docked windows, a status bar, the
// logo flag and the coordinate-frame query.  One per process.
#include <QMainWindow>

class QMdiArea;

class AppWindowBase : public QMainWindow {
    Q_OBJECT
public:
    explicit AppWindowBase(QWidget* parent = nullptr);
    ~AppWindowBase() override;

    // The main window of the process, or none before one exists.
    static AppWindowBase* baseInstance();

    QMdiArea* workspace() const { return workspace_; }
    // The viewer shows the second logo instead of the first.
    bool logoFlag() const { return logoFlag_; }
    void setLogoFlag(bool on) { logoFlag_ = on; }
    // The application works with coordinate frames other than Cartesian,
    // so the viewer shows its frame selector.
    bool frameQuery() const { return frameQuery_; }
    void setFrameQuery(bool on) { frameQuery_ = on; }

private:
    QMdiArea* workspace_;
    bool logoFlag_ = false;
    bool frameQuery_ = false;
};
