#include "platform/Sockets.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {
std::once_flag g_startOnce;
std::atomic<int> g_startCount{0};
}  // namespace

bool StartSocketLibrary() {
    std::call_once(g_startOnce, [] {
        // A write to an engine that has gone must fail, not kill the process.
        std::signal(SIGPIPE, SIG_IGN);
        g_startCount.fetch_add(1);
    });
    return true;
}

int SocketLibraryStartCount() { return g_startCount.load(); }

void StopSocketLibrary() {}

bool IsSocketHandle(int handle) {
    if (handle < 0) return false;
    int type = 0;
    socklen_t len = sizeof(type);
    return getsockopt(handle, SOL_SOCKET, SO_TYPE, &type, &len) == 0;
}

ssize_t SocketReceive(int handle, void* buffer, size_t size) {
    ssize_t r;
    do {
        r = recv(handle, buffer, size, 0);
    } while (r < 0 && errno == EINTR);
    return r;
}

ssize_t SocketSend(int handle, const void* buffer, size_t size) {
    ssize_t r;
    do {
        r = send(handle, buffer, size, MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    return r;
}

void CloseHandle(int handle) {
    if (handle >= 0) ::close(handle);
}

}  // namespace platform
