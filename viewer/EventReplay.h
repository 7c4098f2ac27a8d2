#pragma once
// Replays an event recording through the same handlers that the window's
// input reaches, paced by a timer so that it can be watched.  Positions are
// scaled from the recorded to the current window size.  A replayed key that
// ends the program ends it here too.
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "viewer/EventLogReader.h"

class vkoViewer;
class VWindow;

class EventReplay : public QObject {
public:
    // Opens path and starts replaying into window (parent: the QObject that
    // owns the replay); null when the file cannot be opened.
    static EventReplay* Start(vkoViewer* viewer, VWindow* window, QObject* parent, const char* path,
                              int intervalMs);
    ~EventReplay() override;

    // Replays the next event; false once the recording is done (or a key
    // ended the program).
    bool step();
    bool finished() const { return finished_; }
    long eventsReplayed() const { return replayed_; }
    long linesSkipped() const { return reader_ ? reader_->linesSkipped() : 0; }

private:
    EventReplay(vkoViewer* viewer, VWindow* window, QObject* parent, std::FILE* file);
    void tick();
    void finish();

    vkoViewer* viewer_;
    VWindow* window_;
    std::FILE* file_;
    std::unique_ptr<EventLogReader> reader_;
    QTimer timer_;
    bool busy_ = false;  // a handler runs (a modal message box turns the event loop meanwhile)
    bool finished_ = false;
    long replayed_ = 0;
};
