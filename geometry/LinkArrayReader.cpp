#include "geometry/LinkArrayReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>

#include "link/LinkStream.h"

namespace {

constexpr size_t kPiece = 1024 * 1024;            // receive piece
constexpr size_t kScratchLimit = 1024 * 1024;     // input buffer of a compressed payload
constexpr size_t kReserveLimit = 64 * 1024 * 1024;  // room taken on the word of a count

// A payload is received a piece at a time into a reused buffer and appended
// to its destination from there, turning the byte order while the piece is
// still in the cache.  The destination takes room for the announced size up
// to kReserveLimit (untouched room commits no memory); past that it grows
// only with the bytes that really arrive, so a forged count costs no more
// than the data the peer actually sends.
unsigned char* ThePiece() {
    thread_local std::unique_ptr<unsigned char[]> piece(new unsigned char[kPiece]);
    return piece.get();
}

bool InflatePayload(int handle, size_t chunk, size_t total, unsigned char* piece,
                    const std::function<void(const unsigned char*, size_t)>& take);

// 4-byte words of the wire in host order, read as T.
template <typename T>
struct NetWords {
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = T;
    const unsigned char* p;
    T operator*() const {
        uint32_t w;
        std::memcpy(&w, p, 4);
        w = __builtin_bswap32(w);
        T t;
        std::memcpy(&t, &w, 4);
        return t;
    }
    NetWords& operator++() {
        p += 4;
        return *this;
    }
    NetWords operator++(int) {
        NetWords old = *this;
        p += 4;
        return old;
    }
    NetWords& operator--() {
        p -= 4;
        return *this;
    }
    NetWords& operator+=(difference_type n) {
        p += 4 * n;
        return *this;
    }
    NetWords& operator-=(difference_type n) {
        p -= 4 * n;
        return *this;
    }
    NetWords operator+(difference_type n) const { return NetWords{p + 4 * n}; }
    difference_type operator-(const NetWords& o) const { return (p - o.p) / 4; }
    T operator[](difference_type n) const { return *(*this + n); }
    bool operator==(const NetWords& o) const { return p == o.p; }
    bool operator!=(const NetWords& o) const { return p != o.p; }
    bool operator<(const NetWords& o) const { return p < o.p; }
};

// Appends n received bytes (whole elements of T) to out, turning
// network-order words into host order on the way when asked.
template <typename T>
void Append(const unsigned char* p, size_t n, std::vector<T>& out, bool netWords) {
    if constexpr (sizeof(T) == 4) {
        if (netWords) {
            out.insert(out.end(), NetWords<T>{p}, NetWords<T>{p + n});
            return;
        }
    }
    out.insert(out.end(), reinterpret_cast<const T*>(p), reinterpret_cast<const T*>(p + n));
}

// Reads one payload of `bytes` bytes into out (whole elements; bytes is a
// multiple of the element size).
template <typename T>
bool ReadPayloadInto(LinkStream& stream, int64_t bytes, std::vector<T>& out, bool intBlock) {
    // An int block's words arrive most significant byte first.
    static_assert(kPiece % sizeof(T) == 0);
    out.clear();
    if (bytes < 0 || bytes > LinkArrayReader::kMaxBlockBytes || bytes % int64_t(sizeof(T)) != 0) return false;
    if (stream.ReadDataBlockHeader(int(bytes)) < 0) return false;
    const size_t total = size_t(bytes);
    unsigned char* piece = ThePiece();
    bool ok = true;
    try {
        out.reserve(std::min(total, kReserveLimit) / sizeof(T));
        auto take = [&](const unsigned char* p, size_t n) { Append(p, n, out, intBlock); };
        const int k = stream.compressBufferSize;
        if (k <= 0 || size_t(k) >= total) {
            for (size_t got = 0; ok && got < total; got += kPiece) {
                const size_t n = std::min(kPiece, total - got);
                ok = LinkStream::RawRead(stream.readHandle, piece, n);
                if (ok) take(piece, n);
            }
        } else {
            ok = InflatePayload(stream.readHandle, size_t(k), total, piece, take);
        }
    } catch (...) {
        out = {};
        throw;
    }
    if (!ok) {
        std::fprintf(stderr, intBlock ? "ERROR in ReadIntDataBlock: Reading data\n" : "ERROR in ReadDataBlock: Reading data\n");
        out = {};
    }
    return ok;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word order assumes a little-endian host");

// One compressed transfer: a zlib stream received in chunks of exactly K
// bytes, inflated a piece at a time; take hears of every full piece (and
// of the last one).
bool InflatePayload(int handle, size_t chunk, size_t total, unsigned char* piece,
                    const std::function<void(const unsigned char*, size_t)>& take) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    const size_t scratchSize = std::min(chunk, kScratchLimit);
    std::vector<unsigned char> scratch(scratchSize);
    size_t chunkLeft = 0;
    auto refill = [&]() {
        if (chunkLeft == 0) chunkLeft = chunk;
        const size_t m = std::min(chunkLeft, scratchSize);
        if (!LinkStream::RawRead(handle, scratch.data(), m)) return false;
        chunkLeft -= m;
        z.next_in = scratch.data();
        z.avail_in = uInt(m);
        return true;
    };
    bool ok = true, ended = false;
    // One inflate call into `room` bytes at `to`; the bytes it made.
    auto step = [&](unsigned char* to, size_t room) {
        z.next_out = to;
        z.avail_out = uInt(room);
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END)
            ended = true;
        else if (r == Z_BUF_ERROR)
            ok = z.avail_in == 0;
        else if (r != Z_OK)
            ok = false;
        return room - z.avail_out;
    };
    try {
        for (size_t got = 0; ok && got < total;) {
            const size_t size = std::min(kPiece, total - got);
            size_t want = size;
            while (ok && want > 0) {
                if (ended || (z.avail_in == 0 && !refill())) {
                    ok = false;
                    break;
                }
                const size_t made = step(piece + (size - want), want);
                got += made;
                want -= made;
            }
            if (ok) take(piece, size);
        }
    } catch (...) {
        inflateEnd(&z);
        throw;
    }
    // Up to the stream end (no output expected), then drop the chunk's rest.
    unsigned char dummy = 0;
    while (ok && !ended) {
        if (z.avail_in == 0 && !refill()) {
            ok = false;
            break;
        }
        step(&dummy, 0);
    }
    while (ok && chunkLeft > 0) {
        const size_t m = std::min(chunkLeft, scratchSize);
        ok = LinkStream::RawRead(handle, scratch.data(), m);
        chunkLeft -= m;
    }
    inflateEnd(&z);
    return ok;
}

}  // namespace

bool LinkArrayReader::ReadPayload(LinkStream& stream, int64_t bytes, std::vector<unsigned char>& out,
                                  bool intBlock) {
    return ReadPayloadInto(stream, bytes, out, intBlock);
}

bool LinkArrayReader::ReadInts(LinkStream& stream, int64_t count, std::vector<int32_t>& out) {
    out.clear();
    return count >= 1 && count <= kMaxBlockBytes / 4 && ReadPayloadInto(stream, count * 4, out, true);
}

bool LinkArrayReader::ReadFloats(LinkStream& stream, int64_t count, std::vector<float>& out) {
    out.clear();
    static_assert(sizeof(float) == 4);
    return count >= 1 && count <= kMaxBlockBytes / 4 && ReadPayloadInto(stream, count * 4, out, true);
}

bool LinkArrayReader::ReadBytes(LinkStream& stream, int64_t count, std::vector<unsigned char>& out) {
    out.clear();
    if (count < 1) return false;
    return ReadPayload(stream, count, out, false);
}
