// guiviewer: a host application around the viewer.  A main window with a
// workspace, the engine process's object tree and a viewer window; the
// meshes or scenes named on the command line are read by the engine
// process and sent to the viewer over the link.
#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "GuiViewer/app/HostMainWindow.h"
#include "GuiViewer/app/HostPicking.h"
#include "GuiViewer/app/SelectionCoordinator.h"
#include "GuiViewer/src/host/EngineProcess.h"
#include "tools/enginemesh/EngineMesh.h"
#include "viewer/ViewerExports.h"

namespace {

const char kUsage[] =
    "usage: guiviewer [options] [model...]\n"
    "  model            a mesh file (OBJ, STL, PLY, ... read by the engine process) or a\n"
    "                   scene or graphic data file (.kvf, loaded by the viewer itself)\n"
    "  --layout I       start with layout I (1 to 8)\n"
    "  --maximize N     start with viewport N maximized\n"
    "  --size WxH       size of the main window (default 1100x800)\n"
    "  --color MODE     colour values of the meshes: height (default), distance or none\n"
    "  --snapshot FILE  write a PNG of the main window once the models are shown, then end\n"
    "  --menu NAME      open the menu bar's menu NAME (File, Viewer) once the models are\n"
    "                   shown; with --snapshot the picture shows it\n"
    "  --click KIND@X,Y once the models are shown, a pick (KIND pick) or a right click\n"
    "                   for the context menu (KIND menu) at X, Y (fractions of the\n"
    "                   viewer's drawing area from its top left); may be repeated\n";

bool IsSceneFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "kvf" || suffix == "dat";
}

}  // namespace

int main(int argc, char** argv) {
    // The usage is printed before the application object exists, so that it
    // needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    int layout = 0, maximize = -1, width = 1100, height = 800;
    QString snapshot, menu;
    QStringList clicks;
    std::string colour = "height";
    QStringList models;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "guiviewer: %s needs a value\n%s", qPrintable(a), kUsage);
                std::exit(2);
            }
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--layout") {
            layout = value().toInt();
            if (layout < 1 || layout > 8) {
                std::fprintf(stderr, "guiviewer: the layout is 1 to 8\n");
                return 2;
            }
            --layout;
        } else if (a == "--maximize") {
            maximize = value().toInt();
        } else if (a == "--size") {
            const QStringList wh = value().split('x');
            if (wh.size() != 2 || wh[0].toInt() < 100 || wh[1].toInt() < 100) {
                std::fprintf(stderr, "guiviewer: --size wants WxH, each at least 100\n");
                return 2;
            }
            width = wh[0].toInt();
            height = wh[1].toInt();
        } else if (a == "--color" || a == "--colour") {
            colour = value().toStdString();
            if (colour != "height" && colour != "distance" && colour != "none") {
                std::fprintf(stderr, "guiviewer: unknown colour mode %s\n", colour.c_str());
                return 2;
            }
        } else if (a == "--snapshot") {
            snapshot = value();
        } else if (a == "--menu") {
            menu = value();
        } else if (a == "--click") {
            bool isMenu = false;
            QPointF at;
            clicks << value();
            if (!HostPicking::parseClick(clicks.last(), isMenu, at)) {
                std::fprintf(stderr, "guiviewer: --click wants pick@X,Y or menu@X,Y with X, Y in 0..1\n");
                return 2;
            }
        } else if (a.startsWith('-')) {
            std::fprintf(stderr, "guiviewer: unknown option %s\n%s", qPrintable(a), kUsage);
            return 2;
        } else {
            models << a;
        }
    }

    EngineProcess engine;
    if (engine.viewerReadSocket() < 0) return 1;
    int status = 0;
    {
        std::unique_ptr<HostMainWindow> host;
        try {
            host = std::make_unique<HostMainWindow>(&engine);
        } catch (const char* why) {
            std::fprintf(stderr, "guiviewer: %s\n", why);
            return 1;
        }
        // Further parts of the program (pick handling, panels, highlighting)
        // attach to the main window's accessors here.
        new SelectionCoordinator(host.get());

        host->resize(width, height);
        host->show();

        for (const QString& path : models) {
            if (IsSceneFile(path)) {
                if (!ViewerLoadDataFile(host->viewer(), path.toLocal8Bit().constData(), -1, 0))
                    std::fprintf(stderr, "guiviewer: cannot load %s\n", qPrintable(path));
                continue;
            }
            engine::Mesh mesh;
            std::string why;
            if (!engine::ReadModel(path.toStdString(), mesh, why)) {
                std::fprintf(stderr, "guiviewer: %s: %s\n", qPrintable(path), why.c_str());
                status = 1;
                continue;
            }
            engine::ColourBy(colour, mesh);
            QString domain = QFileInfo(path).completeBaseName();
            for (int k = 2; engine.getParameters("/DOMAIN:" + domain, true).size() > 0; ++k)
                domain = QFileInfo(path).completeBaseName() + QString("_%1").arg(k);
            std::printf("%s: %d vertices, %d faces\n", qPrintable(domain), mesh.numVertices(), mesh.numFaces);
            engine.addMesh(domain, mesh);
        }
        if (layout > 0) host->chooseLayout(layout);
        if (maximize > 0) host->chooseMaximized(maximize);

        QMenu* opened = nullptr;
        if (!menu.isEmpty()) {
            for (QAction* a : host->menuBar()->actions())
                if (a->menu() && a->text().remove('&').compare(menu, Qt::CaseInsensitive) == 0) opened = a->menu();
            if (!opened) {
                std::fprintf(stderr, "guiviewer: no menu %s\n", qPrintable(menu));
                return 2;
            }
            QTimer::singleShot(0, host.get(), [&host, opened] { host->menuBar()->setActiveAction(opened->menuAction()); });
        }

        // The scripted clicks, each once the viewer has drawn what came before.
        int clicksDone = 0;
        const bool clickedMenu = clicks.join(' ').contains("menu@");
        if (!clicks.isEmpty()) {
            auto* clicker = new QTimer(host.get());
            QObject::connect(clicker, &QTimer::timeout, host.get(), [&, clicker, settled = 0]() mutable {
                settled = engine.isActive() ? 0 : settled + 1;
                if (settled < 10) return;
                settled = 0;
                host->picking()->click(clicks[clicksDone++]);
                if (clicksDone == clicks.size()) clicker->stop();
            });
            clicker->start(100);
        }

        if (!snapshot.isEmpty()) {
            // Once the engine process has sent everything and the viewer has
            // drawn it, grab the window as the screen shows it.
            auto* poll = new QTimer(host.get());
            QObject::connect(poll, &QTimer::timeout, host.get(), [&, poll, settled = 0]() mutable {
                settled = engine.isActive() || clicksDone < clicks.size() ? 0 : settled + 1;
                if (settled < 10) return;
                poll->stop();
                // An open menu is a window of its own: take the screen's pixels.
                const QRect g = host->frameGeometry();
                QImage image = opened || clickedMenu ? host->screen()->grabWindow(0, g.x(), g.y(), g.width(), g.height()).toImage()
                                      : host->screen()->grabWindow(host->winId()).toImage();
                if (image.isNull()) image = host->grab().toImage();
                if (!image.save(snapshot, "PNG")) {
                    std::fprintf(stderr, "guiviewer: cannot write %s\n", qPrintable(snapshot));
                    status = 1;
                } else {
                    std::printf("guiviewer: wrote %s\n", qPrintable(snapshot));
                }
                app.quit();
            });
            poll->start(100);
        }
        const int loop = app.exec();
        if (status == 0) status = loop;
    }
    return status;
}
