#pragma once
// The small window-system interface through which the viewer's input
// interpreter receives normalised input, sets cursors and reads the clock.
// It also holds the interpreter's input state.
#include <cstdio>

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QResizeEvent;
class QPaintEvent;
class vkoViewport;

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
    // Key codes of the keys that are no characters (Esc is 27, Delete 127,
    // Ctrl with a letter its control character).
    static constexpr int kKeyHome = 0x1010;
    static constexpr int kKeyLeft = 0x1012;
    static constexpr int kKeyUp = 0x1013;
    static constexpr int kKeyRight = 0x1014;
    static constexpr int kKeyDown = 0x1015;
    static constexpr int kKeyPageUp = 0x1016;
    static constexpr int kKeyPageDown = 0x1017;
    static constexpr int kNumCursors = 13;
    static constexpr int kKeepCursor = 13;

    VWindow() = default;
    VWindow(const VWindow&) = delete;
    VWindow& operator=(const VWindow&) = delete;
    // An open event recording ends with its window.
    virtual ~VWindow() {
        if (eventLog) std::fclose(eventLog);
    }

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

    // ---- press state of the pointer interpreter
    static constexpr int kPressPending = 1;      // the press action has not run yet
    static constexpr int kPressUnconsumed = 2;   // no click or double click took the press
    int pressState = 0;
    int heldButton = -1, heldModifiers = -1;     // -1: no button held
    int pressX = 0, pressY = 0;
    int pressTimeMs = 0;
    int previousX = 0, previousY = 0;
    vkoViewport* activeViewport = nullptr;          // the viewport pressed last
    vkoViewport* previousActiveViewport = nullptr;  // the one active before it
    // Pixel rectangle of the active viewport and its smaller side (>= 1).
    int activeLeft = 0, activeBottom = 0, activeWidth = 0, activeHeight = 0;
    int activeSize = 1;

    // ---- state of the key commands
    bool running = true;         // cleared by Esc in a stand-alone viewer: the process ends
    bool lodToggle = false;      // Ctrl-L
    int normalsCounter = 0;      // Ctrl-N, 0..2
    int polygonModeCounter = 0;  // Ctrl-G, 0..2

    // ---- event recording: the open "viewerEvent.key" stream, or null
    std::FILE* eventLog = nullptr;
};
