// Command dispatch: the poll of the link's read side and the actions of the
// commands the engine sends, with their replies on the write side.
#include <QTimer>

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <strings.h>

#include "platform/MessageSink.h"
#include "scene/Transform.h"
#include "scene/vkoViewport.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using Cmd = LinkStream::Cmd;

void DefaultExit(int status) { std::exit(status); }

vkoViewer::ExitHook g_exitHook = &DefaultExit;

// The logo travels under one of these names; its geometry is built in, so
// the LOAD_GRAPHIC that follows is read and thrown away.
bool IsLogoName(const std::string& name) {
    return strcasecmp(name.c_str(), "KRV Logo") == 0 || strcasecmp(name.c_str(), "TORVA Varnholt Logo") == 0;
}

void SetSocketTimeout(int handle, int option, int seconds) {
    if (handle < 0) return;
    timeval tv{};
    tv.tv_sec = seconds > 0 ? seconds : 0;
    setsockopt(handle, SOL_SOCKET, option, &tv, sizeof tv);
}

}  // namespace

vkoViewer::ExitHook vkoViewer::SetExitHook(ExitHook hook) {
    ExitHook previous = g_exitHook;
    g_exitHook = hook ? hook : &DefaultExit;
    return previous;
}

void vkoViewer::StartHeadlessPolling() {
    if (!widget) return;
    auto* timer = new QTimer(widget);
    timer->setObjectName("viewer socket time handler");
    // A command can run a nested event loop (a message box); the tick that
    // arrives meanwhile must not read the link in the middle of it.
    QObject::connect(timer, &QTimer::timeout, widget, [this] {
        static bool polling = false;
        if (polling) return;
        polling = true;
        CheckForCommand(-1);
        polling = false;
    });
    timer->start(100);
}

void vkoViewer::CheckForCommand(int timeoutSeconds) {
    if (link.readHandle < 0 || !link.readIsSocket) return;
    const int waitMs = timeoutSeconds > 0 ? timeoutSeconds * 1000 : 0;

    // Inside a command the rest of its bytes are read with blocking
    // receives; a peer that stops sending must fail the read, not hang the
    // viewer.  The same goes for a peer that stops reading our replies.
    SetSocketTimeout(link.readHandle, SO_RCVTIMEO, commandStallSeconds);
    if (link.writeIsSocket) SetSocketTimeout(link.writeHandle, SO_SNDTIMEO, commandStallSeconds);

    while (link.readHandle >= 0 && link.readIsSocket) {
        pollfd p{link.readHandle, POLLIN, 0};
        int n = ::poll(&p, 1, waitMs);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            platform::ShowMessage(platform::MessageIcon::Error, "Error in select\n");
            return;
        }
        if (n == 0) return;

        const int command = link.ReadCommand();
        std::string text;
        int value = 0;
        switch (command) {
        case Cmd::CENTER_VIEW:
            CenterView(currentViewport);
            break;
        case Cmd::DELETE_GRAPHIC:
            if (!link.ReadString(text)) return;
            if (SelectGraphic(text.c_str())) DeleteCurGraphic();
            break;
        case Cmd::DONT_UPDATE:
            if (!link.ReadInt(value)) return;
            if (value != 0) {
                drawingSuspended = true;
            } else {
                drawingSuspended = false;
                Redraw();
            }
            break;
        case Cmd::DUMP_STATE:
            if (!link.ReadString(text)) return;
            WriteStateFile(text.c_str());
            break;
        case Cmd::GET_CAMERA: {
            if (!link.ReadString(text)) return;
            const Transform* camera = nullptr;
            if (SavedCamera* saved = FindSavedCamera(text.c_str()))
                camera = &saved->view;
            else if (currentViewport)
                camera = currentViewport->view;
            if (link.writeHandle >= 0) {
                float scale = 0, defscale = 0, pivot[3] = {0, 0, 0}, pan[2] = {0, 0}, rotation[4] = {0, 0, 0, 0};
                if (camera) {
                    scale = camera->scale;
                    defscale = camera->defscale;
                    for (int i = 0; i < 3; ++i) pivot[i] = camera->pivot[i];
                    for (int i = 0; i < 2; ++i) pan[i] = camera->pan[i];
                    for (int i = 0; i < 4; ++i) rotation[i] = camera->rotation.value()[i];
                }
                // A write failure has printed its line; the remaining blocks
                // would only add more of the same.
                link.WriteIntDataBlock(&scale, 1, 5) && link.WriteIntDataBlock(&defscale, 1, 4) &&
                    link.WriteIntDataBlock(pivot, 3, 3) && link.WriteIntDataBlock(pan, 2, 2) &&
                    link.WriteIntDataBlock(rotation, 4, 1);
            }
            break;
        }
        case Cmd::GET_PROJECTED_AREA:
            if (link.writeHandle >= 0) {
                float area = ComputeProjectedArea();
                if (link.WriteCommand(Cmd::CALC_DONE)) link.WriteIntDataBlock(&area, 1, 0);
            }
            break;
        case Cmd::LOAD_GRAPHIC:
            LoadCurGraphic();
            break;
        case Cmd::NEW_GRAPHIC:
            if (!link.ReadString(text)) return;
            if (IsLogoName(text)) {
                currentGraphic = nullptr;
            } else if (!SelectGraphic(text.c_str()) && !NewGraphic(text.c_str(), nullptr)) {
                platform::ShowMessage(platform::MessageIcon::Error,
                                      "WARNING: Failed to create Graphic Object in viewport.\n");
            }
            break;
        case Cmd::READ_VIEWS:
            if (!link.ReadString(text)) return;
            ReadCameraFile(text.c_str());
            break;
        case Cmd::RESPOND_AFTER_UPDATE:
            respondAfterUpdate = true;
            break;
        case Cmd::SELECT_GRAPHIC:
            if (!link.ReadString(text)) return;
            SelectGraphic(text.c_str());
            break;
        case Cmd::SET_PARAMETRS: {
            const bool previous = drawingSuspended;
            drawingSuspended = true;
            SetParameters();
            drawingSuspended = previous;
            Redraw();
            break;
        }
        case Cmd::SHUTDOWN:
            g_exitHook(1);
            return;
        default:
            // CALC_DONE and UPDATE_DONE only travel to the engine; anything
            // else is not a command at all.  -1 is a failed read whose line
            // the link has printed already.
            if (command != -1)
                platform::ShowMessage(platform::MessageIcon::Error,
                                      "ERROR in CheckForCommand: Command not recognized\n");
            if (standAlone) {
                g_exitHook(1);
                return;
            }
            link.readHandle = -1;
            link.readIsSocket = false;
            break;
        }
        if (commandCallback) commandCallback();
    }
}
