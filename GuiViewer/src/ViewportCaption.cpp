#include "GuiViewer/src/ViewportCaption.h"

#include <QAction>
#include <QEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QToolButton>

#include "GuiViewer/src/host/ConfigStoreBase.h"

namespace {

const char* const kDefaultViews[] = {"View 1", "View 2", "View 3", "View 4"};

bool IsDefaultView(const QString& name) {
    for (const char* v : kDefaultViews)
        if (name == QLatin1String(v)) return true;
    return false;
}

}  // namespace

ViewportCaption::ViewportCaption(int n, QWidget* parent) : QFrame(parent), number(n) {
    setAutoFillBackground(true);
    auto* box = new QHBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);

    viewButton = new QToolButton(this);
    viewButton->setObjectName("Viewport Arrow");
    viewButton->setAutoRaise(true);
    // The menu opens as soon as the button goes down (no delay).
    viewButton->setPopupMode(QToolButton::InstantPopup);
    viewButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont bold = font();
    bold.setWeight(QFont::Bold);  // 75 on the old 0..99 scale
    viewButton->setFont(bold);
    viewButton->setText(QString("View %1").arg(number));
    connect(viewButton, &QToolButton::pressed, this, &ViewportCaption::activateViewport);
    viewMenu = new QMenu();
    viewButton->setMenu(viewMenu);
    connect(viewMenu, &QMenu::aboutToShow, this, &ViewportCaption::popupAboutToShow);
    connect(viewMenu, &QMenu::triggered, this, [this](QAction* a) { setViewSelection(a->data().toInt()); });
    box->addWidget(viewButton);
    box->addStretch(1);

    maximizeButton = new QToolButton(this);
    maximizeButton->setObjectName("Maximize/Restore Button");
    maximizeButton->setAutoRaise(true);
    connect(maximizeButton, &QToolButton::clicked, this, &ViewportCaption::maximizeToggled);
    box->addWidget(maximizeButton);

    ConfigStoreBase* icons = ConfigStoreBase::baseInstance();
    maximizeIcon = icons->getPixmap("maximizeview.xpm");
    maximizeInactiveIcon = icons->getPixmap("maximizeviewD.xpm");
    restoreIcon = icons->getPixmap("restoreview.xpm");
    restoreInactiveIcon = icons->getPixmap("restoreviewD.xpm");
    setActive(false);
}

ViewportCaption::~ViewportCaption() { delete viewMenu; }

void ViewportCaption::setText(const QString& text) {
    viewButton->setText(text.isEmpty() ? QString("View %1").arg(number) : text);
}

QString ViewportCaption::text() const { return viewButton->text(); }

void ViewportCaption::setViewNames(const QStringList& names) { viewNames = names; }

void ViewportCaption::paintWith(QWidget* widget, const QColor& background, const QColor& foreground) {
    QPalette p = widget->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
        p.setColor(role, background);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        p.setColor(role, foreground);
    widget->setPalette(p);
}

void ViewportCaption::setActive(bool on) {
    active = on;
    const QColor& background = on ? grey192 : white;
    const QColor& foreground = on ? black : grey160;
    paintWith(this, background, foreground);
    paintWith(viewButton, background, foreground);
    updateMaximizeButton();
}

void ViewportCaption::setMaximized(bool on) {
    maximized = on;
    updateMaximizeButton();
}

void ViewportCaption::setSingleViewport(bool on) {
    singleViewport = on;
    updateMaximizeButton();
}

void ViewportCaption::updateMaximizeButton() {
    if (singleViewport) {
        maximizeButton->hide();
        return;
    }
    maximizeButton->show();
    if (maximized) {
        maximizeButton->setIcon(active ? restoreIcon : restoreInactiveIcon);
        maximizeButton->setToolTip("Restore views");
    } else {
        maximizeButton->setIcon(active ? maximizeIcon : maximizeInactiveIcon);
        maximizeButton->setToolTip("Maximize view");
    }
    paintWith(maximizeButton, active ? grey192 : white, active ? black : grey160);
}

void ViewportCaption::mousePressEvent(QMouseEvent*) { emit activated(number); }

void ViewportCaption::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) emit rightClick();
}

void ViewportCaption::mouseDoubleClickEvent(QMouseEvent*) {
    if (!singleViewport) emit maximizationToggled(number);
}

void ViewportCaption::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        QFont bold = font();
        bold.setWeight(QFont::Bold);
        viewButton->setFont(bold);
    }
}

void ViewportCaption::activateViewport() { emit activated(number); }

void ViewportCaption::maximizeToggled() { emit maximizationToggled(number); }

void ViewportCaption::popupAboutToShow() {
    emit activated(number);
    viewMenu->clear();
    const QString current = viewButton->text();
    int id = 0;
    auto insert = [&](const QString& name) { viewMenu->addAction(name)->setData(id++); };
    for (const char* v : kDefaultViews)
        if (current != QLatin1String(v)) insert(v);
    for (const QString& name : viewNames)
        if (name != current && !IsDefaultView(name)) insert(name);
}

void ViewportCaption::setViewSelection(int id) {
    const QList<QAction*> items = viewMenu->actions();
    for (QAction* a : items)
        if (a->data().toInt() == id) {
            emit customViewSelected(number, a->text());
            return;
        }
}
