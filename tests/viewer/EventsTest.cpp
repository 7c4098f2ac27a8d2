// Event recording, its replay and the timing run, with real Qt events on
// the GL window; and the reader of recordings over damaged lines.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include <QFile>

#include "InputWindowFixture.h"
#include "viewer/EventLogReader.h"

namespace {

using inputtest::exitStatus;

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<EventRecord> readEvents(const char* path) {
    std::vector<EventRecord> out;
    std::FILE* f = std::fopen(path, "r");
    if (!f) return out;
    EventLogReader reader(f);
    EventRecord e;
    while (reader.next(e)) out.push_back(e);
    std::fclose(f);
    return out;
}

// ---------------------------------------------------------------- reader

TEST(EventLogReader, TakesWholeLinesAndSkipsDamagedOnes) {
    struct Case {
        const char* line;
        bool usable;
    } cases[] = {
        {"4 400 300 10 20 256 97 1 0", true},
        {"5 400 300 10 20 0 0 0 -1", true},
        {"6 400 300 10 20 0 97 0 0 trailing words", true},
        {"1 400 300 10 20 0 0 1 0\r", true},
        {"4 400 300 10 20 256 97 1", false},            // eight fields
        {"", false},
        {"garbage", false},
        {"4 400 300 1x0 20 0 0 0 0", false},            // not a number
        {"4 400 300 10 20 0 0 0 nan", false},
        {"4 400 300 10 20 0 0 0 1e30", false},
        {"4 400 300 99999999999999999999 20 0 0 0 0", false},  // beyond any int
        {"4 400 300 10 20 0 99999999999 0 0", false},
        {"7 400 300 10 20 0 0 0 0", false},             // no such event
        {"0 400 300 10 20 0 0 0 0", false},
        {"4 -400 300 10 20 0 0 0 0", false},
        {"4 400 300 2000000 20 0 0 0 0", false},        // far off any window
    };
    for (const Case& c : cases) {
        EventRecord e;
        EXPECT_EQ(EventLogReader::ParseLine(c.line, e), c.usable) << '"' << c.line << '"';
    }
    EventRecord e;
    ASSERT_TRUE(EventLogReader::ParseLine("2 640 480 -5 479 3840 27 15 2.5", e));
    EXPECT_EQ(e.event, 2);
    EXPECT_EQ(e.width, 640);
    EXPECT_EQ(e.height, 480);
    EXPECT_EQ(e.x, -5);
    EXPECT_EQ(e.y, 479);
    EXPECT_EQ(e.modifiers, 0x700) << "unknown modifier bits dropped";
    EXPECT_EQ(e.key, 27);
    EXPECT_EQ(e.button, 7) << "unknown button bits dropped";
    EXPECT_FLOAT_EQ(e.wheel, 2.5f);
    // What the writer writes, the reader reads back.
    EventRecord back;
    ASSERT_TRUE(EventLogReader::ParseLine(EventLogReader::FormatLine(e), back));
    EXPECT_EQ(EventLogReader::FormatLine(back), EventLogReader::FormatLine(e));
    EXPECT_EQ(EventLogReader::FormatLine(e), "2 640 480 -5 479 1792 27 7 2.5\n");
}

TEST(EventLogReader, ReadsPastLongLinesAndACutOffEnd) {
    const std::string dir = testsupport::ScratchDir("eventlog-reader");
    const std::string path = dir + "/viewerEvent.key";
    {
        std::ofstream out(path, std::ios::binary);
        out << "4 400 300 1 2 0 0 0 0\n"
            << std::string(300, '7') << " 400 300 1 2 0 0 0 0\n"  // too long: skipped as a whole
            << "\n"
            << "4 400 300 3 4 0 0 0 0\n"
            << std::string(1000, '\0') << "\n"
            << "6 400 300 5 6 0 97 0 0";  // last line without its end
    }
    std::FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EventLogReader reader(f);
    std::vector<int> xs;
    EventRecord e;
    while (reader.next(e)) xs.push_back(e.x);
    std::fclose(f);
    EXPECT_EQ(xs, (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(reader.linesSkipped(), 2) << "blank lines are no damage";
}

TEST(EventLogReader, ScalesByTheWindowSize) {
    EXPECT_EQ(EventLogReader::Scale(100, 800, 400), 200);
    EXPECT_EQ(EventLogReader::Scale(99, 400, 400), 99);
    EXPECT_EQ(EventLogReader::Scale(100, 800, 0), 100) << "no recorded size: unscaled";
    // The largest line the reader takes stays an int once scaled.
    const int big = EventLogReader::Scale(EventLogReader::kMaxCoordinate, EventLogReader::kMaxWindowSide, 1);
    EXPECT_GT(big, EventLogReader::kMaxCoordinate);
}

// ---------------------------------------------------------------- recording

class EventsTest : public inputtest::InputWindowTest {};

TEST_F(EventsTest, RecordingWritesTheSceneOnceAndEveryEventAsALine) {
    addSquare("square");
    key(Qt::Key_K, Qt::ControlModifier);
    const std::string scene = readFile("viewerEvent.dmp");
    ASSERT_FALSE(scene.empty());
    EXPECT_NE(scene.find("square"), std::string::npos);

    // A second start while recording: the scene stays as it was.
    addSquare("second");
    key(Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(readFile("viewerEvent.dmp"), scene);

    const int w = win->windowWidth, h = win->windowHeight;
    mouse(QEvent::MouseMove, QPoint(10, h - 1), Qt::NoButton, Qt::NoButton);
    mouse(QEvent::MouseButtonPress, QPoint(20, 30), Qt::RightButton, Qt::RightButton, Qt::ShiftModifier);
    mouse(QEvent::MouseButtonRelease, QPoint(20, 30), Qt::RightButton, Qt::NoButton, Qt::ShiftModifier);
    wheel(QPoint(20, 30), 120);
    wheel(QPoint(20, 30), -120);
    key('a');
    key(Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    // Stopped: nothing more is written.
    key('a');
    mouse(QEvent::MouseMove, QPoint(50, 50), Qt::NoButton, Qt::NoButton);

    struct Line {
        int event, x, y, modifiers, key, button;
        float wheel;
    } expected[] = {
        {6, 3, 3, 0x200, 11, 1, 0},            // the second Ctrl-K (the first opened the file after its line)
        {4, 10, h - 1, 0, 11, 0, 0},           // top row: y = height - 1
        {1, 20, 30, 0x100, 11, 2, 0},
        {2, 20, 30, 0x100, 11, 2, 0},
        {5, 20, 30, 0, 11, 2, 1},
        {5, 20, 30, 0, 11, 2, -1},
        {6, 20, 30, 0, 'a', 2, -1},
        {6, 20, 30, 0x300, 11, 2, -1},         // Shift+Ctrl-K is recorded, then stops
    };
    const std::vector<EventRecord> got = readEvents("viewerEvent.key");
    ASSERT_EQ(got.size(), std::size(expected));
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].event, expected[i].event);
        EXPECT_EQ(got[i].width, w);
        EXPECT_EQ(got[i].height, h);
        EXPECT_EQ(got[i].x, expected[i].x);
        EXPECT_EQ(got[i].y, expected[i].y);
        EXPECT_EQ(got[i].modifiers, expected[i].modifiers);
        EXPECT_EQ(got[i].key, expected[i].key);
        EXPECT_EQ(got[i].button, expected[i].button);
        EXPECT_FLOAT_EQ(got[i].wheel, expected[i].wheel);
    }

    // Ctrl-K again replaces both files.
    key(Qt::Key_K, Qt::ControlModifier);
    EXPECT_NE(readFile("viewerEvent.dmp"), scene);
    EXPECT_TRUE(readEvents("viewerEvent.key").empty());
}

TEST_F(EventsTest, ASceneThatCannotBeWrittenRecordsNothing) {
    // A directory where the scene file would go.
    ASSERT_EQ(mkdir("viewerEvent.dmp", 0755), 0);
    messages.clear();
    key(Qt::Key_K, Qt::ControlModifier);
    key('a');
    EXPECT_FALSE(QFile::exists("viewerEvent.key"));
    EXPECT_EQ(win->eventLog, nullptr);
    EXPECT_TRUE(messages.contains("ERROR in StartRecording: cannot write viewerEvent.dmp, nothing is recorded\n"));
}

// ---------------------------------------------------------------- replay

// Replays the recording in this directory into the viewer and waits for
// the end.
bool replayAll(vkoViewer* viewer) {
    if (!viewer->ReplayEvents(nullptr, 0)) return false;
    return QTest::qWaitFor([&] { return !viewer->replayingEvents; }, 20000);
}

TEST_F(EventsTest, ARecordedSessionReplaysToTheSameCamera) {
    // Start from a loaded scene, so that the recorded scene holds the
    // views exactly as the session had them.
    addSquare("square");
    ASSERT_TRUE(viewer->WriteScene("start.kvf"));
    open("prog start.kvf");
    const QPoint centre(win->windowWidth / 2, win->windowHeight / 2);

    key(Qt::Key_K, Qt::ControlModifier);
    // Steps of more than 20 pixels: how long the press was held before the
    // first step is not recorded, and a shorter one could still be a click.
    drag(centre, centre + QPoint(100, 40), Qt::LeftButton);  // rotate
    drag(centre, centre + QPoint(-30, 40), Qt::RightButton);  // pan
    wheel(centre, 120);
    wheel(centre, 240, Qt::ShiftModifier);  // rotate about x
    key(Qt::Key_Left);
    key(Qt::Key_PageUp);
    key('u');
    key('x');
    drag(centre, centre + QPoint(-45, -30), Qt::LeftButton, Qt::ControlModifier);  // about z
    key(Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    const Transform recorded(*v->view);
    const int recordedDepth = undoDepth();

    open("prog -e");
    // Nothing of the session before replaying.
    EXPECT_GT(std::fabs(v->view->rotation.value()[3] - recorded.rotation.value()[3]) +
                  std::fabs(v->view->scale - recorded.scale),
              1e-4f);
    ASSERT_TRUE(replayAll(viewer));
    const Transform& replayed = *v->view;
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(replayed.rotation.value()[i], recorded.rotation.value()[i]) << i;
    EXPECT_FLOAT_EQ(replayed.scale, recorded.scale);
    for (int i = 0; i < 2; ++i) EXPECT_FLOAT_EQ(replayed.pan[i], recorded.pan[i]) << i;
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(replayed.pivot[i], recorded.pivot[i]) << i;
    EXPECT_EQ(undoDepth(), recordedDepth);
    EXPECT_EQ(exitStatus, -1);
    // Replaying did not record over the files it read.
    EXPECT_EQ(win->eventLog, nullptr);
}

TEST_F(EventsTest, ADamagedRecordingReplaysWhatItCanAndEscEndsTheProgram) {
    addSquare("square");
    ASSERT_TRUE(viewer->WriteScene("viewerEvent.dmp"));
    const int w = win->windowWidth, h = win->windowHeight;
    {
        std::ofstream out("viewerEvent.key", std::ios::binary);
        out << "garbage\n"
            << "6 " << w << " " << h << " 1 1 0 97\n"  // cut short: would toggle the axis
            << "5 " << w << " " << h << " 1 1 0 0 0 1e39\n"
            << "4 99999999 1 2147483647 -2147483648 0 0 1 0\n"
            << std::string(400, '9') << "\n"
            << "6 " << 2 * w << " " << 2 * h << " 10 10 0 98 0 0\n"  // b: border, recorded in a larger window
            << "6 0 0 1 1 0 27 0 0\n"                                  // Esc
            << "6 0 0 1 1 0 97 0 0\n";                                 // never reached
    }
    open("prog -e");
    const bool axis = viewer->ViewportAxisShown(), border = viewer->ViewportBorderShown();
    ASSERT_TRUE(replayAll(viewer));
    EXPECT_EQ(viewer->ViewportBorderShown(), !border);
    EXPECT_EQ(viewer->ViewportAxisShown(), axis);
    EXPECT_EQ(exitStatus, 0);
}

TEST_F(EventsTest, ReplayNeedsARecording) {
    EXPECT_FALSE(viewer->ReplayEvents("no such file", 0));
    EXPECT_FALSE(viewer->replayingEvents);
    EXPECT_EQ(CreateViewer(nullptr, false, true, "prog -e"), nullptr) << "-e without the two files";
}

// ---------------------------------------------------------------- timing

TEST_F(EventsTest, TimingRunReportsItsRates) {
    addSquare("square");
    struct Case {
        const char* seconds;
        int interval;
        bool frames;
    } cases[] = {{"1", 1, true}, {"-5", 1, true}, {"0", 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        setenv("DRAV_TIMING_SECONDS", c.seconds, 1);
        messages.clear();
        const int depth = undoDepth();
        key(Qt::Key_E, Qt::ControlModifier);
        unsetenv("DRAV_TIMING_SECONDS");
        ASSERT_EQ(messages.entries().size(), 2u);
        EXPECT_EQ(messages.entries()[0].text,
                  "Starting timing with interval of " + std::to_string(c.interval) + " seconds.\n");
        const std::string& report = messages.entries()[1].text;
        long long frames = -1, seconds = -1, faces = -1, lines = -1, totalFaces = -1, totalLines = -1;
        float fps = -1, facesPerSecond = -1, linesPerSecond = -1;
        ASSERT_EQ(std::sscanf(report.c_str(),
                              "Completed %lld frames in %lld seconds.\n"
                              "Each frame contained %lld faces and %lld lines,\n"
                              "for a total of %lld faces and %lld lines.\n"
                              "Frames per second: %f\nFaces per second: %f\nLines per second: %f\n",
                              &frames, &seconds, &faces, &lines, &totalFaces, &totalLines, &fps, &facesPerSecond,
                              &linesPerSecond),
                  9)
            << report;
        EXPECT_EQ(seconds, c.interval);
        EXPECT_EQ(faces, 1);
        EXPECT_EQ(totalFaces, frames * faces);
        EXPECT_TRUE(std::isfinite(fps) && std::isfinite(facesPerSecond) && std::isfinite(linesPerSecond)) << report;
        if (c.frames) {
            EXPECT_GT(frames, 0);
            // The last frame may end a little after the interval.
            EXPECT_LE(fps, float(frames) / c.interval * 1.0001f);
            EXPECT_GT(fps, 0.5f * float(frames) / c.interval);
            EXPECT_FLOAT_EQ(facesPerSecond, fps * faces);
        } else {
            EXPECT_EQ(frames, 0);
            EXPECT_EQ(fps, 0.0f);
            EXPECT_EQ(facesPerSecond, 0.0f);
        }
        EXPECT_EQ(undoDepth(), depth + 1) << "the view before the run can be restored";
        EXPECT_FALSE(viewer->interacting);
        EXPECT_FALSE(viewer->viewMoving);
    }
}

TEST_F(EventsTest, CtrlDWritesTheScene) {
    addSquare("square");
    key(Qt::Key_D, Qt::ControlModifier);
    open("prog viewer.kvf");
    EXPECT_NE(viewer->FindGraphic("square"), nullptr);
}

}  // namespace
