#pragma once
// Stand-ins for the runtime's low-level file calls (_open, _read, _write,
// _lseek, _close, _access) used by state, scene and data files.
#include <cstddef>
#include <sys/types.h>

namespace platform {

enum class OpenMode { Read, WriteTruncate, ReadWrite };

// Returns a descriptor or -1.  Files are always binary.
int FileOpen(const char* path, OpenMode mode);
// One read or write; EINTR is retried.  Results as read/write.
ssize_t FileRead(int handle, void* buffer, size_t size);
ssize_t FileWrite(int handle, const void* buffer, size_t size);
// Absolute seek; returns the new offset or -1.
long long FileSeek(int handle, long long offset);
void FileClose(int handle);
bool FileExists(const char* path);

}  // namespace platform
