#include "platform/SixDof.h"

#ifdef VIEWER_HAVE_SPNAV
#include <spnav.h>
#endif

namespace platform {

bool SixDofDevice::open() {
    close();
#ifdef VIEWER_HAVE_SPNAV
    open_ = spnav_open() != -1;
#endif
    return open_;
}

void SixDofDevice::close() {
#ifdef VIEWER_HAVE_SPNAV
    if (open_) spnav_close();
#endif
    open_ = false;
}

int SixDofDevice::fd() const {
#ifdef VIEWER_HAVE_SPNAV
    if (open_) return spnav_fd();
#endif
    return -1;
}

void SixDofDevice::poll(const std::function<void(const SixDofMotion&)>& onMotion) {
#ifdef VIEWER_HAVE_SPNAV
    if (!open_) return;
    spnav_event event;
    while (spnav_poll_event(&event) > 0) {
        if (event.type != SPNAV_EVENT_MOTION) continue;
        SixDofMotion m;
        m.translation[0] = event.motion.x;
        m.translation[1] = event.motion.y;
        m.translation[2] = event.motion.z;
        m.rotation[0] = event.motion.rx;
        m.rotation[1] = event.motion.ry;
        m.rotation[2] = event.motion.rz;
        if (onMotion) onMotion(m);
    }
#else
    (void)onMotion;
#endif
}

}  // namespace platform
