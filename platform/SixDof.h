#pragma once
// 6-DOF input device through the spacenav daemon.  Without the library, the
// daemon or a device every call fails quietly and no event ever arrives.
#include <functional>

namespace platform {

struct SixDofMotion {
    int translation[3] = {0, 0, 0};
    int rotation[3] = {0, 0, 0};
};

class SixDofDevice {
public:
    SixDofDevice() = default;
    ~SixDofDevice() { close(); }
    SixDofDevice(const SixDofDevice&) = delete;
    SixDofDevice& operator=(const SixDofDevice&) = delete;

    // Connects to the daemon; false (and nothing else) when there is none.
    bool open();
    void close();
    bool isOpen() const { return open_; }
    // Descriptor to watch for readability, -1 when closed.
    int fd() const;
    // Reads every waiting event; motion events go to the handler.
    void poll(const std::function<void(const SixDofMotion&)>& onMotion);

private:
    bool open_ = false;
};

}  // namespace platform
