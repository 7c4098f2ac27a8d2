#include "geometry/LinkArrayReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/LinkStream.h"

namespace {

constexpr size_t kFirstPiece = 64 * 1024;       // first piece of a payload
constexpr size_t kScratchLimit = 1024 * 1024;   // input buffer of a compressed payload

// Next piece: at least kFirstPiece, at most what has arrived so far, so the
// buffer never exceeds twice the received data.
size_t NextPiece(size_t got, size_t total) { return std::min(total - got, std::max(kFirstPiece, got)); }

template <typename T>
bool InflatePayload(int handle, size_t chunk, size_t total, std::vector<T>& out);

// Reads one payload of `bytes` bytes straight into the destination's
// storage (whole elements; bytes is a multiple of the element size).
template <typename T>
bool ReadPayloadInto(LinkStream& stream, int64_t bytes, std::vector<T>& out, bool intBlock) {
    out.clear();
    if (bytes < 0 || bytes > LinkArrayReader::kMaxBlockBytes || bytes % int64_t(sizeof(T)) != 0) return false;
    if (stream.ReadDataBlockHeader(int(bytes)) < 0) return false;
    const size_t total = size_t(bytes);
    bool ok = true;
    const int k = stream.compressBufferSize;
    if (k <= 0 || size_t(k) >= total) {
        size_t got = 0;
        while (ok && got < total) {
            const size_t piece = NextPiece(got, total);
            out.resize((got + piece) / sizeof(T));
            ok = LinkStream::RawRead(stream.readHandle, reinterpret_cast<unsigned char*>(out.data()) + got, piece);
            got += piece;
        }
    } else {
        ok = InflatePayload(stream.readHandle, size_t(k), total, out);
    }
    if (!ok) {
        std::fprintf(stderr, intBlock ? "ERROR in ReadIntDataBlock: Reading data\n" : "ERROR in ReadDataBlock: Reading data\n");
        out.clear();
        out.shrink_to_fit();
    }
    return ok;
}

// Network order to host order, in place.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the swap assumes a little-endian host");
void SwapWords(uint32_t* words, size_t count) {
    for (size_t i = 0; i < count; ++i) words[i] = __builtin_bswap32(words[i]);
}

uint32_t FromNet(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// One compressed transfer: a zlib stream received in chunks of exactly K
// bytes, inflated into a destination that grows as output is produced.
template <typename T>
bool InflatePayload(int handle, size_t chunk, size_t total, std::vector<T>& out) {
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
    size_t got = 0;
    while (ok && got < total) {
        const size_t piece = NextPiece(got, total);
        out.resize((got + piece) / sizeof(T));
        size_t want = piece;
        while (ok && want > 0) {
            if (ended || (z.avail_in == 0 && !refill())) {
                ok = false;
                break;
            }
            z.next_out = reinterpret_cast<unsigned char*>(out.data()) + got;
            z.avail_out = uInt(std::min<size_t>(want, 1u << 30));
            const uInt before = z.avail_out;
            const int r = inflate(&z, Z_NO_FLUSH);
            const size_t made = before - z.avail_out;
            got += made;
            want -= made;
            if (r == Z_STREAM_END)
                ended = true;
            else if (r == Z_BUF_ERROR)
                ok = z.avail_in == 0;
            else if (r != Z_OK)
                ok = false;
        }
    }
    // Up to the stream end (no output expected), then drop the chunk's rest.
    unsigned char dummy = 0;
    while (ok && !ended) {
        if (z.avail_in == 0 && !refill()) {
            ok = false;
            break;
        }
        z.next_out = &dummy;
        z.avail_out = 0;
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END)
            ended = true;
        else if (r == Z_BUF_ERROR)
            ok = z.avail_in == 0;
        else if (r != Z_OK)
            ok = false;
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
    if (count < 1 || count > kMaxBlockBytes / 4 || !ReadPayloadInto(stream, count * 4, out, true)) return false;
    SwapWords(reinterpret_cast<uint32_t*>(out.data()), out.size());
    return true;
}

bool LinkArrayReader::ReadFloats(LinkStream& stream, int64_t count, std::vector<float>& out) {
    out.clear();
    static_assert(sizeof(float) == 4);
    if (count < 1 || count > kMaxBlockBytes / 4 || !ReadPayloadInto(stream, count * 4, out, true)) return false;
    SwapWords(reinterpret_cast<uint32_t*>(out.data()), out.size());
    return true;
}

bool LinkArrayReader::ReadBytes(LinkStream& stream, int64_t count, std::vector<unsigned char>& out) {
    out.clear();
    if (count < 1) return false;
    return ReadPayload(stream, count, out, false);
}
