#include "viewer/ViewerStart.h"

#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "viewer/vkoViewer.h"

namespace viewerstart {

void SetHeadlessOutputSize(vkoViewer& viewer, int width, int height) {
    if (!viewer.baseRenderer) return;
    viewer.baseRenderer->windowWidth = width;
    viewer.baseRenderer->windowHeight = height;
}

bool LoadAppendedScene(vkoViewer&, const std::string&, long long) { return false; }

bool LoadStartFile(vkoViewer&, const Arguments&) { return false; }

bool ConnectRemote(vkoViewer&, int) { return false; }

}  // namespace viewerstart
