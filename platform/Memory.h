#pragma once

namespace platform {
// Keeps memory that the process frees for its own later use instead of
// handing it back to the system at once.  A viewer of large scenes frees
// and takes again tens of megabytes per frame or pick (its own arrays and
// the software rasteriser's); returned pages cost a fault each when they
// are touched again.  Once per process; later calls do nothing.
void RetainFreedMemory();
}  // namespace platform
