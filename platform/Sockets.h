#pragma once
// Thin stand-ins for the socket library of the original platform.  POSIX
// sockets need no start-up call, but the once-per-process contract stays:
// the first successful start also makes a vanished peer a failed send
// instead of a SIGPIPE that would end the viewer.
#include <cstddef>
#include <sys/types.h>

namespace platform {

// Starts the socket layer once per process; later calls return true at
// once.  startCount() tells how often the real start-up ran (tests).
bool StartSocketLibrary();
int SocketLibraryStartCount();
// Counterpart of the start-up; keeps the flag so a later start is cheap.
void StopSocketLibrary();

// True when the handle is a socket (SO_TYPE query succeeds).
bool IsSocketHandle(int handle);

// One receive or send on a socket; never raises SIGPIPE.  Results as recv/send.
ssize_t SocketReceive(int handle, void* buffer, size_t size);
ssize_t SocketSend(int handle, const void* buffer, size_t size);

// Closes a socket or file handle; -1 is ignored.
void CloseHandle(int handle);

}  // namespace platform
