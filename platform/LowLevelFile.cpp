#include "platform/LowLevelFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

int FileOpen(const char* path, OpenMode mode) {
    if (!path) return -1;
    int flags = O_CLOEXEC;
    switch (mode) {
        case OpenMode::Read: flags |= O_RDONLY; break;
        case OpenMode::WriteTruncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
        case OpenMode::ReadWrite: flags |= O_RDWR | O_CREAT; break;
    }
    int fd;
    do {
        fd = ::open(path, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t FileRead(int handle, void* buffer, size_t size) {
    ssize_t r;
    do {
        r = ::read(handle, buffer, size);
    } while (r < 0 && errno == EINTR);
    return r;
}

ssize_t FileWrite(int handle, const void* buffer, size_t size) {
    ssize_t r;
    do {
        r = ::write(handle, buffer, size);
    } while (r < 0 && errno == EINTR);
    return r;
}

long long FileSeek(int handle, long long offset) { return ::lseek(handle, offset, SEEK_SET); }

void FileClose(int handle) {
    if (handle >= 0) ::close(handle);
}

bool FileExists(const char* path) { return path && ::access(path, F_OK) == 0; }

}  // namespace platform
