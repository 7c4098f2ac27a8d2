// The stand-alone viewer program: turns its command line into the argument
// string of CreateViewer and runs the event loop.
#include <QApplication>
#include <QFileInfo>
#include <QOpenGLWidget>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

#include <string>
#include <vector>

#include "viewer/RasterFrame.h"
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

// Value of a program option given as "--name VALUE" or "--name=VALUE";
// advances i past a separate value.
bool optionValue(const std::string& word, const char* name, int& i, int argc, char** argv, std::string& value) {
    const std::string option = std::string("--") + name;
    if (word == option && i + 1 < argc) {
        value = argv[++i];
        return true;
    }
    if (word.rfind(option + "=", 0) == 0) {
        value = word.substr(option.size() + 1);
        return true;
    }
    return false;
}

// Whether the viewer words start a viewer that shows a window: "-d" and
// "-n" do not, and neither does a word that only gets the usage text.
bool wantsWindow(const std::vector<std::string>& words) {
    static const char* const known[] = {"-r", "-t", "-e", "-activex", "-dumpidl"};
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "-d" || w == "-n") return false;
        if (w.empty() || w[0] != '-') continue;
        bool isKnown = false;
        for (const char* k : known) isKnown = isKnown || w == k;
        if (!isKnown) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Options of the program itself start with "--" and never reach CreateViewer.
    // --snapshot FILE: write the first drawn frame as a PNG and quit.
    // --output FILE [--size WxH]: render one frame of the scene without a
    // window (software renderer) into FILE, its type from the extension.
    std::string snapshot, outputFile, size;
    std::vector<std::string> words;
    words.push_back(argc > 0 ? argv[0] : "viewer");
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (optionValue(word, "snapshot", i, argc, argv, snapshot)) continue;
        if (optionValue(word, "output", i, argc, argv, outputFile)) continue;
        if (optionValue(word, "size", i, argc, argv, size)) continue;
        if (word.rfind("--", 0) == 0) continue;
        words.push_back(word);
    }
    int outputWidth = -1, outputHeight = -1;
    if (!size.empty() && (std::sscanf(size.c_str(), "%dx%d", &outputWidth, &outputHeight) != 2 || outputWidth < 1 ||
                          outputHeight < 1)) {
        std::fprintf(stderr, "viewer: --size wants WIDTHxHEIGHT, not %s\n", size.c_str());
        return 1;
    }
    // A start that needs no window must work where there is no display:
    // without a platform of the user's choice it takes one that needs none.
    const bool headless = !outputFile.empty() || !wantsWindow(words);
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string args;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i) args += ' ';
        args += quoteWord(words[i]);
    }

    if (!outputFile.empty()) {
        // The scene must be there: a viewer without it would write an empty picture.
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i].empty() || words[i][0] == '-' || (i > 1 && words[i - 1] == "-r")) continue;
            if (!QFileInfo(QString::fromStdString(words[i])).isReadable()) {
                std::fprintf(stderr, "viewer: cannot read the scene %s\n", words[i].c_str());
                return 1;
            }
        }
        vkoViewer* viewer = CreateViewer(nullptr, true, true, args.c_str());
        if (!viewer) {
            std::fprintf(stderr, "viewer: cannot load the scene for %s\n", outputFile.c_str());
            return 1;
        }
        std::unique_ptr<krvViewer> box(viewer->Widget());
        return rasterframe::WriteOutputFile(*viewer, outputFile, outputWidth, outputHeight);
    }

    vkoViewer* viewer = CreateViewer(nullptr, false, true, args.c_str());
    if (!viewer) return 1;
    krvViewer* box = viewer->Widget();
    if (box && !viewer->NoWindow()) {
        box->resize(900, 700);
        box->show();
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
