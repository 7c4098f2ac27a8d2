// Embeds a viewer through the installed headers: the widget host on one
// end of a socket pair, its captions, and the engine entry points (the
// scene file named as the argument).
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

#include <QAction>

#include "GuiViewer/src/ViewUtilities.h"
#include "GuiViewer/src/ViewerQtWidget.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/ViewportSplitter.h"
#include "viewer/ViewerExports.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
    int status = 0;
    {
        ViewerQtWidget widget(fds[1], fds[1], nullptr);
        widget.resize(400, 300);
        widget.show();
        widget.setViewportLayout(7);
        widget.setViewportLabel(2, "Side");
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 500) app.processEvents();
        ViewportSplitter* splitter = widget.getSplitter();
        if (!widget.getViewer() || !splitter) {
            std::fprintf(stderr, "consumer: no viewer\n");
            status = 1;
        } else if (splitter->caption(1)->text() != "View 1" || splitter->caption(2)->text() != "Side" ||
                   splitter->caption(3)->geometry() != QRect(202, 152, 199, 20)) {
            std::fprintf(stderr, "consumer: captions not as laid out\n");
            status = 1;
        }
        if (status == 0 && argc > 1 && !ViewerLoadDataFile(widget.getViewer(), argv[1], -1, 0)) {
            std::fprintf(stderr, "consumer: cannot load %s\n", argv[1]);
            status = 1;
        }
    }
    // The viewer window of the GUI layer, with its tool bars, on a
    // connection of its own.
    if (status == 0) {
        int w[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, w) != 0) return 1;
        {
            ViewerWindow window(w[1], w[1], nullptr, "Viewer Window", {}, ViewerWindow::StandardApplication);
            window.resize(500, 400);
            window.show();
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 300) app.processEvents();
            auto* rotate = window.findChild<QAction*>("Rotate");
            if (!window.getViewer() || !rotate || ViewUtilities::getViewNumberForCurrentViewport() != "1") {
                std::fprintf(stderr, "consumer: viewer window not built\n");
                status = 1;
            }
        }
        close(w[0]);
        close(w[1]);
    }
    close(fds[0]);
    close(fds[1]);
    if (status == 0) std::printf("consumer: viewer embedded\n");
    return status;
}
