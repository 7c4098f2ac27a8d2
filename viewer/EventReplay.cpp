#include "viewer/EventReplay.h"

#include <algorithm>

#include "render/VWindow.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

EventReplay* EventReplay::Start(vkoViewer* viewer, VWindow* window, QObject* parent, const char* path,
                                int intervalMs) {
    if (!viewer || !window || !path) return nullptr;
    std::FILE* file = std::fopen(path, "r");
    if (!file) return nullptr;
    auto* replay = new EventReplay(viewer, window, parent, file);
    replay->timer_.start(intervalMs > 0 ? intervalMs : 0);
    return replay;
}

EventReplay::EventReplay(vkoViewer* viewer, VWindow* window, QObject* parent, std::FILE* file)
    : QObject(parent), viewer_(viewer), window_(window), file_(file), reader_(new EventLogReader(file)) {
    viewer_->replayingEvents = true;
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

EventReplay::~EventReplay() {
    // The viewer may be gone already (it is destroyed before its widgets).
    if (file_) std::fclose(file_);
}

void EventReplay::tick() {
    if (busy_ || finished_) return;
    // Positions scale by the window's size: wait until it has one.
    if (window_->windowWidth <= 0 || window_->windowHeight <= 0) return;
    step();
}

void EventReplay::finish() {
    if (finished_) return;
    finished_ = true;
    timer_.stop();
    viewer_->replayingEvents = false;
    std::fclose(file_);
    file_ = nullptr;
}

bool EventReplay::step() {
    if (finished_) return false;
    EventRecord e;
    if (!reader_->next(e)) {
        finish();
        return false;
    }
    VWindow& w = *window_;
    vkoViewer& v = *viewer_;
    // A recording starts in the middle of a session, after a press chose the
    // viewport its keys act on: keys before the first replayed press act on
    // the current viewport.
    if (!w.activeViewport && v.currentViewport) {
        w.activeViewport = v.currentViewport;
        w.activeViewport->pixelRectangle(w.activeLeft, w.activeBottom, w.activeWidth, w.activeHeight);
        w.activeSize = std::max(1, std::min(w.activeWidth, w.activeHeight));
    }
    w.pointerX = EventLogReader::Scale(e.x, w.windowWidth, e.width);
    w.pointerY = EventLogReader::Scale(e.y, w.windowHeight, e.height);
    w.modifiers = e.modifiers;
    w.key = e.key;
    w.button = e.button;
    w.wheelSteps = e.wheel;
    busy_ = true;
    switch (e.event) {
        case EventRecord::Press: v.MousePressed(&w); break;
        case EventRecord::Release: v.MouseReleased(&w); break;
        case EventRecord::DoubleClick: v.MouseDoubleClicked(&w); break;
        case EventRecord::Move: v.MouseMoved(&w); break;
        case EventRecord::Wheel: v.WheelTurned(&w); break;
        case EventRecord::Key:
            // As the window does: key code 0 is no key.
            if (e.key != 0) v.KeyPressed(&w);
            break;
    }
    busy_ = false;
    ++replayed_;
    // The key ended the program (the exit hook returned in tests).
    if (!w.running) {
        finish();
        return false;
    }
    return true;
}
