// A hostile or broken peer: streams cut at every length, garbage and
// mutated streams, corrupt and wrongly sized zlib streams, closed and
// failing handles, and the rule that ends a read after 1001 zero-length
// results in a row.  Everything must fail cleanly (the suite runs under
// AddressSanitizer) and never hang.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "LinkStreamTestSupport.h"

using linktest::Channel;
using linktest::MemReader;
using linktest::NetInt;
using linktest::RandomBytes;
using linktest::Transport;
using linktest::WireBytes;
using C = LinkStream::Cmd;
using T = LinkStream::Tok;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

// ---------------------------------------------------------------- a multi-item stream

std::vector<float> Vertices() {
    std::vector<float> v(30);
    for (size_t i = 0; i < v.size(); ++i) v[i] = float(i) * 0.25f - 3.0f;
    return v;
}
std::vector<int> Faces() {
    std::vector<int> v;
    for (int i = 0; i < 10; ++i) v.insert(v.end(), {3, i, i + 1, i + 2});
    return v;
}
const std::string kLabel = "label text " + std::string(60, 'L');

bool WriteScene(LinkStream& s) {
    const char* camera[7] = {"cam", "1", "1", "0 0 0", "0 0", "1 0 0 0", "0 0 0"};
    auto v = Vertices();
    auto f = Faces();
    int nv = int(v.size() / 3), nf = int(f.size());
    return s.SendStringCommand(C::NEW_GRAPHIC, "object one") && s.BeginLoadGraphic() && s.WriteToken(T::VERTICES) &&
           s.WriteIntDataBlock(&nv, 1, 1) && s.WriteIntDataBlock(v.data(), int(v.size()), 0) &&
           s.WriteToken(T::FACES) && s.WriteIntDataBlock(&nf, 1, 1) && s.WriteIntDataBlock(f.data(), nf, 0) &&
           s.WriteToken(T::LABEL) && s.WriteDataBlock(kLabel.data(), int(kLabel.size()), 0) && s.EndLoadGraphic() &&
           s.SendCalcDone(1.5f) && s.WriteCameraToken(camera, true);
}

// Reads the scene back; true only when every item arrived intact.
bool ReadScene(LinkStream& s) {
    std::string text;
    if (s.ReadCommand() != C::NEW_GRAPHIC || !s.ReadString(text) || text != "object one") return false;
    if (s.ReadCommand() != C::LOAD_GRAPHIC || s.ReadToken() != T::VERTICES) return false;
    int nv = 0;
    if (s.ReadIntDataBlock(&nv, 1) != 1 || nv != 10) return false;
    std::vector<float> v(30);
    if (s.ReadIntDataBlock(v.data(), 30) != 0 || v != Vertices()) return false;
    int nf = 0;
    if (s.ReadToken() != T::FACES || s.ReadIntDataBlock(&nf, 1) != 1 || nf != 40) return false;
    std::vector<int> f(40);
    if (s.ReadIntDataBlock(f.data(), 40) != 0 || f != Faces()) return false;
    std::string label(kLabel.size(), '\0');
    if (s.ReadToken() != T::LABEL || s.ReadDataBlock(label.data(), int(label.size())) != 0 || label != kLabel)
        return false;
    if (s.ReadToken() != T::DONE || s.ReadCommand() != C::CALC_DONE) return false;
    float calc = 0;
    if (!s.ReadFloat(calc) || calc != 1.5f) return false;
    if (s.ReadCommand() != C::SET_PARAMETRS || s.ReadToken() != T::CAMERA) return false;
    const char* camera[7] = {"cam", "1", "1", "0 0 0", "0 0", "1 0 0 0", "0 0 0"};
    for (const char* c : camera)
        if (!s.ReadString(text) || text != c) return false;
    return s.ReadToken() == T::DONE;
}

class LinkCutStream : public ::testing::TestWithParam<int> {};

TEST_P(LinkCutStream, EveryPrefixFailsCleanly) {
    const int k = GetParam();
    bool ok = false;
    const std::string wire = WireBytes(k, WriteScene, &ok);
    ASSERT_TRUE(ok);
    {
        MemReader whole(wire, k);
        EXPECT_TRUE(ReadScene(whole.stream));
    }
    for (size_t cut = 0; cut < wire.size(); ++cut) {
        MemReader r(wire.substr(0, cut), k);
        CaptureStderr();
        bool read = ReadScene(r.stream);
        std::string err = GetCapturedStderr();
        EXPECT_FALSE(read) << "cut at " << cut;
        if (read) break;
    }
}

TEST_P(LinkCutStream, EveryPrefixOverASocketFailsCleanly) {
    // The same over a socket pair whose writer sends a prefix and closes:
    // recv then returns 0 for ever and the 1001-zero rule ends each read.
    const int k = GetParam();
    bool ok = false;
    const std::string wire = WireBytes(k, WriteScene, &ok);
    ASSERT_TRUE(ok);
    for (size_t cut = 0; cut < wire.size(); cut += 7) {
        Channel ch(Transport::Socket);
        ASSERT_TRUE(LinkStream::RawWrite(ch.writeFd, wire.data(), cut));
        ch.CloseWrite();
        LinkStream s;
        s.compressBufferSize = k;
        s.readHandle = ch.readFd;
        CaptureStderr();
        bool read = ReadScene(s);
        GetCapturedStderr();
        EXPECT_FALSE(read) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Link, LinkCutStream, ::testing::Values(0, 5, 64, 1024),
                         [](const ::testing::TestParamInfo<int>& info) { return "K" + std::to_string(info.param); });

// ---------------------------------------------------------------- garbage

// Runs reads of every kind over the stream until one fails at the end of
// the input (bounded either way).
void ReadAnything(LinkStream& s, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<char> buf(70000);
    for (int i = 0; i < 64; ++i) {
        int r = 0;
        switch (rng() % 6) {
            case 0: r = s.ReadCommand(); break;
            case 1: r = s.ReadToken(); break;
            case 2: r = s.ReadDataBlockHeader(int(rng() % 64)); break;
            case 3: r = s.ReadDataBlock(buf.data(), int(rng() % 2000)); break;
            case 4: r = s.ReadIntDataBlock(buf.data(), int(rng() % 500)); break;
            case 5: {
                std::string text;
                r = s.ReadString(text) ? 0 : -1;
                break;
            }
        }
        // At the end of the input every further read fails: stop there.
        if (r < 0 && LinkStream::LastZeroResultRun() > 1000) return;
    }
}

class LinkGarbage : public ::testing::TestWithParam<int> {};

TEST_P(LinkGarbage, RandomBytes) {
    const int k = GetParam();
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        std::string bytes = RandomBytes(rng() % 3000, seed);
        // Sprinkle keys and plausible sizes so that reads get past the scan.
        for (int j = 0; j < 8 && !bytes.empty(); ++j) {
            size_t at = rng() % bytes.size();
            std::string piece = (rng() % 2 ? "vkoTokenKey" : "vkoCommandKey") + NetInt(int(rng() % 80) - 8);
            bytes.insert(at, piece);
        }
        MemReader r(bytes, k);
        CaptureStderr();
        ReadAnything(r.stream, seed);
        GetCapturedStderr();
    }
}

TEST_P(LinkGarbage, MutatedValidStreams) {
    const int k = GetParam();
    bool ok = false;
    const std::string wire = WireBytes(k, WriteScene, &ok);
    ASSERT_TRUE(ok);
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        std::mt19937 rng(seed);
        std::string bytes = wire;
        int flips = 1 + int(rng() % 4);
        for (int j = 0; j < flips; ++j) bytes[rng() % bytes.size()] = char(rng());
        MemReader r(bytes, k);
        CaptureStderr();
        ReadScene(r.stream);  // may succeed when only padding changed
        GetCapturedStderr();
    }
}

INSTANTIATE_TEST_SUITE_P(Link, LinkGarbage, ::testing::Values(0, 16, 1024),
                         [](const ::testing::TestParamInfo<int>& info) { return "K" + std::to_string(info.param); });

// ---------------------------------------------------------------- broken zlib streams

struct ZlibCase {
    const char* what;
    std::function<std::string()> stream;  // written with K = 16
    bool succeeds;
};

std::string Header(int size) { return NetInt(0) + NetInt(size); }
std::string Compressed(const std::string& payload, int k = 16) {
    return WireBytes(k, [&](LinkStream& s) { return s.WriteTransfer(payload.data(), payload.size()); });
}
const std::string kPayload = RandomBytes(100, 100) + std::string(100, 'a');

// How many bytes of z the zlib stream takes (the rest is padding).
size_t ZlibUsed(std::string z, size_t produced) {
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(z.data());
    zs.avail_in = uInt(z.size());
    std::string out(produced, '\0');
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    int r = inflate(&zs, Z_FINISH);
    size_t used = z.size() - zs.avail_in;
    inflateEnd(&zs);
    EXPECT_EQ(r, Z_STREAM_END);
    return used;
}

class LinkZlib : public ::testing::TestWithParam<ZlibCase> {};

TEST_P(LinkZlib, ReadDataBlock) {
    const ZlibCase& c = GetParam();
    MemReader r(c.stream(), 16);
    std::string got(kPayload.size(), '\0');
    CaptureStderr();
    int result = r.stream.ReadDataBlock(got.data(), int(got.size()));
    std::string err = GetCapturedStderr();
    if (c.succeeds) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(got, kPayload);
        EXPECT_EQ(err, "");
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(err, "ERROR in ReadDataBlock: Reading data\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Link, LinkZlib,
    ::testing::Values(
        ZlibCase{"intact", [] { return Header(200) + Compressed(kPayload); }, true},
        ZlibCase{"padding_changed",
                 [] {
                     std::string z = Compressed(kPayload);
                     for (size_t i = ZlibUsed(z, kPayload.size()); i < z.size(); ++i) z[i] = '\xa5';
                     return Header(200) + z;
                 },
                 true},
        ZlibCase{"stream_ends_early", [] { return Header(200) + Compressed(kPayload.substr(0, 50)); }, false},
        ZlibCase{"stream_too_long", [] { return Header(200) + Compressed(kPayload + kPayload); }, false},
        ZlibCase{"bad_zlib_header",
                 [] {
                     std::string z = Compressed(kPayload);
                     z[1] = char(z[1] ^ 0x01);
                     return Header(200) + z;
                 },
                 false},
        ZlibCase{"corrupt_data",
                 [] {
                     std::string z = Compressed(kPayload);
                     z[40] = char(z[40] ^ 0x5a);
                     return Header(200) + z;
                 },
                 false},
        ZlibCase{"bad_checksum",
                 [] {
                     // The adler32 is the last byte of the zlib stream.
                     std::string z = Compressed(kPayload);
                     size_t used = ZlibUsed(z, kPayload.size());
                     z[used - 1] = char(z[used - 1] ^ 0x01);
                     return Header(200) + z;
                 },
                 false},
        ZlibCase{"last_chunk_missing",
                 [] {
                     std::string z = Compressed(kPayload);
                     return Header(200) + z.substr(0, z.size() - 16);
                 },
                 false},
        ZlibCase{"last_chunk_short",
                 [] {
                     std::string z = Compressed(kPayload);
                     return Header(200) + z.substr(0, z.size() - 1);
                 },
                 false},
        ZlibCase{"not_zlib_at_all", [] { return Header(200) + RandomBytes(400, 5); }, false},
        ZlibCase{"nothing_after_header", [] { return Header(200); }, false}),
    [](const ::testing::TestParamInfo<ZlibCase>& info) { return std::string(info.param.what); });

TEST(LinkZlib, CompressedStringsFailCleanly) {
    const std::string text(300, 't');
    // Length block and header raw (K = 16 >= 4), text compressed.
    auto stream = [&](const std::string& compressed, int n) {
        return NetInt(1) + NetInt(4) + NetInt(n) + NetInt(0) + NetInt(n) + compressed;
    };
    const std::string good = Compressed(text + std::string(1, '\0'));
    struct Case {
        std::string bytes;
        bool ok;
    } cases[] = {
        {stream(good, 301), true},
        {stream(good.substr(0, good.size() - 16), 301), false},
        {stream(good, 400), false},  // stream ends early
        {stream(good, 200), false},  // stream longer than the text
        {stream(Compressed(std::string(2000000, 'x')), 0x7fffffff), false},  // bomb-like, still short of n
    };
    for (const Case& c : cases) {
        MemReader r(c.bytes, 16);
        std::string out;
        CaptureStderr();
        EXPECT_EQ(r.stream.ReadString(out), c.ok);
        std::string err = GetCapturedStderr();
        if (c.ok) {
            EXPECT_EQ(out, text);
        } else {
            EXPECT_TRUE(out.empty());
            EXPECT_EQ(err, "ERROR in ReadDataBlock: Reading data\n");
        }
    }
}

TEST(LinkZlib, HugeChunkSizeNeedsNoHugeBuffer) {
    // K near the int limit: every realistic transfer travels raw.
    for (int k : {0x7fffffff, 1 << 30}) {
        bool ok = false;
        std::string wire = WireBytes(k, WriteScene, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(wire, WireBytes(0, WriteScene));
        MemReader r(wire, k);
        EXPECT_TRUE(ReadScene(r.stream));
    }
    // A negative K (set by a user, not the constructor) never compresses.
    bool ok = false;
    EXPECT_EQ(WireBytes(-5, WriteScene, &ok), WireBytes(0, WriteScene));
    EXPECT_TRUE(ok);
}

// ---------------------------------------------------------------- closed and failing handles

struct HandleCase {
    const char* what;
    std::function<int(LinkStream&)> read;
    const char* message;
};

class LinkBadHandle : public ::testing::TestWithParam<HandleCase> {};

TEST_P(LinkBadHandle, ClosedFailsAtOnce) {
    const HandleCase& c = GetParam();
    for (int k : {0, 16}) {
        LinkStream s;
        s.compressBufferSize = k;
        CaptureStderr();
        EXPECT_LT(c.read(s), 0);
        EXPECT_EQ(GetCapturedStderr(), c.message);
        EXPECT_EQ(LinkStream::LastZeroResultRun(), 0);
    }
}

TEST_P(LinkBadHandle, FailingHandleFailsAtOnce) {
    // The writing end of a pipe cannot be read: every read returns -1.
    const HandleCase& c = GetParam();
    Channel ch(Transport::Pipe);
    for (int k : {0, 16}) {
        LinkStream s;
        s.compressBufferSize = k;
        s.readHandle = ch.writeFd;
        CaptureStderr();
        EXPECT_LT(c.read(s), 0);
        EXPECT_EQ(GetCapturedStderr(), c.message);
    }
}

const char* const kNoRemaining = "ERROR in ReadDataBlockHeader: Reading number of remaining blocks\n";

INSTANTIATE_TEST_SUITE_P(
    Link, LinkBadHandle,
    ::testing::Values(HandleCase{"command", [](LinkStream& s) { return s.ReadCommand(); }, ""},
                      HandleCase{"token", [](LinkStream& s) { return s.ReadToken(); },
                                 "ERROR in ReadToken: Reading token key\n"},
                      HandleCase{"header", [](LinkStream& s) { return s.ReadDataBlockHeader(4); }, kNoRemaining},
                      HandleCase{"data_block",
                                 [](LinkStream& s) {
                                     char b[4];
                                     return s.ReadDataBlock(b, 4);
                                 },
                                 kNoRemaining},
                      HandleCase{"int_block",
                                 [](LinkStream& s) {
                                     int b[4];
                                     return s.ReadIntDataBlock(b, 4);
                                 },
                                 kNoRemaining},
                      HandleCase{"string",
                                 [](LinkStream& s) {
                                     std::string t;
                                     return s.ReadString(t) ? 0 : -1;
                                 },
                                 kNoRemaining},
                      HandleCase{"transfer",
                                 [](LinkStream& s) {
                                     char b[100];
                                     return s.ReadTransfer(b, sizeof b) ? 0 : -1;
                                 },
                                 ""},
                      HandleCase{"get_camera",
                                 [](LinkStream& s) {
                                     float a, b, p[3], q[2], r[4];
                                     return s.SendGetCamera("x", a, b, p, q, r) ? 0 : -1;
                                 },
                                 "ERROR in WriteCommand: Writing command key\n"}),
    [](const ::testing::TestParamInfo<HandleCase>& info) { return std::string(info.param.what); });

// ---------------------------------------------------------------- the zero-length rule

class LinkZeroReads : public ::testing::TestWithParam<Transport> {};

// A descriptor at its end returns 0 for ever: reads 1 to 1000 are retried,
// the 1001st fails the transfer.
TEST_P(LinkZeroReads, TheThousandAndFirstZeroFails) {
    const Transport t = GetParam();
    for (size_t available : {size_t(0), size_t(3)}) {
        SCOPED_TRACE(available);
        Channel ch(t);
        ASSERT_TRUE(LinkStream::RawWrite(ch.writeFd, "abc", available));
        int fd = ch.readFd;
        if (t == Transport::File) {
            // The reading description starts at 0; the file holds the bytes.
        } else {
            ch.CloseWrite();  // the peer has gone: end of stream
        }
        auto start = std::chrono::steady_clock::now();
        char buf[8];
        EXPECT_FALSE(LinkStream::RawRead(fd, buf, available + 1));
        EXPECT_EQ(LinkStream::LastZeroResultRun(), 1001);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        if (available) {
            EXPECT_EQ(std::string(buf, 3), "abc");
        }
    }
}

TEST_P(LinkZeroReads, EveryReaderEndsAtTheEnd) {
    const Transport t = GetParam();
    Channel ch(t);
    if (t != Transport::File) ch.CloseWrite();
    LinkStream s;
    s.readHandle = ch.readFd;
    CaptureStderr();
    EXPECT_EQ(s.ReadCommand(), -1);
    EXPECT_EQ(LinkStream::LastZeroResultRun(), 1001);
    EXPECT_EQ(s.ReadToken(), -1);
    int v;
    EXPECT_EQ(s.ReadIntDataBlock(&v, 1), -1);
    std::string text;
    EXPECT_FALSE(s.ReadString(text));
    EXPECT_EQ(GetCapturedStderr(), std::string("ERROR in ReadToken: Reading token key\n") + kNoRemaining + kNoRemaining);
}

TEST(LinkZeroReads, SuccessfulReadsSeeNoZeros) {
    MemReader r(NetInt(0) + NetInt(4) + NetInt(77));
    int v = 0;
    EXPECT_TRUE(r.stream.ReadInt(v));
    EXPECT_EQ(v, 77);
    EXPECT_EQ(LinkStream::LastZeroResultRun(), 0);
}

INSTANTIATE_TEST_SUITE_P(Link, LinkZeroReads, ::testing::Values(Transport::Socket, Transport::Pipe, Transport::File),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                             return std::string(linktest::TransportName(info.param));
                         });

}  // namespace
