#pragma once
// Places the four caption bars and the two separator bars of a viewer widget
// over the strips and gaps the engine leaves above and between its
// viewports, for the current layout and maximized viewport.  Not a widget:
// the bars are children of the viewer widget.
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

class QFrame;
class ViewerQtWidget;
class ViewportCaption;

class ViewportSplitter : public QObject {
    Q_OBJECT
public:
    static constexpr int kCaptionHeight = 20;
    static constexpr int kGap = 4;

    explicit ViewportSplitter(ViewerQtWidget* parent);

    void setActiveViewport(int n);
    void setViewportLabel(int n, const QString& text);
    void setViewNames(const QStringList& names);
    // Layout index 0..7 (other values act as 0).
    void setViewportLayout(int layout);
    // Viewport number 1..4, or anything else for none.
    void setMaximizedViewport(int n);
    void resize(int width, int height);

    // Caption n (1..4), or none.
    ViewportCaption* caption(int n) const;
    QFrame* horizontalSeparator() const { return horizontalBar; }
    QFrame* verticalSeparator() const { return verticalBar; }

signals:
    void viewportActivated(int n);
    void viewportMaximized(int n);
    void defaultViewSelected(int n);
    void customViewSelected(int n, const QString& p_name);
    void rightClick();

private slots:
    void toggleMaximization(int n);

private:
    void layOut();

    std::vector<ViewportCaption*> captions;
    QFrame* horizontalBar = nullptr;
    QFrame* verticalBar = nullptr;
    int layout = 0;
    int width = -1, height = -1;
};
