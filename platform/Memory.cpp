#include "platform/Memory.h"

#include <malloc.h>

#include <mutex>

namespace platform {

void RetainFreedMemory() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Blocks up to 32 MB (the largest threshold the allocator takes) come
        // from the heap and go back to it; the heap is trimmed only past
        // 512 MB of free space at its top.
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
        mallopt(M_TOP_PAD, 16 * 1024 * 1024);
    });
}

}  // namespace platform
