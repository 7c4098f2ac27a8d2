#pragma once
// The lines of an event recording ("viewerEvent.key"): one input event a
// line, nine fields "%d %d %d %d %d %d %d %d %g".  The reader takes what a
// damaged or cut-off file still holds: a line it cannot use is skipped, and
// nothing it reads can make a replay act outside sane bounds.
#include <cstddef>
#include <cstdio>
#include <string>

struct EventRecord {
    enum Kind { Press = 1, Release = 2, DoubleClick = 3, Move = 4, Wheel = 5, Key = 6 };
    int event = 0;
    int width = 0, height = 0;  // drawing window size when the event happened
    int x = 0, y = 0;           // pointer, y from the bottom row
    int modifiers = 0;          // 0x100 Shift, 0x200 Ctrl, 0x400 Alt
    int key = 0;
    int button = 0;             // 1 left, 2 right, 4 middle
    float wheel = 0.0f;         // notches
};

class EventLogReader {
public:
    // Longest line taken; the writer's lines are far shorter.
    static constexpr size_t kMaxLine = 255;
    // Limits of the numbers a line may carry.
    static constexpr int kMaxWindowSide = 1 << 16;
    static constexpr int kMaxCoordinate = 1 << 20;
    static constexpr float kMaxWheel = 1000.0f;

    // Reads from file (not owned, not closed).
    explicit EventLogReader(std::FILE* file) : file_(file) {}

    // The next usable event; false at the end of the file.
    bool next(EventRecord& out);
    long linesSkipped() const { return skipped_; }

    // One line without its end; false when it has fewer than nine numbers,
    // a number that is not one, or a value out of bounds.  Bits other than
    // the known modifier and button bits are dropped.
    static bool ParseLine(const std::string& line, EventRecord& out);
    // The recording's line for an event, "\n" included.
    static std::string FormatLine(const EventRecord& event);
    // A recorded coordinate in a window whose side is now current instead
    // of recorded (unscaled when the recorded side is 0).
    static int Scale(int value, int current, int recorded);

private:
    std::FILE* file_;
    long skipped_ = 0;
};
