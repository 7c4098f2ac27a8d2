// Event recording (the scene, then every input event of the window as one
// line), its replay, and the timing run.
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/MessageSink.h"
#include "render/GLWindow.h"
#include "render/VWindow.h"
#include "scene/vkoViewport.h"
#include "viewer/EventLogReader.h"
#include "viewer/EventReplay.h"
#include "viewer/vkoViewer.h"

namespace {
constexpr const char* kSceneFile = "viewerEvent.dmp";
constexpr const char* kEventFile = "viewerEvent.key";
}  // namespace

void vkoViewer::StartRecording(VWindow* w) {
    // A replayed Ctrl-K must not overwrite the recording being replayed.
    if (!w || w->eventLog || replayingEvents) return;
    // Events without their starting scene would replay onto an older one.
    if (!WriteScene(kSceneFile)) {
        platform::ShowMessage(platform::MessageIcon::Error,
                              "ERROR in StartRecording: cannot write viewerEvent.dmp, nothing is recorded\n");
        return;
    }
    w->eventLog = std::fopen(kEventFile, "w");
    if (!w->eventLog)
        platform::ShowMessage(platform::MessageIcon::Error,
                              "ERROR in StartRecording: cannot open viewerEvent.key, nothing is recorded\n");
}

void vkoViewer::StopRecording(VWindow* w) {
    if (!w || !w->eventLog) return;
    std::fclose(w->eventLog);
    w->eventLog = nullptr;
}

void vkoViewer::RecordEvent(VWindow* w, int event) {
    if (!w || !w->eventLog) return;
    EventRecord r;
    r.event = event;
    r.width = w->windowWidth;
    r.height = w->windowHeight;
    r.x = w->pointerX;
    r.y = w->pointerY;
    r.modifiers = w->modifiers;
    r.key = w->key;
    r.button = w->button;
    r.wheel = w->wheelSteps;
    std::fputs(EventLogReader::FormatLine(r).c_str(), w->eventLog);
    std::fflush(w->eventLog);
}

bool vkoViewer::ReplayEvents(const char* path, int intervalMs) {
    if (!glWindow || replayingEvents) return false;
    return EventReplay::Start(this, glWindow, glWindow, path ? path : kEventFile, intervalMs) != nullptr;
}

void vkoViewer::TimingRun(VWindow*) {
    using Clock = std::chrono::steady_clock;
    interacting = true;
    TransformView(5, 0, 0, 0, 0, false);

    long seconds = 30;
    if (const char* env = std::getenv("DRAV_TIMING_SECONDS")) {
        seconds = std::strtol(env, nullptr, 10);
        if (seconds < 0) seconds = 1;
        if (seconds > INT_MAX) seconds = INT_MAX;
    }
    std::snprintf(outputMessage, sizeof outputMessage, "Starting timing with interval of %ld seconds.\n", seconds);
    platform::ShowMessage(platform::MessageIcon::Warning, outputMessage);

    SetViewMoving(true);
    // A steady clock, not whole seconds of the wall clock: a run started
    // late in a second would otherwise last only part of its interval and
    // the rates would be off by up to the whole interval.
    const Clock::time_point start = Clock::now();
    const Clock::duration interval = std::chrono::seconds(seconds);
    long long frames = 0;
    while (Clock::now() - start < interval) {
        TransformView(0, 5, 5, 0, 0, true);
        ++frames;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    const bool previous = SuspendDrawing(true);
    SetViewMoving(false);
    interacting = false;
    if (currentViewport) currentViewport->needsRedraw = 1;
    SuspendDrawing(previous);
    Redraw();

    long long faces = 0, lines = 0;
    CountDrawnItems(faces, lines);
    // No frame (an interval of 0) gives rates of 0, not 0 / 0.
    auto rate = [elapsed](long long count) {
        return elapsed > 0.0 ? static_cast<float>(count) / static_cast<float>(elapsed) : 0.0f;
    };
    std::snprintf(outputMessage, sizeof outputMessage,
                  "Completed %lld frames in %ld seconds.\n"
                  "Each frame contained %lld faces and %lld lines,\n"
                  "for a total of %lld faces and %lld lines.\n"
                  "Frames per second: %f\n"
                  "Faces per second: %f\n"
                  "Lines per second: %f\n",
                  frames, static_cast<long>(elapsed + 0.5), faces, lines, frames * faces, frames * lines,
                  rate(frames), rate(frames * faces), rate(frames * lines));
}
