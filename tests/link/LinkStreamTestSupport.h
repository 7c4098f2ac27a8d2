#pragma once
// Real byte channels for the LinkStream tests: socket pairs, pipes and
// in-memory files (memfd), with the writing side on its own thread where
// the channel could fill up.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "link/LinkStream.h"
#include "platform/Sockets.h"

namespace linktest {

enum class Transport { Socket, Pipe, File };

inline const char* TransportName(Transport t) {
    switch (t) {
        case Transport::Socket: return "Socket";
        case Transport::Pipe: return "Pipe";
        case Transport::File: return "File";
    }
    return "?";
}

// An in-memory file holding bytes, positioned at its start.
inline int MemFile(const std::string& bytes = std::string()) {
    int fd = memfd_create("linktest", MFD_CLOEXEC);
    if (fd < 0) return -1;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t r = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (r <= 0) break;
        done += size_t(r);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

// Everything in a file, from its start (the offset is left alone).
inline std::string FileBytes(int fd) {
    std::string out;
    char buf[65536];
    off_t pos = 0;
    for (;;) {
        ssize_t r = ::pread(fd, buf, sizeof buf, pos);
        if (r <= 0) break;
        out.append(buf, size_t(r));
        pos += r;
    }
    return out;
}

// Big-endian bytes of an int, as the wire carries them.
inline std::string NetInt(int32_t v) {
    uint32_t u = uint32_t(v);
    std::string s(4, '\0');
    s[0] = char(u >> 24);
    s[1] = char(u >> 16);
    s[2] = char(u >> 8);
    s[3] = char(u);
    return s;
}

inline std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = char(rng());
    return s;
}

// One channel: a reading and a writing descriptor of one transport.
class Channel {
public:
    explicit Channel(Transport t) : transport_(t) {
        platform::StartSocketLibrary();  // a vanished reader is a failed write, not SIGPIPE
        int fds[2] = {-1, -1};
        switch (t) {
            case Transport::Socket:
                if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
                    readFd = fds[0];
                    writeFd = fds[1];
                }
                break;
            case Transport::Pipe:
                if (::pipe2(fds, O_CLOEXEC) == 0) {
                    readFd = fds[0];
                    writeFd = fds[1];
                }
                break;
            case Transport::File:
                writeFd = MemFile();
                // A second open file description, with its own offset.
                readFd = ::open(("/proc/self/fd/" + std::to_string(writeFd)).c_str(), O_RDONLY | O_CLOEXEC);
                break;
        }
    }
    ~Channel() {
        CloseRead();
        CloseWrite();
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    void CloseRead() {
        if (readFd >= 0) ::close(readFd);
        readFd = -1;
    }
    // Ends the writing side: the reader then sees end of stream.
    void CloseWrite() {
        if (writeFd >= 0) ::close(writeFd);
        writeFd = -1;
    }

    // Writes with one LinkStream and reads with another, both with chunk
    // size k.  Sockets and pipes write on a thread (the channel holds only
    // so much) and the write side is closed when the writer is done; a file
    // is written first and then read from its start.  Returns what the
    // writer returned.
    bool Run(int k, const std::function<bool(LinkStream&)>& write, const std::function<void(LinkStream&)>& read) {
        LinkStream writer, reader;
        writer.compressBufferSize = k;
        reader.compressBufferSize = k;
        writer.writeHandle = writeFd;
        writer.writeIsSocket = transport_ == Transport::Socket;
        reader.readHandle = readFd;
        reader.readIsSocket = transport_ == Transport::Socket;
        bool wrote = false;
        if (transport_ == Transport::File) {
            wrote = write(writer);
            read(reader);
            return wrote;
        }
        std::thread t([&] {
            wrote = write(writer);
            CloseWrite();
        });
        read(reader);
        CloseRead();  // a writer still blocked on a full channel now fails
        t.join();
        return wrote;
    }

    Transport transport_;
    int readFd = -1;
    int writeFd = -1;
};

// The bytes that a writer puts on the wire with chunk size k.
inline std::string WireBytes(int k, const std::function<bool(LinkStream&)>& write, bool* ok = nullptr) {
    int fd = MemFile();
    LinkStream s;
    s.compressBufferSize = k;
    s.writeHandle = fd;
    bool r = write(s);
    if (ok) *ok = r;
    std::string bytes = FileBytes(fd);
    ::close(fd);
    return bytes;
}

// A LinkStream reading from an in-memory file that holds bytes; owns the file.
class MemReader {
public:
    explicit MemReader(const std::string& bytes, int k = 0) {
        stream.readHandle = MemFile(bytes);
        stream.compressBufferSize = k;
    }
    ~MemReader() {
        if (stream.readHandle >= 0) ::close(stream.readHandle);
    }
    MemReader(const MemReader&) = delete;
    MemReader& operator=(const MemReader&) = delete;
    LinkStream stream;
};

}  // namespace linktest
