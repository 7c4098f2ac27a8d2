#include "render/GLWindow.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSocketNotifier>
#include <QSurfaceFormat>
#include <QTime>
#include <QWheelEvent>

#include <cmath>

#include "platform/MessageSink.h"
#include "render/GraphicsOGL.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

// Legacy GL 1.x calls need a compatibility profile context.
QSurfaceFormat compatibilityFormat() {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

// Draws one of the viewer's 32 x 32 two-colour cursors: black lines with a
// white outline (the mask is the union of both).
using CursorPainter = void (*)(QPainter&);

void arrow(QPainter& p, int x, int y, double s = 1.0) {
    QPainterPath path;
    path.moveTo(x, y);
    path.lineTo(x, y + 16 * s);
    path.lineTo(x + 4 * s, y + 12 * s);
    path.lineTo(x + 7 * s, y + 18 * s);
    path.lineTo(x + 9 * s, y + 17 * s);
    path.lineTo(x + 6 * s, y + 11 * s);
    path.lineTo(x + 11 * s, y + 11 * s);
    path.closeSubpath();
    p.drawPath(path);
}
void magnifier(QPainter& p) {
    p.drawEllipse(QRectF(3, 3, 14, 14));
    p.drawLine(QPointF(15, 15), QPointF(26, 26));
}
void rotationArc(QPainter& p, QRectF r, int startDeg, int spanDeg) {
    p.drawArc(r, startDeg * 16, spanDeg * 16);
    const double a = (startDeg + spanDeg) * M_PI / 180.0;
    QPointF c = r.center();
    QPointF tip(c.x() + r.width() / 2 * std::cos(a), c.y() - r.height() / 2 * std::sin(a));
    p.drawLine(tip, tip + QPointF(-4, -2));
    p.drawLine(tip, tip + QPointF(2, -4));
}

const CursorPainter kCursorPainters[12] = {
    [](QPainter& p) { arrow(p, 1, 1); p.drawRect(QRectF(14, 16, 14, 10)); },  // 1 arrow with a rectangle
    [](QPainter& p) { magnifier(p); p.drawLine(6, 10, 14, 10); p.drawLine(10, 6, 10, 14); },  // 2 zoom box
    [](QPainter& p) {  // 3 arrow with small crosses
        arrow(p, 1, 1);
        for (QPoint c : {QPoint(20, 8), QPoint(26, 20), QPoint(16, 26)}) {
            p.drawLine(c + QPoint(-2, -2), c + QPoint(2, 2));
            p.drawLine(c + QPoint(-2, 2), c + QPoint(2, -2));
        }
    },
    [](QPainter& p) {  // 4 hand
        p.drawRoundedRect(QRectF(9, 13, 14, 13), 4, 4);
        for (int i = 0; i < 4; ++i) p.drawRoundedRect(QRectF(9 + 3.5 * i, 5, 3, 10), 1.5, 1.5);
    },
    [](QPainter& p) {  // 5 four-way arrows
        p.drawLine(13, 2, 13, 24);
        p.drawLine(2, 13, 24, 13);
        for (auto [a, b, c] : {std::tuple{QPoint(13, 2), QPoint(10, 6), QPoint(16, 6)},
                               std::tuple{QPoint(13, 24), QPoint(10, 20), QPoint(16, 20)},
                               std::tuple{QPoint(2, 13), QPoint(6, 10), QPoint(6, 16)},
                               std::tuple{QPoint(24, 13), QPoint(20, 10), QPoint(20, 16)}}) {
            p.drawLine(a, b);
            p.drawLine(a, c);
        }
    },
    [](QPainter& p) { arrow(p, 1, 1, 1.3); },                                   // 6 plain arrow
    [](QPainter& p) { rotationArc(p, QRectF(5, 5, 20, 20), 30, 300); },         // 7 rotation
    [](QPainter& p) {  // 8 magnifier with up and down arrows
        magnifier(p);
        p.drawLine(26, 3, 26, 13);
        p.drawLine(26, 3, 23, 6);
        p.drawLine(26, 3, 29, 6);
        p.drawLine(26, 13, 23, 10);
        p.drawLine(26, 13, 29, 10);
    },
    [](QPainter& p) { arrow(p, 0, 0); p.fillRect(QRectF(14, 16, 14, 10), p.pen().color()); },  // 9 filled rectangle
    [](QPainter& p) { rotationArc(p, QRectF(2, 10, 26, 10), 200, 140); },       // 10 horizontal arc
    [](QPainter& p) { rotationArc(p, QRectF(9, 9, 12, 12), 60, 240); },         // 11 small arc
    [](QPainter& p) {  // 12 vertical axis with an arc
        p.drawLine(15, 2, 15, 28);
        rotationArc(p, QRectF(5, 11, 20, 8), 200, 140);
    },
};
const QPoint kHotSpots[12] = {{1, 1},   {10, 10}, {1, 1},   {15, 15}, {13, 13}, {1, 1},
                              {15, 15}, {10, 10}, {0, 0},   {15, 15}, {15, 15}, {15, 15}};

QBitmap cursorBitmap(CursorPainter paint, int penWidth) {
    QBitmap bitmap(32, 32);
    bitmap.fill(Qt::color0);
    QPainter p(&bitmap);
    p.setPen(QPen(Qt::color1, penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    paint(p);
    return bitmap;
}

}  // namespace

GLWindow::GLWindow(vkoViewer* viewer, QWidget* parentBox, bool remote) : QOpenGLWidget(parentBox), viewer_(viewer) {
    setObjectName("glWindow");
    setFormat(compatibilityFormat());
    // Frames drawn outside a paint event stay in the framebuffer object
    // until the next one, so a paint only composes them.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    if (remote) {
        socketTimer_ = new QTimer(this);
        connect(socketTimer_, &QTimer::timeout, this, &GLWindow::CheckSocket);
        socketTimer_->start(100);
    }
    lodTimer_ = new QTimer(this);
    lodTimer_->setSingleShot(true);
    connect(lodTimer_, &QTimer::timeout, this, &GLWindow::DoLOD);
    if (parentBox) {
        createCursors();
        setCursorIndex(7);
        setMouseTracking(true);
        if (remote) setFocusPolicy(Qt::StrongFocus);
        sixDofTimer_ = new QTimer(this);
        sixDofTimer_->setSingleShot(true);
        connect(sixDofTimer_, &QTimer::timeout, this, &GLWindow::DoSpaceBall);
    }
}

GLWindow::~GLWindow() {
    if (socketTimer_) socketTimer_->stop();
    lodTimer_->stop();
    closeSixDof();
    if (sixDofTimer_) sixDofTimer_->stop();
}

void GLWindow::createCursors() {
    for (int i = 1; i < kNumCursors; ++i) {
        QBitmap shape = cursorBitmap(kCursorPainters[i - 1], 1);
        QBitmap mask = cursorBitmap(kCursorPainters[i - 1], 3);
        if (shape.isNull() || mask.isNull()) continue;
        cursors_[i] = QCursor(shape, mask, kHotSpots[i - 1].x(), kHotSpots[i - 1].y());
        cursorValid_[i] = true;
    }
}

// ------------------------------------------------------------ drawing

bool GLWindow::makeDrawingCurrent() {
    if (!contextReady_ || !context()) return false;
    makeCurrent();
    if (renderer_) renderer_->targetFramebuffer = defaultFramebufferObject();
    return true;
}

void GLWindow::frameFinished() {
    if (inPaint_) return;
    frameReady_ = true;
    update();
}

void GLWindow::initializeGL() {
    contextReady_ = true;
    if (renderer_) renderer_->targetFramebuffer = defaultFramebufferObject();
}

void GLWindow::resizeGL(int w, int h) {
    if (renderer_) renderer_->targetFramebuffer = defaultFramebufferObject();
    const qreal ratio = devicePixelRatioF();
    windowWidth = static_cast<int>(w * ratio);
    windowHeight = static_cast<int>(h * ratio);
    if (viewer_) viewer_->WindowResized(windowWidth, windowHeight);
    // The resized framebuffer object holds nothing yet.
    frameReady_ = false;
}

void GLWindow::paintGL() {
    if (frameReady_) {
        // The frame is already in the framebuffer object.
        frameReady_ = false;
        return;
    }
    exposed(nullptr);
}

void GLWindow::exposed(QPaintEvent*) {
    if (!viewer_) return;
    inPaint_ = true;
    viewer_->RefreshAll(false, false);
    viewer_->Redraw();
    inPaint_ = false;
}

void GLWindow::resized(QResizeEvent*) {
    if (viewer_) viewer_->WindowResized(windowWidth, windowHeight);
}

// ------------------------------------------------------------- timers

void GLWindow::CheckSocket() {
    if (viewer_) viewer_->CheckForCommand(-1);
}

void GLWindow::DoLOD() {
    if (viewer_) viewer_->ServiceLodQueue();
}

void GLWindow::startLodTimer() {
    if (!lodTimer_->isActive()) lodTimer_->start(5);
}

void GLWindow::DoSpaceBall() {
    if (viewer_) viewer_->EndInteraction();
}

// ------------------------------------------------------------ cursors and clock

void GLWindow::setCursorIndex(int index) {
    if (index == kKeepCursor || index < 0 || index >= kNumCursors) return;
    cursorIndex = index;
    const bool rotationCursor = index == 7 || index == 11 || index == 12;
    const bool rotationOff = viewer_ && viewer_->currentViewport && !viewer_->currentViewport->isRotationEnabled;
    if (index == 0 || !cursorValid_[index] || (rotationCursor && rotationOff))
        unsetCursor();
    else
        setCursor(cursors_[index]);
}

int GLWindow::timeMs() const {
    const QTime t = QTime::currentTime();
    return ((t.hour() * 60 + t.minute()) * 60 + t.second()) * 1000 + t.msec();
}

int GLWindow::elapsedMs(int since) const { return timeMs() - since; }

// ------------------------------------------------------------ decoding

namespace {
int modifierMask(Qt::KeyboardModifiers m) {
    int out = 0;
    if (m & Qt::ShiftModifier) out |= VWindow::kShift;
    if (m & Qt::ControlModifier) out |= VWindow::kControl;
    if (m & Qt::AltModifier) out |= VWindow::kAlt;
    return out;
}
}  // namespace

void GLWindow::decodeMouse(QMouseEvent* event) {
    int h = windowHeight;
    if (renderer_ && renderer_->windowHeight > 0) h = renderer_->windowHeight;
    const qreal ratio = devicePixelRatioF();
    const QPointF pos = event->position() * ratio;
    pointerX = static_cast<int>(pos.x());
    pointerY = h - static_cast<int>(pos.y()) - 1;
    modifiers = modifierMask(event->modifiers());
    int b = 0;
    const Qt::MouseButtons which = event->type() == QEvent::MouseMove ? event->buttons() : event->button();
    if (which & Qt::LeftButton) b |= kLeft;
    if (which & Qt::RightButton) b |= kRight;
    if (which & Qt::MiddleButton) b |= kMiddle;
    button = b & 7;
}

// The one place where toolkit keys become the viewer's key codes: the
// character for printable keys, Esc 27, Delete 127, Ctrl with a letter its
// control character, and the old toolkit's numbers for the keys that are no
// characters (Home 0x1010, Left 0x1012 .. Page Down 0x1017).  0: no key.
int GLWindow::viewerKeyCode(int qtKey, const QString& text, int modifiers) {
    switch (qtKey) {
        case Qt::Key_Escape: return 27;
        case Qt::Key_Delete: return 127;
        case Qt::Key_Tab: return 9;
        case Qt::Key_Backspace: return 8;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 13;
        default: break;
    }
    // Ctrl-A is 1 .. Ctrl-Z 26, whatever text the platform gives (none,
    // the letter, or the control character) and whether Shift or Alt are
    // held too.
    if ((modifiers & kControl) && qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey - Qt::Key_A + 1;
    if (qtKey >= Qt::Key_Escape && qtKey <= Qt::Key_Escape + 0xfff) {
        // Shift, Ctrl and the other modifier keys alone are no command.
        if (qtKey >= Qt::Key_Shift && qtKey <= Qt::Key_ScrollLock) return 0;
        return qtKey - Qt::Key_Escape + 0x1000;
    }
    if (!text.isEmpty() && text.at(0).unicode() >= 32) return text.at(0).unicode();
    if (qtKey > 0 && qtKey < 0x10000) {
        // A letter without text: its case follows Shift.
        if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z && !(modifiers & kShift)) return qtKey - Qt::Key_A + 'a';
        return qtKey;
    }
    return 0;
}

void GLWindow::decodeKey(QKeyEvent* event) {
    modifiers = modifierMask(event->modifiers());
    key = viewerKeyCode(event->key(), event->text(), modifiers);
}

void GLWindow::decodeWheel(QWheelEvent* event) {
    modifiers = modifierMask(event->modifiers());
    wheelSteps = event->angleDelta().y() / 120.0f;
}

// ------------------------------------------------------------ events

void GLWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) activationChanged(!isActiveWindow());
    QOpenGLWidget::changeEvent(event);
}

void GLWindow::activationChanged(bool wasActive) {
    if (!wasActive) activationMs_ = timeMs();
}

void GLWindow::mousePressEvent(QMouseEvent* event) {
    // The click that activates the window does nothing.
    if (activationMs_ >= 0 && elapsedMs(activationMs_) >= 0 && elapsedMs(activationMs_) < kActivationClickMs) {
        activationMs_ = -1;
        return;
    }
    activationMs_ = -1;
    mousePressed(event);
}

void GLWindow::mousePressed(QMouseEvent* event) {
    decodeMouse(event);
    if (viewer_) viewer_->MousePressed(this);
}

void GLWindow::mouseReleaseEvent(QMouseEvent* event) { mouseReleased(event); }
void GLWindow::mouseReleased(QMouseEvent* event) {
    decodeMouse(event);
    if (viewer_) viewer_->MouseReleased(this);
}

void GLWindow::mouseDoubleClickEvent(QMouseEvent* event) { mouseDoubleClicked(event); }
void GLWindow::mouseDoubleClicked(QMouseEvent* event) {
    decodeMouse(event);
    if (viewer_) viewer_->MouseDoubleClicked(this);
}

void GLWindow::mouseMoveEvent(QMouseEvent* event) { mouseMoved(event); }
void GLWindow::mouseMoved(QMouseEvent* event) {
    decodeMouse(event);
    if (viewer_) viewer_->MouseMoved(this);
}

void GLWindow::wheelEvent(QWheelEvent* event) { wheelTurned(event); }
void GLWindow::wheelTurned(QWheelEvent* event) {
    decodeWheel(event);
    if (viewer_) viewer_->WheelTurned(this);
}

void GLWindow::keyPressEvent(QKeyEvent* event) { keyPressed(event); }
void GLWindow::keyPressed(QKeyEvent* event) {
    decodeKey(event);
    if (key == 0 || !viewer_) return;
    // The viewer runs the command, ends a stand-alone program after Esc and
    // shows what the key had to say.
    viewer_->KeyPressed(this);
}

// ------------------------------------------------------------ 6-DOF

void GLWindow::showEvent(QShowEvent* event) {
    QOpenGLWidget::showEvent(event);
    if (sixDofTimer_) openSixDof();
}

void GLWindow::hideEvent(QHideEvent* event) {
    closeSixDof();
    QOpenGLWidget::hideEvent(event);
}

void GLWindow::openSixDof() {
    closeSixDof();
    lastMotionMs_ = -1;
    if (!sixDof_.open()) return;
    sixDofNotifier_ = new QSocketNotifier(sixDof_.fd(), QSocketNotifier::Read, this);
    connect(sixDofNotifier_, &QSocketNotifier::activated, this, [this] {
        sixDof_.poll([this](const platform::SixDofMotion& m) { applySixDofMotion(m, timeMs()); });
    });
}

void GLWindow::closeSixDof() {
    delete sixDofNotifier_;
    sixDofNotifier_ = nullptr;
    sixDof_.close();
}

void GLWindow::applySixDofMotion(const platform::SixDofMotion& m, int now) {
    bool any = false;
    for (int i = 0; i < 3; ++i) any = any || m.translation[i] != 0 || m.rotation[i] != 0;
    if (!any || !viewer_ || !viewer_->currentViewport) return;
    // A pause of more than 200 ms starts a new movement: one undo entry each.
    if (lastMotionMs_ < 0 || now - lastMotionMs_ > kSixDofIdleMs || now < lastMotionMs_)
        viewer_->TransformView(5, 0, 0, 0, 0, false);
    lastMotionMs_ = now;
    viewer_->SetViewMoving(true);
    if (sixDofTimer_) sixDofTimer_->start(kSixDofIdleMs);
    viewer_->TransformView(0, m.rotation[0] / 100.0f, m.rotation[1] / 100.0f, 0, 0, false);
    viewer_->TransformView(0, 0, 0, -m.rotation[2] / 100.0f, 0, false);
    viewer_->TransformView(1, m.translation[0] / 10000.0f, m.translation[1] / 10000.0f, 0, 0, false);
    const float f = -m.translation[2] / 10000.0f;
    viewer_->TransformView(3, 0, 0, 0, f >= 0 ? 1.0f + f : 1.0f / (1.0f - f), false);
    viewer_->Redraw();
}
