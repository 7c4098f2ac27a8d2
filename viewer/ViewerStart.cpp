#include "viewer/ViewerStart.h"

#include "platform/Sockets.h"

#include "link/SocketTransport.h"
#include "platform/LowLevelFile.h"
#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "viewer/vkoViewer.h"

namespace viewerstart {

void SetHeadlessOutputSize(vkoViewer& viewer, int width, int height) {
    if (!viewer.baseRenderer) return;
    viewer.baseRenderer->windowWidth = width;
    viewer.baseRenderer->windowHeight = height;
}

bool LoadAppendedScene(vkoViewer& viewer, const std::string& programPath, long long offset) {
    const int fd = platform::FileOpen(programPath.c_str(), platform::OpenMode::Read);
    if (fd < 0) return false;
    if (platform::FileSeek(fd, offset) != offset) {
        platform::FileClose(fd);
        return false;
    }
    const bool previous = viewer.SuspendDrawing(true);
    viewer.ReadScene(fd);
    viewer.SuspendDrawing(previous);
    platform::FileClose(fd);
    return true;
}

bool LoadStartFile(vkoViewer& viewer, const Arguments& arguments) {
    const bool previous = viewer.SuspendDrawing(true);
    const bool ok = viewer.OpenStartFile(arguments.fileName.c_str(), arguments.replay, arguments.dump);
    viewer.SuspendDrawing(previous);
    return ok;
}

bool ConnectRemote(vkoViewer& viewer, int port) {
    if (!ConnectLink(viewer.link, port)) return false;
    // The viewer opened these connections itself, so it closes them.
    viewer.linkOwned = true;
    // A window polls the link from its own timer; without one nothing would.
    if (viewer.noWindow) viewer.StartHeadlessPolling();
    return true;
}

}  // namespace viewerstart
