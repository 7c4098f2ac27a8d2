// The state and camera file readers over arbitrary bytes: the first byte
// chooses the reader (viewer section or camera file), the rest is the file.
// Reading ends, completes only whole cameras and leaves the viewer usable.
#include <QApplication>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/MessageSink.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

int MemoryFile(const void* data, size_t size) {
    const int fd = memfd_create("statefile_fuzz", 0);
    if (fd < 0) return -1;
    if (size > 0 && write(fd, data, size) != ssize_t(size)) {
        close(fd);
        return -1;
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KRV_NO_KRVLOGO", "1", 1);
    static QApplication app(*argc, *argv);
    platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int fd = MemoryFile(data + 1, size - 1);
    if (fd < 0) return 0;
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "prog -n");
    Check(viewer != nullptr);
    std::unique_ptr<krvViewer> box(viewer->Widget());
    viewer->NewGraphic("a");
    viewer->NewGraphic("b");
    const bool suspended = viewer->drawingSuspended;
    if (data[0] & 1) {
        const int before = viewer->numSavedCameras;
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        viewer->ReadCameraFile(path.c_str());
        int counted = 0;
        for (SavedCamera* c = viewer->savedCameras; c; c = c->next) {
            Check(c->view.defscale > 0.0f && c->view.scale > 0.0f);
            ++counted;
        }
        Check(counted == viewer->numSavedCameras && counted >= before);
    } else {
        viewer->ReadViewerSection(fd);
        for (int i = 0; i < viewer->numViewports; ++i)
            Check(viewer->viewportOrder[i] >= 1 && viewer->viewportOrder[i] <= viewer->numViewports);
        for (vkoViewport* vp : viewer->viewports) {
            Check(vp->axisType >= 0 && vp->axisType <= 2);
            Check(vp->lightAngleXToZ >= 0.0f && vp->lightAngleXToZ <= 180.0f);
            // The dump prints whatever was read.
            char* text = nullptr;
            size_t length = 0;
            FILE* out = open_memstream(&text, &length);
            vp->dump(out, 2);
            std::fclose(out);
            std::free(text);
        }
    }
    Check(viewer->drawingSuspended == suspended);
    close(fd);
    return 0;
}
