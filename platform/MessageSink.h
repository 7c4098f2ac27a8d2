#pragma once
// The one place user messages go.  In the GUI a modal box captioned
// "Viewer"; without a display (no window, "-d", the offscreen platform or
// VIEWER_MESSAGES=stderr) one line "Viewer: <text>" on standard error, so an
// engine-driven viewer never blocks on a box nobody sees.  Tests install a
// handler and assert on the texts.
#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class MessageIcon { Error, Warning, Information };

// Caption of every message box the viewer shows.
inline constexpr const char* kMessageCaption = "Viewer";

using MessageHandler = std::function<void(MessageIcon, const std::string& caption, const std::string& text)>;

// Shows (or records) one message.  Never throws.
void ShowMessage(MessageIcon icon, const std::string& text);
// The same under a caption of its own (a few messages, such as the print
// abort notice, are not captioned "Viewer").
void ShowMessage(MessageIcon icon, const std::string& caption, const std::string& text);

// Allow or forbid modal boxes (forbidden for window-less viewers); the
// previous value is returned.
bool SetMessageBoxesAllowed(bool allowed);

// Replaces the sink; an empty handler restores the default.  Returns the
// previous handler.
MessageHandler SetMessageHandler(MessageHandler handler);

// Collects messages while alive (tests, headless runs).
class MessageRecorder {
public:
    struct Entry {
        MessageIcon icon;
        std::string caption;
        std::string text;
    };
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<Entry>& entries() const { return entries_; }
    std::vector<std::string> texts() const;
    bool contains(const std::string& text) const;
    void clear() { entries_.clear(); }

private:
    std::vector<Entry> entries_;
    MessageHandler previous_;
};

}  // namespace platform
