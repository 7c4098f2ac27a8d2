// The bytes on the wire and the link messages: exact encodings,
// name lengths, key resynchronisation, header checks, the chunking rule of
// compressed transfers, the construction from COMPRESSBUFFERSIZE and the
// writing-side refusals.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <functional>
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

std::string Bytes(const char* s, size_t n) { return std::string(s, n); }
std::string Z(const std::string& s) { return s + std::string(1, '\0'); }  // with its zero byte
std::string CommandItem(const std::string& name) { return "vkoCommandKey" + NetInt(int(name.size() + 1)) + Z(name); }
std::string TokenItem(const std::string& name) { return "vkoTokenKey" + NetInt(int(name.size() + 1)) + Z(name); }

// Inflates a zlib stream (ignores what follows its end); empty on error.
std::string Inflate(const std::string& in, size_t expected) {
    std::string out(expected, '\0');
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return {};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    int r = inflate(&z, Z_FINISH);
    bool ok = r == Z_STREAM_END && z.avail_out == 0;
    inflateEnd(&z);
    return ok ? out : std::string();
}

// ---------------------------------------------------------------- exact bytes

struct ExactCase {
    const char* what;
    int k;
    std::function<bool(LinkStream&)> write;
    std::string bytes;
};

class LinkExactBytes : public ::testing::TestWithParam<ExactCase> {};

TEST_P(LinkExactBytes, OnTheWire) {
    const ExactCase& c = GetParam();
    bool ok = false;
    std::string wire = WireBytes(c.k, c.write, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(wire, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Link, LinkExactBytes,
    ::testing::Values(
        ExactCase{"DONE", 0, [](LinkStream& s) { return s.WriteToken(T::DONE); },
                  Bytes("vkoTokenKey\x00\x00\x00\x05" "DONE\x00", 20)},
        ExactCase{"SHUTDOWN", 0, [](LinkStream& s) { return s.WriteCommand(C::SHUTDOWN); },
                  Bytes("vkoCommandKey\x00\x00\x00\x09SHUTDOWN\x00", 26)},
        ExactCase{"DONE_K1024_raw", 1024, [](LinkStream& s) { return s.WriteToken(T::DONE); }, TokenItem("DONE")},
        ExactCase{"header", 0, [](LinkStream& s) { return s.WriteDataBlockHeader(3, 0x01020304); },
                  Bytes("\x00\x00\x00\x03\x01\x02\x03\x04", 8)},
        ExactCase{"data_block", 0, [](LinkStream& s) { return s.WriteDataBlock("xyz", 3, 1); },
                  Bytes("\x00\x00\x00\x01\x00\x00\x00\x03xyz", 11)},
        ExactCase{"int_block", 0,
                  [](LinkStream& s) {
                      int v[2] = {0x01020304, -2};
                      return s.WriteIntDataBlock(v, 2, 0);
                  },
                  Bytes("\x00\x00\x00\x00\x00\x00\x00\x08\x01\x02\x03\x04\xff\xff\xff\xfe", 16)},
        ExactCase{"float_block", 0,
                  [](LinkStream& s) {
                      float v[2] = {1.0f, -2.0f};
                      return s.WriteIntDataBlock(v, 2, 0);
                  },
                  Bytes("\x00\x00\x00\x00\x00\x00\x00\x08\x3f\x80\x00\x00\xc0\x00\x00\x00", 16)},
        ExactCase{"string", 0, [](LinkStream& s) { return s.WriteString("ab", 2); },
                  NetInt(1) + NetInt(4) + NetInt(3) + NetInt(0) + NetInt(3) + Z("ab")},
        ExactCase{"int_token_wrapped", 0, [](LinkStream& s) { return s.WriteIntToken(T::VIEWER_PORT, 2, true); },
                  CommandItem("SET_PARAMETRS") + TokenItem("VIEWER_PORT") + NetInt(0) + NetInt(4) + NetInt(2) +
                      TokenItem("DONE")},
        ExactCase{"calc_done", 0, [](LinkStream& s) { return s.SendCalcDone(0.5f); },
                  CommandItem("CALC_DONE") + NetInt(0) + NetInt(4) + Bytes("\x3f\x00\x00\x00", 4)},
        ExactCase{"dont_update", 0, [](LinkStream& s) { return s.SendIntCommand(C::DONT_UPDATE, 1); },
                  CommandItem("DONT_UPDATE") + NetInt(0) + NetInt(4) + NetInt(1)},
        ExactCase{"new_graphic", 0, [](LinkStream& s) { return s.SendStringCommand(C::NEW_GRAPHIC, "obj"); },
                  CommandItem("NEW_GRAPHIC") + NetInt(1) + NetInt(4) + NetInt(4) + NetInt(0) + NetInt(4) + Z("obj")},
        ExactCase{"empty_block", 0, [](LinkStream& s) { return s.WriteDataBlock("", 0, 0); },
                  NetInt(0) + NetInt(0)}),
    [](const ::testing::TestParamInfo<ExactCase>& info) { return std::string(info.param.what); });

// ---------------------------------------------------------------- names

struct NameCase {
    const char* what;
    bool token;
    std::string stream;
    int result;
    const char* message;
    int next;  // what the following read gives (-2: not tried)
};

class LinkNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(LinkNames, ReadBack) {
    const NameCase& c = GetParam();
    MemReader r(c.stream);
    CaptureStderr();
    int got = c.token ? r.stream.ReadToken() : r.stream.ReadCommand();
    std::string err = GetCapturedStderr();
    EXPECT_EQ(got, c.result);
    EXPECT_EQ(err, c.message);
    if (c.next != -2) {
        EXPECT_EQ(c.token ? r.stream.ReadToken() : r.stream.ReadCommand(), c.next);
    }
}

const std::string k63(63, 'N');
const std::string k64(64, 'N');

INSTANTIATE_TEST_SUITE_P(
    Link, LinkNames,
    ::testing::Values(
        NameCase{"command_64_bytes_read", false, "vkoCommandKey" + NetInt(64) + Z(k63) + CommandItem("SHUTDOWN"),
                 C::NOT_FOUND, "", C::SHUTDOWN},
        NameCase{"command_64_without_terminator", false,
                 "vkoCommandKey" + NetInt(64) + k64 + CommandItem("SHUTDOWN"), C::NOT_FOUND, "", C::SHUTDOWN},
        NameCase{"command_65_refused", false, "vkoCommandKey" + NetInt(65) + Z(k64) + CommandItem("SHUTDOWN"), -1,
                 "ERROR in ReadCommand: Command size too large\n", C::SHUTDOWN},
        NameCase{"command_huge_size", false, "vkoCommandKey" + NetInt(0x7fffffff) + CommandItem("CENTER_VIEW"), -1,
                 "ERROR in ReadCommand: Command size too large\n", C::CENTER_VIEW},
        NameCase{"command_negative_size", false, "vkoCommandKey" + NetInt(-1) + CommandItem("CENTER_VIEW"), -1,
                 "ERROR in ReadCommand: Reading command\n", C::CENTER_VIEW},
        NameCase{"command_empty_name", false, "vkoCommandKey" + NetInt(0) + CommandItem("CENTER_VIEW"),
                 C::NOT_FOUND, "", C::CENTER_VIEW},
        NameCase{"command_unknown", false, CommandItem("FOO"), C::NOT_FOUND, "", -2},
        NameCase{"command_lower_case", false, CommandItem("shutdown"), C::NOT_FOUND, "", -2},
        NameCase{"command_name_of_a_token", false, CommandItem("DONE"), C::NOT_FOUND, "", -2},
        NameCase{"command_each_end", false, CommandItem("CALC_DONE") + CommandItem("UPDATE_DONE"), C::CALC_DONE, "",
                 C::UPDATE_DONE},
        NameCase{"command_no_size", false, "vkoCommandKey\x00\x00", -1, "ERROR in ReadCommand: Reading command size\n",
                 -2},
        NameCase{"command_short_name", false, "vkoCommandKey" + NetInt(10) + "SHU", -1,
                 "ERROR in ReadCommand: Reading command\n", -2},
        NameCase{"command_empty_stream", false, "", -1, "", -2},
        NameCase{"token_64_bytes_read", true, "vkoTokenKey" + NetInt(64) + Z(k63) + TokenItem("DONE"), T::NOT_FOUND,
                 "", T::DONE},
        NameCase{"token_65_refused", true, "vkoTokenKey" + NetInt(65) + Z(k64) + TokenItem("DONE"), -1,
                 "ERROR in ReadToken: Token size too large\n", T::DONE},
        NameCase{"token_unknown", true, TokenItem("FOO"), T::NOT_FOUND, "", -2},
        NameCase{"token_name_of_a_command", true, TokenItem("SHUTDOWN"), T::NOT_FOUND, "", -2},
        NameCase{"token_each_end", true, TokenItem("ADD_OBJECT") + TokenItem("XREVERSEVIDEO"), T::ADD_OBJECT, "",
                 T::XREVERSEVIDEO},
        NameCase{"token_no_size", true, "vkoTokenKey", -1, "ERROR in ReadToken: Reading token size\n", -2},
        NameCase{"token_negative_size", true, "vkoTokenKey" + NetInt(-7), -1, "ERROR in ReadToken: Reading token\n",
                 -2},
        NameCase{"token_short_name", true, "vkoTokenKey" + NetInt(5) + "DO", -1, "ERROR in ReadToken: Reading token\n",
                 -2},
        NameCase{"token_empty_stream", true, "", -1, "ERROR in ReadToken: Reading token key\n", -2},
        NameCase{"token_stream_ends_in_key", true, "noise vkoTokenK", -1, "ERROR in ReadToken: Reading token key\n",
                 -2},
        NameCase{"command_stream_ends_in_key", false, "noise vkoCommandKe", -1, "", -2},
        NameCase{"command_key_is_no_token_key", true, CommandItem("DONE"), -1,
                 "ERROR in ReadToken: Reading token key\n", -2}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.what); });

// ---------------------------------------------------------------- resynchronisation

class LinkNoise : public ::testing::TestWithParam<std::string> {};

TEST_P(LinkNoise, BytesBeforeAKeyAreSkipped) {
    const std::string& noise = GetParam();
    for (int k : {0, 1024}) {
        SCOPED_TRACE(k);
        MemReader r(noise + CommandItem("GET_CAMERA") + noise + TokenItem("VIEWPORT_RULER") + noise +
                        CommandItem("SHUTDOWN"),
                    k);
        CaptureStderr();
        EXPECT_EQ(r.stream.ReadCommand(), C::GET_CAMERA);
        EXPECT_EQ(r.stream.ReadToken(), T::VIEWPORT_RULER);
        EXPECT_EQ(r.stream.ReadCommand(), C::SHUTDOWN);  // the token-free noise is skipped too
        EXPECT_EQ(GetCapturedStderr(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Link, LinkNoise,
                         ::testing::Values(std::string(), std::string("x"), std::string("vko"),
                                           std::string("vkoCommandKe"), std::string("vkoTokenKe"),
                                           std::string("vvkoCommandKe"), std::string("vkovkoTok"),
                                           std::string(5000, '\0'), Bytes("\x00\x00\x00\x05" "DONE\x00", 9),
                                           RandomBytes(3000, 17)));

TEST(LinkNoise, AnUnreadItemIsSkippedByTheNextScan) {
    // A command whose string the reader does not take: the next command is
    // still found.
    bool ok = false;
    std::string wire = WireBytes(0,
                                 [](LinkStream& s) {
                                     return s.SendStringCommand(C::NEW_GRAPHIC, "skipped") &&
                                            s.SendIntCommand(C::DONT_UPDATE, 0);
                                 },
                                 &ok);
    ASSERT_TRUE(ok);
    MemReader r(wire);
    EXPECT_EQ(r.stream.ReadCommand(), C::NEW_GRAPHIC);
    EXPECT_EQ(r.stream.ReadCommand(), C::DONT_UPDATE);
    int v = -1;
    EXPECT_TRUE(r.stream.ReadInt(v));
    EXPECT_EQ(v, 0);
}

// ---------------------------------------------------------------- data block headers

struct BlockCase {
    const char* what;
    std::string stream;
    std::function<int(LinkStream&)> read;
    int result;
    const char* message;
};

class LinkBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(LinkBlocks, ReadResultAndMessage) {
    const BlockCase& c = GetParam();
    MemReader r(c.stream);
    CaptureStderr();
    int got = c.read(r.stream);
    EXPECT_EQ(GetCapturedStderr(), c.message);
    EXPECT_EQ(got, c.result);
}

int ReadBytes(LinkStream& s, int n) {
    std::vector<char> buf(size_t(n) + 1);
    return s.ReadDataBlock(buf.data(), n);
}
int ReadInts(LinkStream& s, int n) {
    std::vector<int> buf(size_t(n) + 1);
    return s.ReadIntDataBlock(buf.data(), n);
}
int ReadText(LinkStream& s) {
    std::string out = "junk";
    bool ok = s.ReadString(out);
    if (!ok) {
        EXPECT_TRUE(out.empty());
    }
    return ok ? 1 : 0;
}

const char* const kExpect = "ERROR in ReadDataBlockHeader: Data available not what expected\n";
const char* const kNoRemaining = "ERROR in ReadDataBlockHeader: Reading number of remaining blocks\n";
const char* const kNoSize = "ERROR in ReadDataBlockHeader: Reading block size\n";
const char* const kNoData = "ERROR in ReadDataBlock: Reading data\n";
const char* const kNoInts = "ERROR in ReadIntDataBlock: Reading data\n";

INSTANTIATE_TEST_SUITE_P(
    Link, LinkBlocks,
    ::testing::Values(
        BlockCase{"expect_5_header_says_4", NetInt(0) + NetInt(4) + "abcd", [](LinkStream& s) { return ReadBytes(s, 5); },
                  -1, kExpect},
        BlockCase{"expect_4_header_says_4", NetInt(9) + NetInt(4) + "abcd", [](LinkStream& s) { return ReadBytes(s, 4); },
                  9, ""},
        BlockCase{"header_only", NetInt(2) + NetInt(7), [](LinkStream& s) { return s.ReadDataBlockHeader(7); }, 2, ""},
        BlockCase{"header_mismatch", NetInt(2) + NetInt(7), [](LinkStream& s) { return s.ReadDataBlockHeader(8); },
                  -1, kExpect},
        BlockCase{"no_header", "", [](LinkStream& s) { return ReadBytes(s, 4); }, -1, kNoRemaining},
        BlockCase{"half_header", NetInt(0) + "\x00\x00", [](LinkStream& s) { return ReadBytes(s, 4); }, -1, kNoSize},
        BlockCase{"short_payload", NetInt(0) + NetInt(4) + "ab", [](LinkStream& s) { return ReadBytes(s, 4); }, -1,
                  kNoData},
        BlockCase{"negative_size", NetInt(0) + NetInt(-1), [](LinkStream& s) { return ReadBytes(s, -1); }, -1, kNoData},
        BlockCase{"null_buffer", NetInt(0) + NetInt(4) + "abcd",
                  [](LinkStream& s) { return s.ReadDataBlock(nullptr, 4); }, -1, kNoData},
        BlockCase{"ints_expect_2_header_1", NetInt(0) + NetInt(4) + NetInt(1),
                  [](LinkStream& s) { return ReadInts(s, 2); }, -1, kExpect},
        BlockCase{"ints_short", NetInt(0) + NetInt(8) + NetInt(1), [](LinkStream& s) { return ReadInts(s, 2); }, -1,
                  kNoInts},
        BlockCase{"ints_count_overflow", NetInt(0) + NetInt(0),
                  [](LinkStream& s) { return s.ReadIntDataBlock(nullptr, 0x40000000); }, -1, kNoInts},
        BlockCase{"ints_negative_count", NetInt(0) + NetInt(-4), [](LinkStream& s) { return ReadInts(s, -1); }, -1,
                  kNoInts},
        BlockCase{"negative_remaining_passed_back", NetInt(-3) + NetInt(4) + NetInt(1),
                  [](LinkStream& s) { return ReadInts(s, 1); }, -3, ""},
        BlockCase{"string", NetInt(1) + NetInt(4) + NetInt(3) + NetInt(0) + NetInt(3) + Z("ab"),
                  [](LinkStream& s) { return ReadText(s); }, 1, ""},
        BlockCase{"string_length_0_refused", NetInt(1) + NetInt(4) + NetInt(0) + NetInt(0) + NetInt(0),
                  [](LinkStream& s) { return ReadText(s); }, 0, ""},
        BlockCase{"string_length_negative_refused", NetInt(1) + NetInt(4) + NetInt(-9),
                  [](LinkStream& s) { return ReadText(s); }, 0, ""},
        BlockCase{"string_length_mismatch", NetInt(1) + NetInt(4) + NetInt(3) + NetInt(0) + NetInt(4) + "abc",
                  [](LinkStream& s) { return ReadText(s); }, 0, kExpect},
        BlockCase{"string_short_text", NetInt(1) + NetInt(4) + NetInt(30) + NetInt(0) + NetInt(30) + "abc",
                  [](LinkStream& s) { return ReadText(s); }, 0, kNoData},
        BlockCase{"string_huge_length_short_text",
                  NetInt(1) + NetInt(4) + NetInt(0x7fffffff) + NetInt(0) + NetInt(0x7fffffff) + "abc",
                  [](LinkStream& s) { return ReadText(s); }, 0, kNoData},
        BlockCase{"string_no_length", "", [](LinkStream& s) { return ReadText(s); }, 0, kNoRemaining},
        BlockCase{"string_embedded_zero", NetInt(1) + NetInt(4) + NetInt(5) + NetInt(0) + NetInt(5) + Bytes("ab\0cd", 5),
                  [](LinkStream& s) {
                      std::string out;
                      return s.ReadString(out) && out == "ab" ? 1 : 0;
                  },
                  1, ""},
        BlockCase{"string_without_terminator", NetInt(1) + NetInt(4) + NetInt(3) + NetInt(0) + NetInt(3) + "abc",
                  [](LinkStream& s) {
                      std::string out;
                      return s.ReadString(out) && out == "abc" ? 1 : 0;
                  },
                  1, "" }),
    [](const ::testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.what); });

// ---------------------------------------------------------------- chunking rule

struct ChunkCase {
    const char* what;
    std::function<bool(LinkStream&)> write;
    std::string header;   // the raw bytes before the payload
    std::string payload;  // what the payload transfer carries (network order for ints)
    bool compressed;
};

class LinkChunks : public ::testing::TestWithParam<std::tuple<ChunkCase, Transport>> {};

// The bytes a writer with K = 1024 sends, collected at the other end of a
// socket pair, a pipe or in a file.
std::string Collect(Transport t, const std::function<bool(LinkStream&)>& write, bool* ok) {
    if (t == Transport::File) return WireBytes(1024, write, ok);
    Channel ch(t);
    std::string got;
    *ok = ch.Run(1024, write, [&](LinkStream& s) {
        char buf[4096];
        for (;;) {
            ssize_t r = ::read(s.readHandle, buf, sizeof buf);
            if (r <= 0) break;
            got.append(buf, size_t(r));
        }
    });
    return got;
}

TEST_P(LinkChunks, WholeChunksOrRaw) {
    const auto& [c, transport] = GetParam();
    bool ok = false;
    std::string wire = Collect(transport, c.write, &ok);
    ASSERT_TRUE(ok);
    ASSERT_GE(wire.size(), c.header.size());
    EXPECT_EQ(wire.substr(0, c.header.size()), c.header);  // header ints raw
    std::string rest = wire.substr(c.header.size());
    if (!c.compressed) {
        EXPECT_EQ(rest, c.payload);
    } else {
        EXPECT_GT(rest.size(), 0u);
        EXPECT_EQ(rest.size() % 1024, 0u) << rest.size();
        EXPECT_EQ(Inflate(rest, c.payload.size()), c.payload);
        // No chunk beyond the one holding the stream end.
        std::string tooShort = rest.substr(0, rest.size() - 1024);
        EXPECT_TRUE(tooShort.empty() || Inflate(tooShort, c.payload.size()).empty());
    }
    // And the reader with the same K gets the payload back.
    MemReader r(wire, 1024);
    std::string back(c.payload.size(), '\0');
    if (!c.header.empty()) {
        EXPECT_GE(r.stream.ReadDataBlockHeader(int(c.payload.size())), 0);
    }
    EXPECT_TRUE(r.stream.ReadTransfer(back.data(), back.size()));
    EXPECT_EQ(back, c.payload);
}

std::string NetInts(const std::vector<int>& v) {
    std::string s;
    for (int x : v) s += NetInt(x);
    return s;
}

const std::string kRandom4000 = RandomBytes(4000, 4000);
const std::string kRandom1024 = RandomBytes(1024, 1024);
const std::string kRandom1025 = RandomBytes(1025, 1025);
std::vector<int> Ramp(int n) {
    std::vector<int> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[size_t(i)] = i * 7919 - 3;
    return v;
}

std::vector<ChunkCase> ChunkCases() {
    return {
        {"random_4000", [](LinkStream& s) { return s.WriteDataBlock(kRandom4000.data(), 4000, 0); },
         NetInt(0) + NetInt(4000), kRandom4000, true},
        {"zeros_4000", [](LinkStream& s) { return s.WriteDataBlock(std::string(4000, '\0').data(), 4000, 0); },
         NetInt(0) + NetInt(4000), std::string(4000, '\0'), true},
        {"random_1025", [](LinkStream& s) { return s.WriteDataBlock(kRandom1025.data(), 1025, 0); },
         NetInt(0) + NetInt(1025), kRandom1025, true},
        {"random_1024_raw", [](LinkStream& s) { return s.WriteDataBlock(kRandom1024.data(), 1024, 0); },
         NetInt(0) + NetInt(1024), kRandom1024, false},
        {"short_raw", [](LinkStream& s) { return s.WriteDataBlock("abc", 3, 5); }, NetInt(5) + NetInt(3), "abc",
         false},
        {"ints_1000", [](LinkStream& s) { return s.WriteIntDataBlock(Ramp(1000).data(), 1000, 0); },
         NetInt(0) + NetInt(4000), NetInts(Ramp(1000)), true},
        {"ints_256_raw", [](LinkStream& s) { return s.WriteIntDataBlock(Ramp(256).data(), 256, 0); },
         NetInt(0) + NetInt(1024), NetInts(Ramp(256)), false},
        {"one_int_raw", [](LinkStream& s) { return s.WriteIntDataBlock(Ramp(1).data(), 1, 1); },
         NetInt(1) + NetInt(4), NetInt(-3), false},
        {"transfer_4000", [](LinkStream& s) { return s.WriteTransfer(kRandom4000.data(), 4000); }, "", kRandom4000,
         true},
    };
}

INSTANTIATE_TEST_SUITE_P(Link, LinkChunks,
                         ::testing::Combine(::testing::ValuesIn(ChunkCases()),
                                            ::testing::Values(Transport::Socket, Transport::Pipe, Transport::File)),
                         [](const ::testing::TestParamInfo<std::tuple<ChunkCase, Transport>>& info) {
                             return std::string(std::get<0>(info.param).what) + "_" +
                                    linktest::TransportName(std::get<1>(info.param));
                         });

TEST(LinkChunks, KeysAndHeadersCompressWhenKIsBelowTheirSize) {
    // K = 5: the 13-byte key and the 12-byte name are compressed transfers
    // of whole 5-byte chunks, the 4-byte size int travels raw.
    bool ok = false;
    std::string wire = WireBytes(5, [](LinkStream& s) { return s.WriteCommand(C::DONT_UPDATE); }, &ok);
    ASSERT_TRUE(ok);
    MemReader r(wire, 5);
    EXPECT_EQ(r.stream.ReadCommand(), C::DONT_UPDATE);
    EXPECT_EQ(wire.size() % 5, 4u);  // chunks plus one raw int
    EXPECT_EQ(wire.find("vkoCommandKey"), std::string::npos);
    // K = 3: the header ints too.
    wire = WireBytes(3, [](LinkStream& s) { return s.WriteDataBlockHeader(1, 2); }, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(wire.size() % 3, 0u);
    EXPECT_NE(wire.substr(0, 8), NetInt(1) + NetInt(2));
    MemReader r3(wire, 3);
    EXPECT_EQ(r3.stream.ReadDataBlockHeader(2), 1);
}

// ---------------------------------------------------------------- construction

struct EnvCase {
    const char* value;  // nullptr: unset
    int k;
};

class LinkConstruction : public ::testing::TestWithParam<EnvCase> {};

TEST_P(LinkConstruction, CompressBufferSizeFromTheEnvironment) {
    const EnvCase& c = GetParam();
    const char* old = std::getenv("COMPRESSBUFFERSIZE");
    std::string saved = old ? old : "";
    if (c.value)
        setenv("COMPRESSBUFFERSIZE", c.value, 1);
    else
        unsetenv("COMPRESSBUFFERSIZE");
    {
        LinkStream s;
        EXPECT_EQ(s.compressBufferSize, c.k);
        EXPECT_EQ(s.readHandle, -1);
        EXPECT_EQ(s.writeHandle, -1);
        EXPECT_FALSE(s.readIsSocket);
        EXPECT_FALSE(s.writeIsSocket);
        EXPECT_FALSE(s.inLoadGraphic);
        EXPECT_FALSE(s.inSetParameters);
        EXPECT_EQ(s.peerHostName, nullptr);
    }
    if (old)
        setenv("COMPRESSBUFFERSIZE", saved.c_str(), 1);
    else
        unsetenv("COMPRESSBUFFERSIZE");
}

INSTANTIATE_TEST_SUITE_P(Link, LinkConstruction,
                         ::testing::Values(EnvCase{nullptr, 0}, EnvCase{"", 0}, EnvCase{"1024", 1024},
                                           EnvCase{"65536", 65536}, EnvCase{"-5", 0}, EnvCase{"abc", 0},
                                           EnvCase{"  77xyz", 77}, EnvCase{"0", 0}));

TEST(LinkConstruction, PeerHostNameIsOwned) {
    LinkStream s;
    s.SetPeerHostName("engine-host");
    ASSERT_NE(s.peerHostName, nullptr);
    EXPECT_STREQ(s.peerHostName, "engine-host");
    s.SetPeerHostName("unknown");
    EXPECT_STREQ(s.peerHostName, "unknown");
    // A name set directly (as the socket transport does) is freed by the destructor.
    LinkStream t;
    t.peerHostName = strdup("peer");
    s.SetPeerHostName(nullptr);
    EXPECT_EQ(s.peerHostName, nullptr);
}

// ---------------------------------------------------------------- writing side refusals

struct WriteFailCase {
    const char* what;
    std::function<bool(LinkStream&)> write;
    const char* message;
};

class LinkWriteFailures : public ::testing::TestWithParam<WriteFailCase> {};

// On a closed write handle (-1).
TEST_P(LinkWriteFailures, ClosedHandle) {
    const WriteFailCase& c = GetParam();
    LinkStream s;
    s.compressBufferSize = 0;
    CaptureStderr();
    EXPECT_FALSE(c.write(s));
    EXPECT_EQ(GetCapturedStderr(), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Link, LinkWriteFailures,
    ::testing::Values(
        WriteFailCase{"command", [](LinkStream& s) { return s.WriteCommand(C::SHUTDOWN); },
                      "ERROR in WriteCommand: Writing command key\n"},
        WriteFailCase{"token", [](LinkStream& s) { return s.WriteToken(T::DONE); },
                      "ERROR in WriteToken: Writing token key\n"},
        WriteFailCase{"header", [](LinkStream& s) { return s.WriteDataBlockHeader(0, 4); }, ""},
        WriteFailCase{"data_block", [](LinkStream& s) { return s.WriteDataBlock("abcd", 4, 0); }, ""},
        WriteFailCase{"int_block", [](LinkStream& s) { return s.WriteIntDataBlock(&s, 1, 0); }, ""},
        WriteFailCase{"string", [](LinkStream& s) { return s.WriteString("x", 2); }, ""},
        WriteFailCase{"begin_parameters",
                      [](LinkStream& s) {
                          bool ok = s.BeginParameters();
                          EXPECT_FALSE(s.inSetParameters);
                          return ok;
                      },
                      "ERROR in WriteCommand: Writing command key\n"},
        WriteFailCase{"end_load_graphic",
                      [](LinkStream& s) {
                          s.inLoadGraphic = true;
                          bool ok = s.EndLoadGraphic();
                          EXPECT_TRUE(s.inLoadGraphic);
                          return ok;
                      },
                      "ERROR in WriteToken: Writing token key\n"},
        WriteFailCase{"bad_command_index", [](LinkStream& s) { return s.WriteCommand(15); }, ""},
        WriteFailCase{"bad_token_index", [](LinkStream& s) { return s.WriteToken(-1); }, ""}),
    [](const ::testing::TestParamInfo<WriteFailCase>& info) { return std::string(info.param.what); });

struct OpenWriteFailCase {
    const char* what;
    std::function<bool(LinkStream&)> write;
    const char* message;
    size_t bytesWritten;
};

class LinkOpenWriteFailures : public ::testing::TestWithParam<OpenWriteFailCase> {};

// On an open handle: refusals of bad arguments write nothing.
TEST_P(LinkOpenWriteFailures, NothingWritten) {
    const OpenWriteFailCase& c = GetParam();
    int fd = linktest::MemFile();
    LinkStream s;
    s.compressBufferSize = 0;
    s.writeHandle = fd;
    CaptureStderr();
    EXPECT_FALSE(c.write(s));
    EXPECT_EQ(GetCapturedStderr(), c.message);
    EXPECT_EQ(linktest::FileBytes(fd).size(), c.bytesWritten);
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Link, LinkOpenWriteFailures,
    ::testing::Values(
        OpenWriteFailCase{"negative_remaining", [](LinkStream& s) { return s.WriteDataBlockHeader(-1, 4); }, "", 0},
        OpenWriteFailCase{"negative_size", [](LinkStream& s) { return s.WriteDataBlockHeader(0, -4); }, "", 0},
        OpenWriteFailCase{"block_negative_size", [](LinkStream& s) { return s.WriteDataBlock("a", -1, 0); }, "", 0},
        OpenWriteFailCase{"block_null_bytes", [](LinkStream& s) { return s.WriteDataBlock(nullptr, 4, 0); },
                          "ERROR in WriteDataBlock: Writing data\n", 0},
        OpenWriteFailCase{"ints_null", [](LinkStream& s) { return s.WriteIntDataBlock(nullptr, 4, 0); },
                          "ERROR in WriteIntDataBlock: Writing data block\n", 0},
        OpenWriteFailCase{"ints_negative_count", [](LinkStream& s) { return s.WriteIntDataBlock(&s, -1, 0); }, "", 0},
        OpenWriteFailCase{"null_string", [](LinkStream& s) { return s.WriteString(nullptr, 2); }, "", 0},
        OpenWriteFailCase{"null_string_token", [](LinkStream& s) { return s.WriteStringToken(T::OUTFILE, nullptr, true); },
                          "", 0},
        OpenWriteFailCase{"null_camera_text",
                          [](LinkStream& s) {
                              const char* texts[7] = {"a", "b", "c", nullptr, "e", "f", "g"};
                              return s.WriteCameraToken(texts, false);
                          },
                          "", 0}),
    [](const ::testing::TestParamInfo<OpenWriteFailCase>& info) { return std::string(info.param.what); });

TEST(LinkWriteFailures, PeerGone) {
    // The reading end of a socket pair is closed: sends fail (no SIGPIPE).
    for (int k : {0, 16}) {
        Channel ch(Transport::Socket);
        ch.CloseRead();
        LinkStream s;
        s.compressBufferSize = k;
        s.writeHandle = ch.writeFd;
        CaptureStderr();
        EXPECT_FALSE(s.WriteDataBlock("abcd", 4, 0));
        EXPECT_FALSE(s.WriteToken(T::DONE));
        EXPECT_EQ(GetCapturedStderr(),
                  "ERROR in WriteDataBlockHeader: Writing number of remaining blocks\n"
                  "ERROR in WriteToken: Writing token key\n");
    }
}

}  // namespace
