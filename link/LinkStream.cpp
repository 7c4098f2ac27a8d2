#include "link/LinkStream.h"

#include <zlib.h>
#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/LowLevelFile.h"
#include "platform/Sockets.h"

const char* const LinkStream::kCommandNames[LinkStream::kNumCommands] = {
    "CALC_DONE",      "CENTER_VIEW", "DELETE_GRAPHIC", "DONT_UPDATE",          "DUMP_STATE",
    "GET_CAMERA",     "GET_PROJECTED_AREA",            "LOAD_GRAPHIC",         "NEW_GRAPHIC",
    "READ_VIEWS",     "RESPOND_AFTER_UPDATE",          "SELECT_GRAPHIC",       "SET_PARAMETRS",
    "SHUTDOWN",       "UPDATE_DONE",
};

const char* const LinkStream::kTokenNames[LinkStream::kNumTokens] = {
    "ADD_OBJECT",
    "AUTOPRINT",
    "BACKGROUND_COLOR",
    "CAMERA",
    "COLOR_MAP",
    "CREASE_ANGLE",
    "CULLING_MODE",
    "DONE",
    "DOUBLE_BUFFERING",
    "DRAW_FACES",
    "DRAW_LINES",
    "DRAW_MODE",
    "DRAW_OVERLAY",
    "DRAW_SMOOTH",
    "EXTRUDE",
    "FACES",
    "FACE_COLOR",
    "FACE_COLORS",
    "FACE_TRANSPARENCY",
    "GUI_CAMERA",
    "IMAGE",
    "LABEL",
    "LIGHTING",
    "LIGHTING_SPECULAR",
    "LIMIT_ZOOM",
    "LINES",
    "LINE_COLOR",
    "LINE_COLORS",
    "LINE_SMOOTH",
    "LINE_TRANSPARENCY",
    "LINE_WIDTH",
    "OBJECT",
    "OBJECT_ANGLE",
    "OBJECT_AXIS",
    "OBJECT_CLIP_PLANE",
    "OBJECT_INSTANCES",
    "OBJECT_INSTANCE_ANGLE",
    "OBJECT_INSTANCE_AXIS",
    "OBJECT_INSTANCE_TRANSLATION",
    "OBJECT_MIRROR_PLANE",
    "OBJECT_POLYGON_MODE",
    "OBJECT_POLYGON_OFFSET",
    "OBJECT_POLYSTRIP",
    "OBJECT_SCALE",
    "OBJECT_TRANSLATION",
    "OBJECT_VISIBILITY",
    "OUTFILE",
    "OVERLAY",
    "POINT_SIZE",
    "PRINTER",
    "PRINT_ANTIALIAS",
    "PRINT_PS_PAPER_SIZE",
    "PRINT_RASTER_SIZE",
    "PRINT_SCREEN",
    "PRINT_TOLERANCE",
    "QUALITY_FACTOR",
    "REMOVE_OBJECT",
    "SCALE_FACTOR",
    "SPARSE_MODE",
    "TEXTS",
    "TEXTURE",
    "TRANSPARENCY",
    "VERTEX_COLOR",
    "VERTEX_COLORS",
    "VERTEX_TRANSPARENCY",
    "VERTICES",
    "VIEWER_LAYOUT",
    "VIEWER_LOD_ERROR",
    "VIEWER_LOGO",
    "VIEWER_PORT",
    "VIEWER_PORT_ORDER",
    "VIEWER_XSPLIT",
    "VIEWER_YSPLIT",
    "VIEWPORT_AUTOFIT",
    "VIEWPORT_AXIS",
    "VIEWPORT_AXIS_TYPE",
    "VIEWPORT_BORDER",
    "VIEWPORT_CLIP_PLANE",
    "VIEWPORT_LIGHT",
    "VIEWPORT_MAXIMIZE",
    "VIEWPORT_ORTHO",
    "VIEWPORT_ROTATION",
    "VIEWPORT_RULER",
    "VIEWPORT_RULER_UNITS",
    "XREVERSEVIDEO",
};

static_assert(LinkStream::Cmd::NOT_FOUND == LinkStream::kNumCommands);
static_assert(LinkStream::Tok::NOT_FOUND == LinkStream::kNumTokens);

namespace {

constexpr char kCommandKey[] = "vkoCommandKey";
constexpr char kTokenKey[] = "vkoTokenKey";
constexpr size_t kCommandKeyLength = sizeof(kCommandKey) - 1;  // 13
constexpr size_t kTokenKeyLength = sizeof(kTokenKey) - 1;      // 11
static_assert(kCommandKeyLength == 13 && kTokenKeyLength == 11);

constexpr int kMaxNameLength = 64;        // bytes of a name including its zero byte
constexpr int kMaxZeroResults = 1000;     // the 1001st zero-length result in a row fails
constexpr size_t kScratchLimit = 256 * 1024;  // largest scratch buffer, whatever K is
constexpr size_t kStringPiece = 64 * 1024;    // first piece of a string payload
constexpr size_t kWordPiece = 128 * 1024;     // int-block bytes converted while cache-hot (multiple of 4)
constexpr size_t kMaxSyscall = size_t(1) << 30;  // largest single read/write/zlib step

thread_local int g_lastZeroRun = 0;

void Message(const char* text) { std::fputs(text, stderr); }

inline uint32_t ToNet(uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(v);
    return v;
}

// Byte order conversion of 32-bit words (dst may equal src).  Int blocks
// are the bulk of the link's traffic, so x86 uses vector shuffles: AVX2
// when the processor has it, SSE2 (always there on x86-64) otherwise.
void SwapWordsScalar(unsigned char* dst, const unsigned char* src, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t v;
        std::memcpy(&v, src + 4 * i, 4);
        v = __builtin_bswap32(v);
        std::memcpy(dst + 4 * i, &v, 4);
    }
}

#if defined(__x86_64__) && defined(__SSE2__)
__attribute__((target("avx2"))) void SwapWordsAvx2(unsigned char* dst, const unsigned char* src, size_t count) {
    const __m256i mask = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12,  //
                                          3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * i + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i), _mm256_shuffle_epi8(a, mask));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i + 32), _mm256_shuffle_epi8(b, mask));
    }
    SwapWordsScalar(dst + 4 * i, src + 4 * i, count - i);
}

void SwapWordsSse2(unsigned char* dst, const unsigned char* src, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));  // bytes within 16-bit halves
        v = _mm_shufflelo_epi16(v, 0xB1);                               // halves within words
        v = _mm_shufflehi_epi16(v, 0xB1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), v);
    }
    SwapWordsScalar(dst + 4 * i, src + 4 * i, count - i);
}
#endif

void SwapWordsCopy(unsigned char* dst, const unsigned char* src, size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
#if defined(__x86_64__) && defined(__SSE2__)
        static const bool avx2 = __builtin_cpu_supports("avx2");
        if (avx2)
            SwapWordsAvx2(dst, src, count);
        else
            SwapWordsSse2(dst, src, count);
#else
        SwapWordsScalar(dst, src, count);
#endif
    } else if (dst != src) {
        std::memcpy(dst, src, 4 * count);
    }
}

// Converts count 32-bit words between host and network order in place.
void SwapWordsInPlace(unsigned char* p, size_t count) { SwapWordsCopy(p, p, count); }

int Lookup(const char* name, const char* const* table, int size) {
    if (!name) return size;
    int low = 0, high = size - 1;
    while (low <= high) {
        int mid = low + (high - low) / 2;
        // strcmp compares as unsigned char: byte-wise order.
        int c = std::strcmp(name, table[mid]);
        if (c == 0) return mid;
        if (c < 0)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return size;
}

// K of a transfer of n bytes: 0 when the transfer travels raw.
inline size_t ChunkFor(int compressBufferSize, size_t n) {
    if (compressBufferSize <= 0 || size_t(compressBufferSize) >= n) return 0;
    return size_t(compressBufferSize);
}

}  // namespace

// zlib streams and scratch buffers, kept across transfers so that small
// compressed transfers do not set up a new stream each time.
struct LinkStreamCodec {
    z_stream inf{};
    bool infReady = false;
    z_stream def{};
    bool defReady = false;
    std::unique_ptr<unsigned char[]> in;   // compressed input of inflate
    size_t inSize = 0;
    std::unique_ptr<unsigned char[]> out;  // compressed output of deflate
    size_t outSize = 0;
    std::unique_ptr<unsigned char[]> swap;  // int words in network order (writing)
    size_t swapSize = 0;

    ~LinkStreamCodec() {
        if (infReady) inflateEnd(&inf);
        if (defReady) deflateEnd(&def);
    }

    static unsigned char* Ensure(std::unique_ptr<unsigned char[]>& buf, size_t& have, size_t want) {
        if (have < want) {
            buf.reset();
            have = 0;
            buf.reset(new (std::nothrow) unsigned char[want]);
            if (!buf) return nullptr;
            have = want;
        }
        return buf.get();
    }

    bool StartInflate() {
        if (!infReady) {
            inf = z_stream{};
            if (inflateInit(&inf) != Z_OK) return false;
            infReady = true;
            return true;
        }
        return inflateReset(&inf) == Z_OK;
    }

    bool StartDeflate() {
        if (!defReady) {
            def = z_stream{};
            if (deflateInit(&def, 1) != Z_OK) return false;
            defReady = true;
            return true;
        }
        return deflateReset(&def) == Z_OK;
    }
};

namespace {

// Reading side of one compressed transfer: receives K-byte chunks (in
// pieces of at most kScratchLimit bytes, so a huge K needs no huge buffer)
// and inflates them into the destination.
class InflateReader {
public:
    InflateReader(LinkStreamCodec& codec, int handle, size_t chunk)
        : c_(codec), z_(codec.inf), handle_(handle), chunk_(chunk) {}

    bool Begin() {
        scratchSize_ = std::min(chunk_, kScratchLimit);
        scratch_ = LinkStreamCodec::Ensure(c_.in, c_.inSize, scratchSize_);
        if (!scratch_ || !c_.StartInflate()) return false;
        z_.next_in = scratch_;
        z_.avail_in = 0;
        return true;
    }

    // Produces exactly m more bytes of output into out.
    bool Produce(unsigned char* out, size_t m) {
        while (m > 0) {
            if (ended_) return false;  // the stream ended before n bytes
            if (z_.avail_in == 0 && !Refill()) return false;
            uInt piece = uInt(std::min(m, kMaxSyscall));
            z_.next_out = out;
            z_.avail_out = piece;
            int r = inflate(&z_, Z_NO_FLUSH);
            size_t made = piece - z_.avail_out;
            out += made;
            m -= made;
            if (r == Z_STREAM_END) {
                ended_ = true;
            } else if (r == Z_BUF_ERROR) {
                if (z_.avail_in != 0) return false;  // no progress with input and room: give up
            } else if (r != Z_OK) {
                return false;  // corrupt data, dictionary request, memory
            }
        }
        return true;
    }

    // Inflates on (with no room for output) up to the stream end, then drops
    // the rest of the last chunk.
    bool Finish() {
        unsigned char dummy = 0;
        while (!ended_) {
            if (z_.avail_in == 0 && !Refill()) return false;
            z_.next_out = &dummy;
            z_.avail_out = 0;
            int r = inflate(&z_, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                ended_ = true;
            } else if (r == Z_BUF_ERROR) {
                if (z_.avail_in != 0) return false;  // more output than expected
            } else if (r != Z_OK) {
                return false;
            }
        }
        while (chunkLeft_ > 0) {
            size_t m = std::min(chunkLeft_, scratchSize_);
            if (!LinkStream::RawRead(handle_, scratch_, m)) return false;
            chunkLeft_ -= m;
        }
        return true;
    }

private:
    bool Refill() {
        if (chunkLeft_ == 0) chunkLeft_ = chunk_;
        size_t m = std::min(chunkLeft_, scratchSize_);
        if (!LinkStream::RawRead(handle_, scratch_, m)) return false;
        chunkLeft_ -= m;
        z_.next_in = scratch_;
        z_.avail_in = uInt(m);
        return true;
    }

    LinkStreamCodec& c_;
    z_stream& z_;
    int handle_;
    size_t chunk_;
    unsigned char* scratch_ = nullptr;
    size_t scratchSize_ = 0;
    size_t chunkLeft_ = 0;  // bytes of the current chunk not yet received
    bool ended_ = false;
};

// Writing side of one compressed transfer: deflate level 1 into K-byte
// chunks (sent in pieces of at most kScratchLimit bytes); the last partly
// filled chunk is padded with zero bytes and sent whole.
class DeflateWriter {
public:
    DeflateWriter(LinkStreamCodec& codec, int handle, size_t chunk)
        : c_(codec), z_(codec.def), handle_(handle), chunk_(chunk) {}

    bool Begin() {
        cap_ = std::min(chunk_, kScratchLimit);
        out_ = LinkStreamCodec::Ensure(c_.out, c_.outSize, cap_);
        if (!out_ || !c_.StartDeflate()) return false;
        SetOut();
        return true;
    }

    bool Feed(const unsigned char* p, size_t m) {
        while (m > 0) {
            uInt piece = uInt(std::min(m, kMaxSyscall));
            z_.next_in = const_cast<Bytef*>(p);
            z_.avail_in = piece;
            while (z_.avail_in > 0) {
                if (z_.avail_out == 0 && !SendPiece()) return false;
                if (deflate(&z_, Z_NO_FLUSH) == Z_STREAM_ERROR) return false;
            }
            p += piece;
            m -= piece;
        }
        return true;
    }

    bool Finish() {
        for (;;) {
            if (z_.avail_out == 0 && !SendPiece()) return false;
            int r = deflate(&z_, Z_FINISH);
            if (r == Z_STREAM_END) break;
            if (r != Z_OK && !(r == Z_BUF_ERROR && z_.avail_out == 0)) return false;
        }
        size_t pending = pieceCap_ - z_.avail_out;
        if (pending > 0) {
            std::memset(out_ + pending, 0, pieceCap_ - pending);
            z_.avail_out = 0;
            if (!SendPiece()) return false;
        }
        if (chunkUsed_ != 0) {
            std::memset(out_, 0, cap_);
            while (chunkUsed_ != 0) {
                size_t m = std::min(cap_, chunk_ - chunkUsed_);
                if (!LinkStream::RawWrite(handle_, out_, m)) return false;
                chunkUsed_ += m;
                if (chunkUsed_ == chunk_) chunkUsed_ = 0;
            }
        }
        return true;
    }

private:
    void SetOut() {
        pieceCap_ = std::min(cap_, chunk_ - chunkUsed_);
        z_.next_out = out_;
        z_.avail_out = uInt(pieceCap_);
    }

    // Sends the filled part of the output piece (all of it unless finishing).
    bool SendPiece() {
        size_t bytes = pieceCap_ - z_.avail_out;
        if (!LinkStream::RawWrite(handle_, out_, bytes)) return false;
        chunkUsed_ += bytes;
        if (chunkUsed_ == chunk_) chunkUsed_ = 0;
        SetOut();
        return true;
    }

    LinkStreamCodec& c_;
    z_stream& z_;
    int handle_;
    size_t chunk_;
    unsigned char* out_ = nullptr;
    size_t cap_ = 0;
    size_t pieceCap_ = 0;
    size_t chunkUsed_ = 0;  // bytes of the current chunk already sent
};

}  // namespace

// ---------------------------------------------------------------- lifecycle

LinkStream::LinkStream() {
    const char* env = std::getenv("COMPRESSBUFFERSIZE");
    int k = env ? std::atoi(env) : 0;
    compressBufferSize = k < 0 ? 0 : k;
}

LinkStream::~LinkStream() {
    std::free(peerHostName);
    peerHostName = nullptr;
    delete codec_;
}

void LinkStream::SetPeerHostName(const char* name) {
    std::free(peerHostName);
    peerHostName = name ? strdup(name) : nullptr;
}

LinkStreamCodec* LinkStream::Codec() {
    if (!codec_) codec_ = new (std::nothrow) LinkStreamCodec();
    return codec_;
}

int LinkStream::LookupCommand(const char* name) { return Lookup(name, kCommandNames, kNumCommands); }
int LinkStream::LookupToken(const char* name) { return Lookup(name, kTokenNames, kNumTokens); }

// ---------------------------------------------------------------- raw transfers

int LinkStream::LastZeroResultRun() { return g_lastZeroRun; }

namespace {
// The loop shared by raw reads and writes: whole calls until n bytes are
// done; a negative result fails, a zero one is retried until the 1001st in a
// row.
template <typename Byte, typename Call>
bool TransferLoop(Byte* p, size_t n, Call call) {
    int zeros = 0;
    while (n > 0) {
        ssize_t r = call(p, std::min(n, kMaxSyscall));
        if (r < 0) return false;
        if (r == 0) {
            ++zeros;
            if (zeros > g_lastZeroRun) g_lastZeroRun = zeros;
            if (zeros > kMaxZeroResults) return false;
            continue;
        }
        zeros = 0;
        p += r;
        n -= size_t(r);
    }
    return true;
}
}  // namespace

bool LinkStream::RawRead(int handle, void* buffer, size_t n) {
    g_lastZeroRun = 0;
    if (handle < 0 || (!buffer && n > 0)) return false;
    if (n == 0) return true;
    const bool socket = platform::IsSocketHandle(handle);
    return TransferLoop(static_cast<unsigned char*>(buffer), n, [&](unsigned char* p, size_t want) {
        return socket ? platform::SocketReceive(handle, p, want) : platform::FileRead(handle, p, want);
    });
}

bool LinkStream::RawWrite(int handle, const void* buffer, size_t n) {
    g_lastZeroRun = 0;
    if (handle < 0 || (!buffer && n > 0)) return false;
    if (n == 0) return true;
    const bool socket = platform::IsSocketHandle(handle);
    return TransferLoop(static_cast<const unsigned char*>(buffer), n, [&](const unsigned char* p, size_t want) {
        return socket ? platform::SocketSend(handle, p, want) : platform::FileWrite(handle, p, want);
    });
}

bool LinkStream::ReadTransfer(void* buffer, size_t n) {
    g_lastZeroRun = 0;
    if (readHandle < 0 || (!buffer && n > 0)) return false;
    size_t k = ChunkFor(compressBufferSize, n);
    if (k == 0) return RawRead(readHandle, buffer, n);
    LinkStreamCodec* c = Codec();
    if (!c) return false;
    InflateReader reader(*c, readHandle, k);
    return reader.Begin() && reader.Produce(static_cast<unsigned char*>(buffer), n) && reader.Finish();
}

bool LinkStream::WriteTransfer(const void* buffer, size_t n) {
    g_lastZeroRun = 0;
    if (writeHandle < 0 || (!buffer && n > 0)) return false;
    size_t k = ChunkFor(compressBufferSize, n);
    if (k == 0) return RawWrite(writeHandle, buffer, n);
    LinkStreamCodec* c = Codec();
    if (!c) return false;
    DeflateWriter writer(*c, writeHandle, k);
    return writer.Begin() && writer.Feed(static_cast<const unsigned char*>(buffer), n) && writer.Finish();
}

bool LinkStream::WriteInt(int value) {
    uint32_t v = ToNet(uint32_t(value));
    return WriteTransfer(&v, 4);
}

bool LinkStream::ReadNetInt(int& value) {
    uint32_t v = 0;
    if (!ReadTransfer(&v, 4)) return false;
    value = int(ToNet(v));
    return true;
}

// ---------------------------------------------------------------- names

bool LinkStream::ScanForKey(const char* key, size_t keyLength) {
    char window[16];
    if (!ReadTransfer(window, keyLength)) return false;
    while (std::memcmp(window, key, keyLength) != 0) {
        std::memmove(window, window + 1, keyLength - 1);
        if (!ReadTransfer(window + keyLength - 1, 1)) return false;
    }
    return true;
}

int LinkStream::ReadName(const char* key, size_t keyLength, const char* const* table, int tableSize,
                         bool isToken) {
    if (!ScanForKey(key, keyLength)) {
        if (isToken) Message("ERROR in ReadToken: Reading token key\n");
        return -1;
    }
    int length = 0;
    if (!ReadNetInt(length)) {
        Message(isToken ? "ERROR in ReadToken: Reading token size\n" : "ERROR in ReadCommand: Reading command size\n");
        return -1;
    }
    if (length > kMaxNameLength) {
        Message(isToken ? "ERROR in ReadToken: Token size too large\n" : "ERROR in ReadCommand: Command size too large\n");
        return -1;
    }
    char name[kMaxNameLength + 1] = {};  // always terminated, whatever arrives
    if (length < 0 || !ReadTransfer(name, size_t(length))) {
        Message(isToken ? "ERROR in ReadToken: Reading token\n" : "ERROR in ReadCommand: Reading command\n");
        return -1;
    }
    return Lookup(name, table, tableSize);
}

int LinkStream::ReadCommand() {
    return ReadName(kCommandKey, kCommandKeyLength, kCommandNames, kNumCommands, false);
}

int LinkStream::ReadToken() { return ReadName(kTokenKey, kTokenKeyLength, kTokenNames, kNumTokens, true); }

bool LinkStream::WriteName(const char* key, size_t keyLength, const char* name, bool isToken) {
    if (!WriteTransfer(key, keyLength)) {
        Message(isToken ? "ERROR in WriteToken: Writing token key\n" : "ERROR in WriteCommand: Writing command key\n");
        return false;
    }
    size_t length = std::strlen(name) + 1;
    if (!WriteInt(int(length))) {
        Message(isToken ? "ERROR in WriteToken: Writing token size\n" : "ERROR in WriteCommand: Writing command size\n");
        return false;
    }
    if (!WriteTransfer(name, length)) {
        Message(isToken ? "ERROR in WriteToken: Writing token\n" : "ERROR in WriteCommand: Writing command\n");
        return false;
    }
    return true;
}

bool LinkStream::WriteCommand(int index) {
    if (index < 0 || index >= kNumCommands) return false;
    return WriteName(kCommandKey, kCommandKeyLength, kCommandNames[index], false);
}

bool LinkStream::WriteToken(int index) {
    if (index < 0 || index >= kNumTokens) return false;
    return WriteName(kTokenKey, kTokenKeyLength, kTokenNames[index], true);
}

// ---------------------------------------------------------------- data blocks

int LinkStream::ReadDataBlockHeader(int expectedSize) {
    int remaining = 0;
    if (!ReadNetInt(remaining)) {
        Message("ERROR in ReadDataBlockHeader: Reading number of remaining blocks\n");
        return -1;
    }
    int size = 0;
    if (!ReadNetInt(size)) {
        Message("ERROR in ReadDataBlockHeader: Reading block size\n");
        return -1;
    }
    if (size != expectedSize) {
        Message("ERROR in ReadDataBlockHeader: Data available not what expected\n");
        return -1;
    }
    return remaining;
}

int LinkStream::ReadDataBlock(void* buffer, int size) {
    if (size < 0 || (!buffer && size > 0)) {
        Message("ERROR in ReadDataBlock: Reading data\n");
        return -1;
    }
    int remaining = ReadDataBlockHeader(size);
    if (remaining < 0) return remaining;
    if (!ReadTransfer(buffer, size_t(size))) {
        Message("ERROR in ReadDataBlock: Reading data\n");
        return -1;
    }
    return remaining;
}

int LinkStream::ReadIntDataBlock(void* buffer, int count) {
    if (count < 0 || count > INT_MAX / 4 || (!buffer && count > 0)) {
        Message("ERROR in ReadIntDataBlock: Reading data\n");
        return -1;
    }
    int remaining = ReadDataBlockHeader(4 * count);
    if (remaining < 0) return remaining;
    if (!ReadWords(buffer, size_t(count))) {
        Message("ERROR in ReadIntDataBlock: Reading data\n");
        return -1;
    }
    return remaining;
}

// One transfer of count words, converted to host order piece by piece while
// each piece is still in the cache (one pass over memory, not two).
bool LinkStream::ReadWords(void* buffer, size_t count) {
    g_lastZeroRun = 0;
    const size_t n = 4 * count;
    auto* p = static_cast<unsigned char*>(buffer);
    if (readHandle < 0 || (!buffer && n > 0)) return false;
    size_t k = ChunkFor(compressBufferSize, n);
    if (k == 0) {
        if (n == 0) return true;
        for (size_t done = 0; done < n;) {
            size_t m = std::min(kWordPiece, n - done);
            if (!RawRead(readHandle, p + done, m)) return false;
            SwapWordsInPlace(p + done, m / 4);
            done += m;
        }
        return true;
    }
    LinkStreamCodec* c = Codec();
    if (!c) return false;
    InflateReader reader(*c, readHandle, k);
    if (!reader.Begin()) return false;
    for (size_t done = 0; done < n;) {
        size_t m = std::min(kWordPiece, n - done);
        if (!reader.Produce(p + done, m)) return false;
        SwapWordsInPlace(p + done, m / 4);
        done += m;
    }
    return reader.Finish();
}

bool LinkStream::ReadInt(int& value) {
    int v = 0;
    if (ReadIntDataBlock(&v, 1) < 0) return false;
    value = v;
    return true;
}

bool LinkStream::ReadFloat(float& value) {
    float v = 0;
    if (ReadIntDataBlock(&v, 1) < 0) return false;
    value = v;
    return true;
}

bool LinkStream::ReadString(std::string& out) {
    out.clear();
    int n = 0;
    if (ReadIntDataBlock(&n, 1) < 0) return false;
    if (n < 1) return false;  // a text carries at least its zero byte
    if (ReadDataBlockHeader(n) < 0) return false;

    // The payload arrives in pieces that grow with what has arrived, so the
    // buffer never runs ahead of the bytes the peer really sent.
    const size_t total = size_t(n);
    std::string text;
    size_t got = 0;
    bool ok = true;
    size_t k = ChunkFor(compressBufferSize, total);
    if (k == 0) {
        while (ok && got < total) {
            size_t piece = std::min(total - got, std::max(kStringPiece, got));
            text.resize(got + piece);
            ok = RawRead(readHandle, text.data() + got, piece);
            got += piece;
        }
    } else {
        LinkStreamCodec* c = Codec();
        std::unique_ptr<InflateReader> reader;
        ok = c != nullptr;
        if (ok) {
            reader = std::make_unique<InflateReader>(*c, readHandle, k);
            ok = reader->Begin();
        }
        while (ok && got < total) {
            size_t piece = std::min(total - got, std::max(kStringPiece, got));
            text.resize(got + piece);
            ok = reader->Produce(reinterpret_cast<unsigned char*>(text.data()) + got, piece);
            got += piece;
        }
        if (ok) ok = reader->Finish();
    }
    if (!ok) {
        Message("ERROR in ReadDataBlock: Reading data\n");
        return false;
    }
    out.assign(text.c_str());  // up to the first zero byte
    return true;
}

bool LinkStream::WriteDataBlockHeader(int remaining, int size) {
    if (writeHandle < 0 || remaining < 0 || size < 0) return false;
    if (!WriteInt(remaining)) {
        Message("ERROR in WriteDataBlockHeader: Writing number of remaining blocks\n");
        return false;
    }
    if (!WriteInt(size)) {
        Message("ERROR in WriteDataBlockHeader: Writing size of block\n");
        return false;
    }
    return true;
}

bool LinkStream::WriteDataBlock(const void* bytes, int size, int remaining) {
    if (writeHandle >= 0 && remaining >= 0 && !bytes && size > 0) {
        Message("ERROR in WriteDataBlock: Writing data\n");
        return false;
    }
    if (!WriteDataBlockHeader(remaining, size)) return false;
    if (!WriteTransfer(bytes, size_t(size))) {
        Message("ERROR in WriteDataBlock: Writing data\n");
        return false;
    }
    return true;
}

bool LinkStream::WriteIntDataBlock(const void* values, int count, int remaining) {
    if (count < 0) return false;  // refused like a negative header size
    if (writeHandle >= 0 && remaining >= 0 && (count > INT_MAX / 4 || (!values && count > 0))) {
        Message("ERROR in WriteIntDataBlock: Writing data block\n");
        return false;
    }
    if (!WriteDataBlockHeader(remaining, 4 * count)) return false;

    const size_t n = 4 * size_t(count);
    const auto* src = static_cast<const unsigned char*>(values);
    bool ok = true;
    if (n == 0) {
        ok = WriteTransfer(src, 0);
    } else if (count == 1) {
        uint32_t v;
        std::memcpy(&v, src, 4);
        v = ToNet(v);
        ok = WriteTransfer(&v, 4);
    } else {
        // Convert in bounded pieces into scratch; the payload is still one
        // transfer (one zlib stream when compressed).
        LinkStreamCodec* c = Codec();
        size_t pieceBytes = std::min(n, kScratchLimit);
        unsigned char* swap = c ? LinkStreamCodec::Ensure(c->swap, c->swapSize, pieceBytes) : nullptr;
        size_t k = ChunkFor(compressBufferSize, n);
        std::unique_ptr<DeflateWriter> writer;
        ok = swap != nullptr;
        if (ok && k != 0) {
            writer = std::make_unique<DeflateWriter>(*c, writeHandle, k);
            ok = writer->Begin();
        }
        for (size_t done = 0; ok && done < n;) {
            size_t m = std::min(pieceBytes, n - done);
            SwapWordsCopy(swap, src + done, m / 4);
            ok = writer ? writer->Feed(swap, m) : RawWrite(writeHandle, swap, m);
            done += m;
        }
        if (ok && writer) ok = writer->Finish();
    }
    if (!ok) {
        Message("ERROR in WriteIntDataBlock: Writing data block\n");
        return false;
    }
    return true;
}

bool LinkStream::WriteString(const char* text, int n) {
    if (!text) return false;
    size_t length = std::strlen(text) + 1;
    if (length > size_t(INT_MAX)) return false;
    int len = int(length);
    return WriteIntDataBlock(&len, 1, n - 1) && WriteDataBlock(text, len, n - 2);
}

// ---------------------------------------------------------------- brackets and helpers

bool LinkStream::BeginParameters() {
    if (!WriteCommand(Cmd::SET_PARAMETRS)) return false;
    inSetParameters = true;
    return true;
}

bool LinkStream::EndParameters() {
    if (!WriteToken(Tok::DONE)) return false;
    inSetParameters = false;
    return true;
}

bool LinkStream::BeginLoadGraphic() {
    if (!WriteCommand(Cmd::LOAD_GRAPHIC)) return false;
    inLoadGraphic = true;
    return true;
}

bool LinkStream::EndLoadGraphic() {
    if (!WriteToken(Tok::DONE)) return false;
    inLoadGraphic = false;
    return true;
}

bool LinkStream::WriteIntToken(int token, int value, bool wrapped) {
    if (wrapped && !BeginParameters()) return false;
    if (!WriteToken(token) || !WriteIntDataBlock(&value, 1, 0)) return false;
    return !wrapped || EndParameters();
}

bool LinkStream::WriteFloatToken(int token, float value, bool wrapped) {
    if (wrapped && !BeginParameters()) return false;
    if (!WriteToken(token) || !WriteIntDataBlock(&value, 1, 0)) return false;
    return !wrapped || EndParameters();
}

bool LinkStream::WriteStringToken(int token, const char* text, bool wrapped) {
    if (!text) return false;
    if (wrapped && !BeginParameters()) return false;
    if (!WriteToken(token) || !WriteString(text, 2)) return false;
    return !wrapped || EndParameters();
}

bool LinkStream::WriteCameraToken(const char* const texts[7], bool wrapped) {
    if (!texts) return false;
    for (int i = 0; i < 7; ++i)
        if (!texts[i]) return false;
    if (wrapped && !BeginParameters()) return false;
    if (!WriteToken(Tok::CAMERA)) return false;
    for (int i = 0; i < 7; ++i)
        if (!WriteString(texts[i], 2)) return false;
    return !wrapped || EndParameters();
}

bool LinkStream::SendCalcDone(float value) {
    return WriteCommand(Cmd::CALC_DONE) && WriteIntDataBlock(&value, 1, 0);
}

bool LinkStream::SendCommand(int command) { return WriteCommand(command); }

bool LinkStream::SendIntCommand(int command, int value) {
    return WriteCommand(command) && WriteIntDataBlock(&value, 1, 0);
}

bool LinkStream::SendStringCommand(int command, const char* text) {
    if (!text) return false;
    return WriteCommand(command) && WriteString(text, 2);
}

bool LinkStream::SendGetCamera(const char* name, float& scale, float& defScale, float pivot[3], float pan[2],
                               float quaternion[4]) {
    if (!SendStringCommand(Cmd::GET_CAMERA, name)) return false;
    float s = 0, d = 0, pv[3] = {}, pn[2] = {}, q[4] = {};
    if (ReadIntDataBlock(&s, 1) < 0 || ReadIntDataBlock(&d, 1) < 0 || ReadIntDataBlock(pv, 3) < 0 ||
        ReadIntDataBlock(pn, 2) < 0 || ReadIntDataBlock(q, 4) < 0)
        return false;
    scale = s;
    defScale = d;
    std::copy(pv, pv + 3, pivot);
    std::copy(pn, pn + 2, pan);
    std::copy(q, q + 4, quaternion);
    return true;
}
