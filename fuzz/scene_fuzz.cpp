// The scene file reader over arbitrary bytes: whatever a damaged or hostile
// file holds, the read ends, the link gets its own handles back and the
// viewer stays consistent (objects in viewports exist, layout and order in
// range).
#include <QApplication>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/MessageSink.h"
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
    const int fd = memfd_create("scene_fuzz", 0);
    if (fd < 0) return -1;
    if (size > 0 && write(fd, data, size) != ssize_t(size)) {
        close(fd);
        return -1;
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

void CheckViewer(vkoViewer& v) {
    Check(v.link.readHandle == -1 && !v.link.readIsSocket);
    Check(v.viewportLayout >= 1 && v.viewportLayout <= 8);
    for (int i = 0; i < v.numViewports; ++i) Check(v.viewportOrder[i] >= 1 && v.viewportOrder[i] <= v.numViewports);
    Check(v.outlineMode >= 0 && v.outlineMode <= 2);
    for (vkoViewport* vp : v.viewports) {
        Check(vp->axisType >= 0 && vp->axisType <= 2);
        for (vkoGraphicObj* object : vp->objects) Check(v.FindGraphicById(object->objectid) == object);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KRV_NO_KRVLOGO", "1", 1);  // the logo image costs a decode per run
    static QApplication app(*argc, *argv);
    platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = MemoryFile(data, size);
    if (fd < 0) return 0;
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "prog -n");
    Check(viewer != nullptr);
    std::unique_ptr<krvViewer> box(viewer->Widget());
    const int k = viewer->link.compressBufferSize;
    const bool suspended = viewer->drawingSuspended;
    viewer->ReadScene(fd);
    Check(viewer->link.compressBufferSize == k);
    Check(viewer->drawingSuspended == suspended);
    CheckViewer(*viewer);
    close(fd);
    return 0;
}
