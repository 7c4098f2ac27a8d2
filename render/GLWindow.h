#pragma once
// The drawing surface of one viewer: a QOpenGLWidget in a compatibility
// profile context (the renderer uses OpenGL 1.x display lists) that also
// implements VWindow, decoding input for the viewer's interpreters.  It runs
// the link poll, the level-of-detail and the 6-DOF end-of-motion timers.
#include <QCursor>
#include <QOpenGLWidget>
#include <QTimer>

#include <memory>

#include "platform/SixDof.h"
#include "render/VWindow.h"

class vkoViewer;
class GraphicsOGL;
class QSocketNotifier;

class GLWindow : public QOpenGLWidget, public VWindow {
    Q_OBJECT
public:
    // remote: the viewer reads a link it must poll every 100 ms.
    GLWindow(vkoViewer* viewer, QWidget* parentBox, bool remote);
    ~GLWindow() override;

    // The renderer that draws into this window's framebuffer.
    void setRenderer(GraphicsOGL* renderer) { renderer_ = renderer; }
    // Makes the context current and points the renderer at the widget's
    // framebuffer object; false when there is no usable context yet.
    bool makeDrawingCurrent();
    // Called by the renderer when a frame drawn outside a paint event is
    // complete: the widget composes it on the next paint without drawing
    // the scene again.
    void frameFinished();
    void startLodTimer();
    bool contextReady() const { return contextReady_; }

    // ---- VWindow
    void activationChanged(bool wasActive) override;
    void keyPressed(QKeyEvent* event) override;
    void mousePressed(QMouseEvent* event) override;
    void mouseReleased(QMouseEvent* event) override;
    void mouseDoubleClicked(QMouseEvent* event) override;
    void mouseMoved(QMouseEvent* event) override;
    void wheelTurned(QWheelEvent* event) override;
    void resized(QResizeEvent* event) override;
    void exposed(QPaintEvent* event) override;
    void setCursorIndex(int index) override;
    int timeMs() const override;
    int elapsedMs(int since) const override;
    void decodeKey(QKeyEvent* event) override;
    void decodeMouse(QMouseEvent* event) override;
    void decodeWheel(QWheelEvent* event) override;

    // A toolkit key as the viewer's key code (VWindow), 0 for none.
    static int viewerKeyCode(int qtKey, const QString& text, int modifiers);

    // Activation time window within which a press is the activating click.
    static constexpr int kActivationClickMs = 100;
    static constexpr int kSixDofIdleMs = 200;

    // Applies one 6-DOF motion sample (public for tests).
    void applySixDofMotion(const platform::SixDofMotion& motion, int timeMs);

public slots:
    void CheckSocket();
    void DoLOD();
    void DoSpaceBall();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createCursors();
    void openSixDof();
    void closeSixDof();

    vkoViewer* viewer_ = nullptr;
    GraphicsOGL* renderer_ = nullptr;
    QTimer* socketTimer_ = nullptr;
    QTimer* lodTimer_ = nullptr;
    QTimer* sixDofTimer_ = nullptr;
    QCursor cursors_[kNumCursors];
    bool cursorValid_[kNumCursors] = {};
    platform::SixDofDevice sixDof_;
    QSocketNotifier* sixDofNotifier_ = nullptr;
    int lastMotionMs_ = -1;
    int activationMs_ = -1;
    bool contextReady_ = false;
    bool inPaint_ = false;
    bool frameReady_ = false;  // the FBO holds a frame drawn outside paintGL
};
