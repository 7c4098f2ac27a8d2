#pragma once
// The widget that embeds one viewer engine in the host GUI: it creates the
// engine, gives its link the two socket handles of the connection to the
// engine process, polls that link every 100 ms and places the viewport
// captions over the engine's drawing area.
#include <QFrame>
#include <QString>
#include <QStringList>

class QTimer;
class ViewportSplitter;
class vkoViewer;

class ViewerQtWidget : public QFrame {
    Q_OBJECT
public:
    // Throws the text "ViewerQtWidget::addViewer - Viewer Init failed!" when
    // the engine cannot be created.
    ViewerQtWidget(int readSocket, int writeSocket, QWidget* parent);

    vkoViewer* getViewer() const { return engine; }
    ViewportSplitter* getSplitter() const { return splitter; }
    // Polling ends until the widget is destroyed.
    void stopSocketTimer();
    void setActiveViewport(int n);
    void setMaximizedViewport(int n);
    void setViewportLayout(int layout);
    void setViewportLabel(int n, const QString& text);
    void setViewNames(const QStringList& names);

    // True while any widget of the process is inside a poll.
    static bool isPolling() { return pollingNow; }

signals:
    void viewportActivated(int n);
    void viewportMaximized(int n);
    void defaultViewSelected(int n);
    void customViewSelected(int n, const QString& p_name);
    void rightClick();

public slots:
    void checkViewerSocket();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* container = nullptr;
    vkoViewer* engine = nullptr;  // owned through the widget tree
    ViewportSplitter* splitter = nullptr;
    int readSocket = -1;
    int writeSocket = -1;
    QTimer* pollTimer = nullptr;

    // A command can run a nested event loop (a message box); a timer tick
    // of any widget arriving then must not read the link again.
    static bool pollingNow;
};
