// Every item kind written by one LinkStream and read back by another, over
// socket pairs, pipes and files, raw (K = 0) and compressed with several
// chunk sizes K (1 and 5 compress keys and names too, 300000 splits each
// chunk into scratch-sized pieces).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "LinkStreamTestSupport.h"

using linktest::Channel;
using linktest::RandomBytes;
using linktest::Transport;
using C = LinkStream::Cmd;
using T = LinkStream::Tok;

namespace {

struct Item {
    std::string name;
    std::function<bool(LinkStream&)> write;
    std::function<void(LinkStream&)> read;  // checks with EXPECT_*
};

std::vector<int> IntPattern(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<int> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = int(rng());
    if (count > 0) v[0] = std::numeric_limits<int>::min();
    if (count > 1) v[1] = std::numeric_limits<int>::max();
    if (count > 2) v[2] = -1;
    if (count > 3) v[3] = 0;
    return v;
}

std::vector<float> FloatPattern(size_t count) {
    const float specials[] = {0.0f,
                              -0.0f,
                              1.0f,
                              -2.5f,
                              3.14159265f,
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::lowest(),
                              std::numeric_limits<float>::epsilon()};
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = i < std::size(specials) ? specials[i] : std::sin(float(i)) * float(i % 977);
    return v;
}

template <class V>
bool SameBits(const V& a, const V& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
}

// Items up to maxBytes of payload (tiny chunk sizes make big payloads
// travel in millions of chunks, which proves nothing more).
std::vector<Item> AllItems(size_t maxBytes) {
    std::vector<Item> items;

    for (int i = 0; i < LinkStream::kNumCommands; ++i)
        items.push_back({std::string("command ") + LinkStream::kCommandNames[i],
                         [i](LinkStream& s) { return s.WriteCommand(i); },
                         [i](LinkStream& s) { EXPECT_EQ(s.ReadCommand(), i); }});
    for (int i = 0; i < LinkStream::kNumTokens; ++i)
        items.push_back({std::string("token ") + LinkStream::kTokenNames[i],
                         [i](LinkStream& s) { return s.WriteToken(i); },
                         [i](LinkStream& s) { EXPECT_EQ(s.ReadToken(), i); }});

    for (int count : {0, 1, 2, 3, 255, 256, 257, 1000, 16384, 16385, 100000, 300000}) {
        if (4 * size_t(count) > maxBytes) continue;
        for (int remaining : {0, 7}) {
            auto values = std::make_shared<std::vector<int>>(IntPattern(size_t(count), uint32_t(count)));
            items.push_back({"int block " + std::to_string(count) + " remaining " + std::to_string(remaining),
                             [values, count, remaining](LinkStream& s) {
                                 return s.WriteIntDataBlock(values->data(), count, remaining);
                             },
                             [values, count, remaining](LinkStream& s) {
                                 std::vector<int> got(size_t(count), 12345);
                                 EXPECT_EQ(s.ReadIntDataBlock(got.data(), count), remaining);
                                 EXPECT_EQ(got, *values);
                             }});
        }
    }
    for (int count : {1, 12, 3000, 1000000 / 4}) {
        if (4 * size_t(count) > maxBytes) continue;
        auto values = std::make_shared<std::vector<float>>(FloatPattern(size_t(count)));
        items.push_back({"float block " + std::to_string(count),
                         [values, count](LinkStream& s) { return s.WriteIntDataBlock(values->data(), count, 2); },
                         [values, count](LinkStream& s) {
                             std::vector<float> got(size_t(count), 0.5f);
                             EXPECT_EQ(s.ReadIntDataBlock(got.data(), count), 2);
                             EXPECT_TRUE(SameBits(got, *values));
                         }});
    }
    // A block written from an odd address is read into an odd address.
    items.push_back({"unaligned int block",
                     [](LinkStream& s) {
                         std::vector<char> raw(4 * 1001 + 1);
                         auto v = IntPattern(1001, 9);
                         std::memcpy(raw.data() + 1, v.data(), 4 * 1001);
                         return s.WriteIntDataBlock(raw.data() + 1, 1001, 0);
                     },
                     [](LinkStream& s) {
                         std::vector<char> raw(4 * 1001 + 1);
                         EXPECT_EQ(s.ReadIntDataBlock(raw.data() + 1, 1001), 0);
                         std::vector<int> got(1001);
                         std::memcpy(got.data(), raw.data() + 1, 4 * 1001);
                         EXPECT_EQ(got, IntPattern(1001, 9));
                     }});

    for (size_t size : {size_t(0), size_t(1), size_t(4), size_t(5), size_t(1023), size_t(1024), size_t(1025),
                        size_t(4000), size_t(65536), size_t(65537), size_t(1000000)}) {
        if (size > maxBytes) continue;
        for (bool random : {true, false}) {
            auto bytes = std::make_shared<std::string>(random ? RandomBytes(size, uint32_t(size))
                                                              : std::string(size, 'z'));
            int n = int(size);
            items.push_back({"data block " + std::to_string(size) + (random ? " random" : " repeated"),
                             [bytes, n](LinkStream& s) { return s.WriteDataBlock(bytes->data(), n, 1); },
                             [bytes, n](LinkStream& s) {
                                 std::string got(size_t(n), '\x55');
                                 EXPECT_EQ(s.ReadDataBlock(got.data(), n), 1);
                                 EXPECT_TRUE(got == *bytes);
                             }});
        }
    }

    std::vector<std::string> texts = {"", "a", "DONE", "scene object 1", std::string(255, 'x'),
                                      std::string(70000, 'y'), RandomBytes(200000, 3)};
    // Random text stops at its first zero byte, as a C string does.
    for (const std::string& t0 : texts) {
        std::string t = t0.c_str();
        if (t.size() > maxBytes) continue;
        std::string label = "string of " + std::to_string(t.size());
        items.push_back({label, [t](LinkStream& s) { return s.WriteString(t.c_str(), 2); },
                         [t](LinkStream& s) {
                             std::string got = "junk";
                             EXPECT_TRUE(s.ReadString(got));
                             EXPECT_TRUE(got == t) << got.size() << " vs " << t.size();
                         }});
    }
    items.push_back({"string remaining values",
                     [](LinkStream& s) { return s.WriteString("abc", 2); },
                     [](LinkStream& s) {
                         int n = 0;
                         EXPECT_EQ(s.ReadIntDataBlock(&n, 1), 1);
                         EXPECT_EQ(n, 4);
                         char buf[4];
                         EXPECT_EQ(s.ReadDataBlock(buf, 4), 0);
                         EXPECT_STREQ(buf, "abc");
                     }});

    items.push_back({"ReadInt and ReadFloat",
                     [](LinkStream& s) {
                         int i = -77;
                         float f = 0.125f;
                         return s.WriteIntDataBlock(&i, 1, 0) && s.WriteIntDataBlock(&f, 1, 0);
                     },
                     [](LinkStream& s) {
                         int i = 0;
                         float f = 0;
                         EXPECT_TRUE(s.ReadInt(i));
                         EXPECT_TRUE(s.ReadFloat(f));
                         EXPECT_EQ(i, -77);
                         EXPECT_EQ(f, 0.125f);
                     }});

    for (bool wrapped : {false, true}) {
        std::string w = wrapped ? " wrapped" : "";
        auto open = [wrapped](LinkStream& s) {
            if (wrapped) {
                EXPECT_EQ(s.ReadCommand(), C::SET_PARAMETRS);
            }
        };
        auto close = [wrapped](LinkStream& s) {
            if (wrapped) {
                EXPECT_EQ(s.ReadToken(), T::DONE);
            }
        };
        items.push_back({"WriteIntToken" + w,
                         [wrapped](LinkStream& s) {
                             bool ok = s.WriteIntToken(T::VIEWER_LAYOUT, 4, wrapped);
                             EXPECT_FALSE(s.inSetParameters);
                             return ok;
                         },
                         [open, close](LinkStream& s) {
                             open(s);
                             EXPECT_EQ(s.ReadToken(), T::VIEWER_LAYOUT);
                             int v = 0;
                             EXPECT_EQ(s.ReadIntDataBlock(&v, 1), 0);
                             EXPECT_EQ(v, 4);
                             close(s);
                         }});
        items.push_back({"WriteFloatToken" + w,
                         [wrapped](LinkStream& s) { return s.WriteFloatToken(T::PRINT_TOLERANCE, -1.5f, wrapped); },
                         [open, close](LinkStream& s) {
                             open(s);
                             EXPECT_EQ(s.ReadToken(), T::PRINT_TOLERANCE);
                             float v = 0;
                             EXPECT_TRUE(s.ReadFloat(v));
                             EXPECT_EQ(v, -1.5f);
                             close(s);
                         }});
        items.push_back({"WriteStringToken" + w,
                         [wrapped](LinkStream& s) { return s.WriteStringToken(T::OUTFILE, "out.png", wrapped); },
                         [open, close](LinkStream& s) {
                             open(s);
                             EXPECT_EQ(s.ReadToken(), T::OUTFILE);
                             std::string v;
                             EXPECT_TRUE(s.ReadString(v));
                             EXPECT_EQ(v, "out.png");
                             close(s);
                         }});
        items.push_back({"WriteCameraToken" + w,
                         [wrapped](LinkStream& s) {
                             const char* texts[7] = {"front", "1.5", "2", "0 0 0", "0.1 0.2", "1 0 0 0", "0 90 0"};
                             return s.WriteCameraToken(texts, wrapped);
                         },
                         [open, close](LinkStream& s) {
                             open(s);
                             EXPECT_EQ(s.ReadToken(), T::CAMERA);
                             const char* expect[7] = {"front", "1.5", "2", "0 0 0", "0.1 0.2", "1 0 0 0", "0 90 0"};
                             for (const char* e : expect) {
                                 std::string v;
                                 EXPECT_TRUE(s.ReadString(v));
                                 EXPECT_EQ(v, e);
                             }
                             close(s);
                         }});
    }

    items.push_back({"Begin/End parameters and load graphic",
                     [](LinkStream& s) {
                         bool ok = s.BeginParameters();
                         EXPECT_TRUE(s.inSetParameters);
                         ok = ok && s.EndParameters();
                         EXPECT_FALSE(s.inSetParameters);
                         ok = ok && s.BeginLoadGraphic();
                         EXPECT_TRUE(s.inLoadGraphic);
                         EXPECT_FALSE(s.inSetParameters);
                         ok = ok && s.EndLoadGraphic();
                         EXPECT_FALSE(s.inLoadGraphic);
                         return ok;
                     },
                     [](LinkStream& s) {
                         EXPECT_EQ(s.ReadCommand(), C::SET_PARAMETRS);
                         EXPECT_EQ(s.ReadToken(), T::DONE);
                         EXPECT_EQ(s.ReadCommand(), C::LOAD_GRAPHIC);
                         EXPECT_EQ(s.ReadToken(), T::DONE);
                     }});

    items.push_back({"command senders",
                     [](LinkStream& s) {
                         return s.SendCalcDone(42.25f) && s.SendCommand(C::CENTER_VIEW) &&
                                s.SendCommand(C::GET_PROJECTED_AREA) && s.SendCommand(C::RESPOND_AFTER_UPDATE) &&
                                s.SendCommand(C::SHUTDOWN) && s.SendCommand(C::UPDATE_DONE) &&
                                s.SendIntCommand(C::DONT_UPDATE, 1) &&
                                s.SendStringCommand(C::DELETE_GRAPHIC, "a") &&
                                s.SendStringCommand(C::DUMP_STATE, "state.txt") &&
                                s.SendStringCommand(C::NEW_GRAPHIC, "surface") &&
                                s.SendStringCommand(C::READ_VIEWS, "SavedCameras") &&
                                s.SendStringCommand(C::SELECT_GRAPHIC, "surface");
                     },
                     [](LinkStream& s) {
                         EXPECT_EQ(s.ReadCommand(), C::CALC_DONE);
                         float f = 0;
                         EXPECT_TRUE(s.ReadFloat(f));
                         EXPECT_EQ(f, 42.25f);
                         for (int c : {C::CENTER_VIEW, C::GET_PROJECTED_AREA, C::RESPOND_AFTER_UPDATE, C::SHUTDOWN,
                                       C::UPDATE_DONE})
                             EXPECT_EQ(s.ReadCommand(), c);
                         EXPECT_EQ(s.ReadCommand(), C::DONT_UPDATE);
                         int v = 0;
                         EXPECT_TRUE(s.ReadInt(v));
                         EXPECT_EQ(v, 1);
                         const std::pair<int, const char*> strings[] = {{C::DELETE_GRAPHIC, "a"},
                                                                        {C::DUMP_STATE, "state.txt"},
                                                                        {C::NEW_GRAPHIC, "surface"},
                                                                        {C::READ_VIEWS, "SavedCameras"},
                                                                        {C::SELECT_GRAPHIC, "surface"}};
                         for (auto [c, text] : strings) {
                             EXPECT_EQ(s.ReadCommand(), c);
                             std::string got;
                             EXPECT_TRUE(s.ReadString(got));
                             EXPECT_EQ(got, text);
                         }
                     }});
    return items;
}

size_t MaxBytes(int k) { return k > 0 && k < 64 ? 4096 : size_t(1) << 30; }

struct RoundTripParam {
    int k;
    Transport transport;
};

class LinkRoundTrip : public ::testing::TestWithParam<RoundTripParam> {};

// Each item on a fresh channel, then nothing more is waiting.
TEST_P(LinkRoundTrip, EachItemAlone) {
    const auto [k, transport] = GetParam();
    for (const Item& item : AllItems(MaxBytes(k))) {
        SCOPED_TRACE(item.name);
        Channel ch(transport);
        bool wrote = ch.Run(k, item.write, [&](LinkStream& s) {
            item.read(s);
            // The item was consumed exactly: the stream is at its end.
            char extra;
            EXPECT_FALSE(LinkStream::RawRead(s.readHandle, &extra, 1));
        });
        EXPECT_TRUE(wrote);
    }
}

// All items one after another on one channel.
TEST_P(LinkRoundTrip, AllItemsInOneStream) {
    const auto [k, transport] = GetParam();
    const std::vector<Item> items = AllItems(MaxBytes(k));
    Channel ch(transport);
    bool wrote = ch.Run(
        k,
        [&](LinkStream& s) {
            for (const Item& item : items)
                if (!item.write(s)) return false;
            return true;
        },
        [&](LinkStream& s) {
            for (const Item& item : items) {
                SCOPED_TRACE(item.name);
                item.read(s);
                if (HasFailure()) return;
            }
        });
    EXPECT_TRUE(wrote);
}

// GET_CAMERA: the engine side sends the name and reads the five reply
// blocks that the viewer side writes on the second connection.
TEST_P(LinkRoundTrip, GetCameraReply) {
    const auto [k, transport] = GetParam();
    Channel toViewer(transport), toEngine(transport);
    LinkStream engine, viewer;
    engine.compressBufferSize = viewer.compressBufferSize = k;
    engine.writeHandle = toViewer.writeFd;
    engine.readHandle = toEngine.readFd;
    viewer.readHandle = toViewer.readFd;
    viewer.writeHandle = toEngine.writeFd;
    auto readRequest = [&] {
        EXPECT_EQ(viewer.ReadCommand(), C::GET_CAMERA);
        std::string name;
        EXPECT_TRUE(viewer.ReadString(name));
        EXPECT_EQ(name, "iso view");
    };
    auto writeReply = [&] {
        float scale = 2.5f, defScale = 1.25f, pivot[3] = {1, 2, 3}, pan[2] = {-0.5f, 0.75f},
              q[4] = {0.5f, 0.5f, -0.5f, 0.5f};
        EXPECT_TRUE(viewer.WriteIntDataBlock(&scale, 1, 5));
        EXPECT_TRUE(viewer.WriteIntDataBlock(&defScale, 1, 4));
        EXPECT_TRUE(viewer.WriteIntDataBlock(pivot, 3, 3));
        EXPECT_TRUE(viewer.WriteIntDataBlock(pan, 2, 2));
        EXPECT_TRUE(viewer.WriteIntDataBlock(q, 4, 1));
    };
    float scale = 0, defScale = 0, pivot[3] = {}, pan[2] = {}, q[4] = {};
    if (transport == Transport::File) {
        // Files carry what was written before: the reply is there first.
        writeReply();
        EXPECT_TRUE(engine.SendGetCamera("iso view", scale, defScale, pivot, pan, q));
        readRequest();
    } else {
        std::thread t([&] {
            readRequest();
            writeReply();
        });
        EXPECT_TRUE(engine.SendGetCamera("iso view", scale, defScale, pivot, pan, q));
        t.join();
    }
    EXPECT_EQ(scale, 2.5f);
    EXPECT_EQ(defScale, 1.25f);
    EXPECT_EQ(pivot[0], 1);
    EXPECT_EQ(pivot[1], 2);
    EXPECT_EQ(pivot[2], 3);
    EXPECT_EQ(pan[0], -0.5f);
    EXPECT_EQ(pan[1], 0.75f);
    EXPECT_EQ(q[0], 0.5f);
    EXPECT_EQ(q[2], -0.5f);
}

std::vector<RoundTripParam> Params() {
    std::vector<RoundTripParam> out;
    for (int k : {0, 1, 5, 1024, 65536, 300000})
        for (Transport t : {Transport::Socket, Transport::Pipe, Transport::File}) out.push_back({k, t});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Link, LinkRoundTrip, ::testing::ValuesIn(Params()),
                         [](const ::testing::TestParamInfo<RoundTripParam>& info) {
                             return std::string(linktest::TransportName(info.param.transport)) + "_K" +
                                    std::to_string(info.param.k);
                         });

}  // namespace
