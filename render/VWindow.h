#pragma once
// The small window-system interface through which the viewer's input
// interpreter receives normalised input, sets cursors and reads the clock.
// It also holds the interpreter's input state.
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QResizeEvent;
class QPaintEvent;

class VWindow {
public:
    // Modifier masks of the decoded input.
    static constexpr int kShift = 0x100;
    static constexpr int kControl = 0x200;
    static constexpr int kAlt = 0x400;
    // Button masks.
    static constexpr int kLeft = 1;
    static constexpr int kRight = 2;
    static constexpr int kMiddle = 4;
    static constexpr int kNumCursors = 13;
    static constexpr int kKeepCursor = 13;

    virtual ~VWindow() = default;

    virtual void activationChanged(bool wasActive) = 0;
    virtual void keyPressed(QKeyEvent* event) = 0;
    virtual void mousePressed(QMouseEvent* event) = 0;
    virtual void mouseReleased(QMouseEvent* event) = 0;
    virtual void mouseDoubleClicked(QMouseEvent* event) = 0;
    virtual void mouseMoved(QMouseEvent* event) = 0;
    virtual void wheelTurned(QWheelEvent* event) = 0;
    virtual void resized(QResizeEvent* event) = 0;
    virtual void exposed(QPaintEvent* event) = 0;
    virtual void setCursorIndex(int index) = 0;
    // Milliseconds since midnight.
    virtual int timeMs() const = 0;
    virtual int elapsedMs(int since) const = 0;
    virtual void decodeKey(QKeyEvent* event) = 0;
    virtual void decodeMouse(QMouseEvent* event) = 0;
    virtual void decodeWheel(QWheelEvent* event) = 0;

    // ---- input state of the interpreter
    int windowWidth = 0, windowHeight = 0;
    int pointerX = 0, pointerY = 0;  // origin at the bottom left
    int button = 0;
    int modifiers = 0;
    int key = 0;
    float wheelSteps = 0.0f;
    int cursorIndex = 0;
};
