// The stand-alone viewer program: turns its command line into the argument
// string of CreateViewer and runs the event loop.
#include <QApplication>
#include <QOpenGLWidget>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include <string>
#include <vector>

#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

// Words holding blanks or quotes are quoted so that they survive the
// splitting rule of CreateViewer (a double quote toggles a quoted section).
std::string quoteWord(const std::string& word) {
    bool needsQuotes = word.empty() || word.find_first_of(" \t\r\n\v\f") != std::string::npos;
    if (!needsQuotes) return word;
    std::string out = "\"";
    for (char c : word)
        if (c != '"') out += c;  // a quote cannot be carried inside a quoted section
    out += '"';
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // Options of the program itself start with "--" and never reach CreateViewer.
    // --snapshot FILE: write the first drawn frame as a PNG and quit.
    // --replay[=MS] (with -e): replay "viewerEvent.key" on the loaded
    // "viewerEvent.dmp", one event every MS milliseconds (20).
    std::string snapshot;
    int replayMs = -1;
    bool eventStart = false;
    std::vector<std::string> words;
    words.push_back(argc > 0 ? argv[0] : "viewer");
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--snapshot" && i + 1 < argc) {
            snapshot = argv[++i];
            continue;
        }
        if (word.rfind("--snapshot=", 0) == 0) {
            snapshot = word.substr(11);
            continue;
        }
        if (word == "--replay" || word.rfind("--replay=", 0) == 0) {
            replayMs = word.size() > 9 ? std::atoi(word.c_str() + 9) : 20;
            if (replayMs < 0) replayMs = 0;
            continue;
        }
        if (word.rfind("--", 0) == 0) continue;
        if (word == "-e") eventStart = true;
        words.push_back(word);
    }
    std::string args;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i) args += ' ';
        args += quoteWord(words[i]);
    }

    if (replayMs >= 0 && !eventStart) {
        std::fprintf(stderr, "viewer: --replay needs -e\n");
        return 1;
    }
    vkoViewer* viewer = CreateViewer(nullptr, false, true, args.c_str());
    if (!viewer) return 1;
    krvViewer* box = viewer->Widget();
    if (box && !viewer->NoWindow()) {
        box->resize(900, 700);
        box->show();
    }
    if (replayMs >= 0) {
        // The replay waits for the window to have its size.
        if (!box || viewer->NoWindow() || !viewer->ReplayEvents(nullptr, replayMs)) {
            std::fprintf(stderr, "viewer: cannot replay viewerEvent.key\n");
            return 1;
        }
    }
    if (!snapshot.empty()) {
        if (!box || viewer->NoWindow()) {
            std::fprintf(stderr, "viewer: --snapshot needs a window\n");
            return 1;
        }
        // After the first frame reaches the screen (or, failing that, after
        // a while) the window is grabbed, written and the program ends.
        auto takeSnapshot = [box, snapshot] {
            static bool taken = false;
            if (taken) return;
            taken = true;
            const bool ok = box->grab().save(QString::fromStdString(snapshot), "PNG");
            if (ok)
                std::printf("viewer: wrote the first frame to %s\n", snapshot.c_str());
            else
                std::fprintf(stderr, "viewer: cannot write %s\n", snapshot.c_str());
            std::fflush(stdout);
            QApplication::exit(ok ? 0 : 1);
        };
        if (auto* gl = box->findChild<QOpenGLWidget*>())
            QObject::connect(gl, &QOpenGLWidget::frameSwapped, box,
                             [takeSnapshot] { QTimer::singleShot(200, takeSnapshot); });
        QTimer::singleShot(15000, box, takeSnapshot);
    }
    return app.exec();
}
