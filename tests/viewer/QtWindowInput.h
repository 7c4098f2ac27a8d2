#pragma once
// Qt mouse and wheel events sent to a window at pixel positions counted from
// its bottom left, as the viewer counts them.
#include <QCoreApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace qtinput {

inline QPointF qtPoint(const QWidget* w, QPoint gl) { return QPointF(gl.x(), w->height() - 1 - gl.y()); }

inline void mouse(QWidget* w, QEvent::Type type, QPoint gl, Qt::MouseButton button, Qt::MouseButtons buttons,
                  Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, qtPoint(w, gl), w->mapToGlobal(qtPoint(w, gl)), button, buttons, mods);
    QCoreApplication::sendEvent(w, &e);
}

inline void click(QWidget* w, QPoint gl, Qt::MouseButton b, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    mouse(w, QEvent::MouseButtonPress, gl, b, b, mods);
    mouse(w, QEvent::MouseButtonRelease, gl, b, Qt::NoButton, mods);
}

// Press, four moves of equal steps, release.
inline void drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton b, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    mouse(w, QEvent::MouseButtonPress, from, b, b, mods);
    for (int i = 1; i <= 4; ++i) mouse(w, QEvent::MouseMove, from + (to - from) * i / 4, Qt::NoButton, b, mods);
    mouse(w, QEvent::MouseButtonRelease, to, b, Qt::NoButton, mods);
}

// delta 120 is one notch forward.
inline void wheel(QWidget* w, QPoint gl, int delta, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWheelEvent e(qtPoint(w, gl), w->mapToGlobal(qtPoint(w, gl)), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

}  // namespace qtinput
