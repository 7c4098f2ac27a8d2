// The event recording reader over arbitrary bytes, and the replay of what
// it takes into a window-less stand-alone viewer through the input
// handlers: every record stays in bounds, the replay ends and the viewer
// stays usable.
#include <QApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/MessageSink.h"
#include "render/VWindow.h"
#include "scene/Transform.h"
#include "scene/vkoViewport.h"
#include "viewer/EventLogReader.h"
#include "viewer/EventReplay.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// A window with a fixed size and a clock that stands still.
class StillWindow : public VWindow {
public:
    StillWindow() {
        windowWidth = 320;
        windowHeight = 240;
    }
    void activationChanged(bool) override {}
    void keyPressed(QKeyEvent*) override {}
    void mousePressed(QMouseEvent*) override {}
    void mouseReleased(QMouseEvent*) override {}
    void mouseDoubleClicked(QMouseEvent*) override {}
    void mouseMoved(QMouseEvent*) override {}
    void wheelTurned(QWheelEvent*) override {}
    void resized(QResizeEvent*) override {}
    void exposed(QPaintEvent*) override {}
    void setCursorIndex(int index) override {
        if (index != kKeepCursor) cursorIndex = index;
    }
    int timeMs() const override { return 1000; }
    int elapsedMs(int since) const override { return 1000 - since; }
    void decodeKey(QKeyEvent*) override {}
    void decodeMouse(QMouseEvent*) override {}
    void decodeWheel(QWheelEvent*) override {}
};

std::string recordingPath;
std::string scratchDir;  // the keys write scene and output files into the working directory

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KRV_NO_KRVLOGO", "1", 1);
    // Ctrl-E would spin for 30 seconds.
    setenv("DRAV_TIMING_SECONDS", "0", 1);
    static QApplication app(*argc, *argv);
    platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string&) {});
    vkoViewer::SetExitHook([](int) {});
    char dir[] = "/tmp/eventlog_fuzz.XXXXXX";
    if (mkdtemp(dir)) {
        scratchDir = dir;
        recordingPath = scratchDir + "/input.key";
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (recordingPath.empty()) return 0;
    {
        std::FILE* f = std::fopen(recordingPath.c_str(), "wb");
        if (!f) return 0;
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }

    // Every record the reader gives is within its bounds and survives being
    // written and read again.
    std::FILE* f = std::fopen(recordingPath.c_str(), "r");
    Check(f != nullptr);
    EventLogReader reader(f);
    EventRecord e;
    long records = 0;
    while (reader.next(e)) {
        ++records;
        Check(e.event >= EventRecord::Press && e.event <= EventRecord::Key);
        Check(e.width >= 0 && e.width <= EventLogReader::kMaxWindowSide);
        Check(e.height >= 0 && e.height <= EventLogReader::kMaxWindowSide);
        Check(std::abs(e.x) <= EventLogReader::kMaxCoordinate && std::abs(e.y) <= EventLogReader::kMaxCoordinate);
        Check((e.modifiers & ~0x700) == 0 && (e.button & ~7) == 0);
        Check(std::isfinite(e.wheel) && std::fabs(e.wheel) <= EventLogReader::kMaxWheel);
        EventRecord back;
        Check(EventLogReader::ParseLine(EventLogReader::FormatLine(e).substr(0, EventLogReader::kMaxLine), back));
        Check(back.event == e.event && back.x == e.x && back.key == e.key);
    }
    std::fclose(f);

    // The same records replayed through the handlers, in the scratch
    // directory (the corpus paths are relative to the one we came from).
    char* previousDir = getcwd(nullptr, 0);
    Check(previousDir && chdir(scratchDir.c_str()) == 0);
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "prog -n");
    Check(viewer != nullptr);
    std::unique_ptr<krvViewer> box(viewer->Widget());
    viewer->NewGraphic("a");
    StillWindow window;
    {
        EventReplay* replay = EventReplay::Start(viewer, &window, nullptr, recordingPath.c_str(), 0);
        Check(replay != nullptr);
        std::unique_ptr<EventReplay> owned(replay);
        long steps = 0;
        while (replay->step()) ++steps;
        Check(steps <= records);
    }
    Check(window.eventLog == nullptr);
    for (vkoViewport* v : viewer->viewports) Check(std::isfinite(v->view->scale) && v->view->scale > 0.0f);
    box.reset();
    Check(chdir(previousDir) == 0);
    std::free(previousDir);
    return 0;
}
