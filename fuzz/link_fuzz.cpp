// libFuzzer harness for the reading side of LinkStream.
//
// Input layout:
//   byte 0      chunk size K: kChunkSizes[byte % 8] (0 = raw transfers)
//   bytes 1..8  the read program: each byte is one read, low 3 bits the
//               kind, high 5 bits an index into the size table
//   the rest    the byte stream, put into an in-memory file whose
//               descriptor becomes the read handle (no pipe to fill up)
// The program repeats for at most kMaxReads reads and stops once a read
// failed at the end of the input (every further read would fail too).
// Failed reads print their wire messages on stderr; run libFuzzer with
// -close_fd_mask=2 to keep them out of its log.  LINK_FUZZ_TRACE=1 prints
// the result of each read (to check what a seed reaches).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/LinkStream.h"

namespace {

constexpr int kChunkSizes[8] = {0, 0, 1, 5, 16, 64, 1024, 65536};
constexpr int kSizes[32] = {0,  1,  2,  3,  4,  5,   6,   7,   8,   10,   12,   16,   20,   24,    32,    40,
                            48, 60, 64, 80, 96, 100, 128, 200, 256, 300, 512, 1000, 1024, 4000, 4096, 65536};
constexpr int kMaxReads = 64;
constexpr size_t kMaxInput = 1 << 16;  // inflated strings stay below ~64 MB

int MemFile(const uint8_t* data, size_t size) {
    int fd = memfd_create("link_fuzz", MFD_CLOEXEC);
    if (fd < 0) return -1;
    size_t done = 0;
    while (done < size) {
        ssize_t r = ::write(fd, data + done, size - done);
        if (r <= 0) {
            ::close(fd);
            return -1;
        }
        done += size_t(r);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9 || size > kMaxInput) return 0;
    const int k = kChunkSizes[data[0] % 8];
    const uint8_t* program = data + 1;
    int fd = MemFile(data + 9, size - 9);
    if (fd < 0) return 0;

    LinkStream s;
    s.readHandle = fd;
    s.compressBufferSize = k;
    std::vector<unsigned char> buffer(65536 + 16);
    static const bool trace = std::getenv("LINK_FUZZ_TRACE") != nullptr;  // print each read's result
    for (int i = 0; i < kMaxReads; ++i) {
        const uint8_t op = program[i % 8];
        const int n = kSizes[op >> 3];
        int r = 0;
        switch (op & 7) {
            case 0: r = s.ReadCommand(); break;
            case 1: r = s.ReadToken(); break;
            case 2: r = s.ReadDataBlockHeader(n); break;
            case 3: r = s.ReadDataBlock(buffer.data(), n); break;
            case 4: r = s.ReadIntDataBlock(buffer.data(), n / 4); break;
            case 5: {
                std::string text;
                r = s.ReadString(text) ? int(text.size() & 0x7fff) : -1;
                break;
            }
            case 6: {
                int v = 0;
                r = s.ReadInt(v) ? 0 : -1;
                break;
            }
            case 7: {
                // The transfer itself, raw or compressed by K.
                r = s.ReadTransfer(buffer.data(), size_t(n)) ? 0 : -1;
                break;
            }
        }
        if (trace) std::printf("read %d kind %d size %d -> %d\n", i, op & 7, n, r);
        if (r < 0 && LinkStream::LastZeroResultRun() > 1000) break;  // at the end of the input
    }
    ::close(fd);
    return 0;
}
