#pragma once
// A main window docked in the host workspace, with the help link of the
// window kind and a title text.
#include <QMainWindow>
#include <QString>

class QMdiSubWindow;

// The help topic of a window.
class HelpLink {
public:
    explicit HelpLink(const QString& helpId = QString()) : helpId_(helpId) {}
    virtual ~HelpLink() = default;
    virtual QString getHelpId() const { return helpId_; }
    void setHelpId(const QString& id) { helpId_ = id; }

private:
    QString helpId_;
};

class WorkspaceWindow : public QMainWindow, public HelpLink {
    Q_OBJECT
public:
    // Docked in the host main window's workspace when there is one and no
    // parent is given.
    WorkspaceWindow(QWidget* parent, const char* name, Qt::WindowFlags flags = {});
    ~WorkspaceWindow() override;

    // Show and hide on the user's request (the workspace frame too).
    virtual void explicitShow();
    virtual void explicitHide();
    void setWorkspaceTitle(const QString& title);
    QString workspaceTitle() const { return windowTitle(); }
    QMdiSubWindow* workspaceFrame() const { return frame_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QMdiSubWindow* frame_ = nullptr;
};
