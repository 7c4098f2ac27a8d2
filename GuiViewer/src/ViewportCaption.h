#pragma once
// The caption bar over one viewport: the view name on a drop-down button
// that lists the views to switch to, and a maximize/restore button.
#include <QColor>
#include <QFrame>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QMenu;
class QToolButton;

class ViewportCaption : public QFrame {
    Q_OBJECT
public:
    ViewportCaption(int number, QWidget* parent);
    ~ViewportCaption() override;

    // The view name shown; an empty text shows "View " and the number.
    void setText(const QString& text);
    QString text() const;
    void setViewNames(const QStringList& names);
    void setActive(bool on);
    void setMaximized(bool on);
    void setSingleViewport(bool on);
    bool isMaximized() const { return maximized; }
    bool isActive() const { return active; }
    int viewportNumber() const { return number; }

signals:
    void activated(int number);
    void maximizationToggled(int number);
    void defaultViewSelected(int number);
    void customViewSelected(int number, const QString& p_name);
    void rightClick();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    void activateViewport();
    void maximizeToggled();
    void popupAboutToShow();
    void setViewSelection(int id);

private:
    void updateMaximizeButton();
    void paintWith(QWidget* widget, const QColor& background, const QColor& foreground);

    int number;
    bool maximized = false;
    bool singleViewport = false;
    bool active = false;
    QStringList viewNames;
    QPixmap maximizeIcon, maximizeInactiveIcon, restoreIcon, restoreInactiveIcon;
    QToolButton* viewButton = nullptr;
    QMenu* viewMenu = nullptr;  // owned, no parent
    QToolButton* maximizeButton = nullptr;
    QColor black{0, 0, 0}, grey192{192, 192, 192}, grey160{160, 160, 160}, white{255, 255, 255};
};
