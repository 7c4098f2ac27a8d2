// The exported entry point: parses the argument string, finds a scene
// appended to the program file, builds the widget box and its engine and
// starts it from a file, an appended scene or a remote engine.
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Memory.h"
#include "platform/LowLevelFile.h"
#include "platform/MessageSink.h"
#include "viewer/ViewerExports.h"
#include "viewer/ViewerStart.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

constexpr size_t kMaxWord = 1023;

const char kUsage[] =
    "Usage: viewer [-h] [-n] [-r <port_num>] [-t] [-e] [viewer_state_file]\n\n"
    "where:\n"
    "  h            - print this message\n"
    "  n            - no window\n"
    "  r <port_num> - non-stand-alone mode (stand-alone is default)\n"
    "  t            - load geometry file\n"
    "  e            - load event file\n";

// The 20-letter marker that ends a viewer program file and starts an
// appended scene.  It is assembled at run time so that the program file
// never holds it (the scan would otherwise find the program itself).
std::string AppendedSceneMarker() {
    static const char shifted[] = "LSWBQQFOEFETDFOFTUBS";  // each letter one above the marker's
    volatile int shift = 1;
    std::string marker;
    for (size_t i = 0; i + 1 < sizeof(shifted); ++i) marker += static_cast<char>(shifted[i] - shift);
    return marker;
}

}  // namespace

namespace viewerstart {

std::vector<std::string> SplitArguments(const char* args, bool& tooLong) {
    std::vector<std::string> words;
    tooLong = false;
    if (!args) return words;
    std::string word;
    bool inWord = false, quoted = false;
    for (const char* p = args;; ++p) {
        char c = *p;
        bool end = c == '\0';
        bool blank = !end && !quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
        if (end || blank) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            if (end) break;
            continue;
        }
        inWord = true;
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        word += c;
        if (word.size() > kMaxWord) tooLong = true;
    }
    return words;
}

bool ParseArguments(const std::vector<std::string>& words, Arguments& out) {
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "-r") {
            if (i + 1 < words.size()) {
                ++i;
                int port = 0;
                if (std::sscanf(words[i].c_str(), "%d", &port) == 1) out.port = port;
            }
        } else if (w == "-t") {
            out.loadMode = true;
        } else if (w == "-d") {
            out.dump = true;
            out.noWindow = true;
        } else if (w == "-e") {
            out.replay = true;
        } else if (w == "-n") {
            out.noWindow = true;
        } else if (w == "-activex" || w == "-dumpidl") {
            break;
        } else if (!w.empty() && w[0] == '-') {
            return false;
        } else {
            out.fileName = w;
            out.loadMode = true;
        }
    }
    return true;
}

long long FindAppendedScene(const char* programPath) {
    if (!programPath || !*programPath) return -1;
    int fd = platform::FileOpen(programPath, platform::OpenMode::Read);
    if (fd < 0) return -1;
    const std::string marker = AppendedSceneMarker();
    const size_t m = marker.size();
    std::vector<char> buffer(64 * 1024 + m);
    size_t carried = 0;       // bytes kept from the previous read (a marker may straddle reads)
    long long consumed = 0;   // file offset of buffer[0]
    long long found = -1;
    for (;;) {
        ssize_t n = platform::FileRead(fd, buffer.data() + carried, 64 * 1024);
        if (n <= 0) break;
        size_t have = carried + static_cast<size_t>(n);
        for (size_t i = 0; i + m <= have; ++i) {
            if (std::memcmp(buffer.data() + i, marker.data(), m) == 0) {
                found = consumed + static_cast<long long>(i + m);
                break;
            }
        }
        if (found >= 0) break;
        carried = std::min(have, m - 1);
        std::memmove(buffer.data(), buffer.data() + have - carried, carried);
        consumed += static_cast<long long>(have - carried);
    }
    platform::FileClose(fd);
    return found;
}

std::string AppendedSceneMarkerForTools() { return AppendedSceneMarker(); }

}  // namespace viewerstart

vkoViewer* CreateViewer(QWidget* parent, bool noWindow, bool standAlone, const char* args) {
    // The stand-alone program owns its process: it keeps freed memory.  A
    // host application decides that for itself.
    if (standAlone) platform::RetainFreedMemory();
    bool tooLong = false;
    std::vector<std::string> words = viewerstart::SplitArguments(args ? args : "", tooLong);
    if (tooLong) {
        // File-name buffers hold 1023 characters; a longer word would be cut
        // and name some other file.
        platform::ShowMessage(platform::MessageIcon::Warning, kUsage);
        return nullptr;
    }
    viewerstart::Arguments parsed;
    parsed.noWindow = noWindow;
    if (!viewerstart::ParseArguments(words, parsed)) {
        platform::ShowMessage(platform::MessageIcon::Warning, kUsage);
        return nullptr;
    }
    if (parsed.dump) parent = nullptr;

    long long appendedOffset = words.empty() ? -1 : viewerstart::FindAppendedScene(words[0].c_str());
    if (appendedOffset >= 0) parsed.noWindow = false;

    // A viewer that nobody sees must never block on a message box.
    if (parsed.noWindow) platform::SetMessageBoxesAllowed(false);

    auto* box = new krvViewer(parent);
    auto* viewer = new vkoViewer(box, standAlone, parsed.noWindow);
    box->viewer = viewer;

    if (parsed.noWindow && !parsed.dump) viewerstart::SetHeadlessOutputSize(*viewer, 700, 700);

    bool ok = true;
    if (appendedOffset >= 0) {
        ok = viewerstart::LoadAppendedScene(*viewer, words[0], appendedOffset);
    } else if (parsed.loadMode || parsed.replay) {
        ok = viewerstart::LoadStartFile(*viewer, parsed);
    } else if (parsed.port >= 0) {
        ok = viewerstart::ConnectRemote(*viewer, parsed.port);
    }
    if (!ok) {
        // The box stays with its parent; without one nobody would free it.
        if (!parent) delete box;
        return nullptr;
    }
    return viewer;
}
