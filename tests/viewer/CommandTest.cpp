// Commands sent by a fake engine over real loopback TCP into a window-less
// viewer and executed by CheckForCommand.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <QTest>

#include "TestSupport.h"
#include "platform/MessageSink.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using Cmd = LinkStream::Cmd;
using Tok = LinkStream::Tok;
using Clock = std::chrono::steady_clock;

// A connected pair of loopback TCP sockets.
bool TcpPair(int& a, int& b) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bool ok = bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(listener, 1) == 0 &&
              getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    a = socket(AF_INET, SOCK_STREAM, 0);
    ok = ok && connect(a, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    b = ok ? accept(listener, nullptr, nullptr) : -1;
    close(listener);
    return ok && b >= 0;
}

int g_exitStatus = -1;
int g_callbacks = 0;
void RecordExit(int status) { g_exitStatus = status; }
void CountCallback() { ++g_callbacks; }

// A triangle fan of n vertices (n >= 3) on the unit circle, colour values 0..1.
void SendMesh(LinkStream& out, int n) {
    std::vector<float> xyz, colours;
    for (int i = 0; i < n; ++i) {
        const double a = 6.283185307179586 * i / n;
        xyz.insert(xyz.end(), {float(std::cos(a)), float(std::sin(a)), float(i % 3) * 0.1f});
        colours.push_back(float(i) / float(n));
    }
    std::vector<int> faces;
    for (int i = 1; i + 1 < n; ++i) faces.insert(faces.end(), {3, 0, i, i + 1});
    int f = n - 2, e = int(faces.size());
    out.WriteCommand(Cmd::LOAD_GRAPHIC);
    out.WriteToken(Tok::VERTICES);
    out.WriteIntDataBlock(&n, 1, 1);
    out.WriteIntDataBlock(xyz.data(), 3 * n, 0);
    out.WriteToken(Tok::VERTEX_COLORS);
    out.WriteIntDataBlock(&n, 1, 1);
    out.WriteIntDataBlock(colours.data(), n, 0);
    out.WriteToken(Tok::FACES);
    out.WriteIntDataBlock(&f, 1, 2);
    out.WriteIntDataBlock(&e, 1, 1);
    out.WriteIntDataBlock(faces.data(), e, 0);
    out.WriteToken(Tok::DONE);
}

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        ASSERT_TRUE(TcpPair(commandsOut, commandsIn));
        ASSERT_TRUE(TcpPair(repliesOut, repliesIn));
        engine.writeHandle = commandsOut;
        engine.writeIsSocket = true;
        engine.readHandle = repliesIn;
        engine.readIsSocket = true;
        viewer->link.readHandle = commandsIn;
        viewer->link.readIsSocket = true;
        viewer->link.writeHandle = repliesOut;
        viewer->link.writeIsSocket = true;
        viewer->commandCallback = &CountCallback;
        viewer->drawingSuspended = false;  // a window-less viewer starts without frames
        g_callbacks = 0;
        g_exitStatus = -1;
        previousHook = vkoViewer::SetExitHook(&RecordExit);
    }
    void TearDown() override {
        vkoViewer::SetExitHook(previousHook);
        engine.readHandle = engine.writeHandle = -1;
        viewer->link.readHandle = viewer->link.writeHandle = -1;
        for (int fd : {commandsOut, commandsIn, repliesOut, repliesIn})
            if (fd >= 0) close(fd);
    }
    // Shuts the engine's command connection (the viewer then sees the end).
    void CloseEngine() {
        close(commandsOut);
        commandsOut = -1;
        engine.writeHandle = -1;
    }
    void SendRaw(const std::string& bytes) { ASSERT_TRUE(engine.WriteTransfer(bytes.data(), bytes.size())); }
    void SendRawCommand(const char* name) {
        const int n = int(std::strlen(name)) + 1;
        const unsigned char len[4] = {0, 0, 0, static_cast<unsigned char>(n)};
        SendRaw("vkoCommandKey");
        SendRaw(std::string(reinterpret_cast<const char*>(len), 4));
        SendRaw(std::string(name, size_t(n)));
    }
    // One poll once the first command has arrived (or a second has passed).
    void Poll() {
        pollfd p{commandsIn, POLLIN, 0};
        ::poll(&p, 1, 1000);
        viewer->CheckForCommand(-1);
    }
    bool ReplyWaiting() {
        pollfd p{repliesIn, POLLIN, 0};
        return ::poll(&p, 1, 200) == 1;
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    LinkStream engine;
    int commandsOut = -1, commandsIn = -1, repliesOut = -1, repliesIn = -1;
    vkoViewer::ExitHook previousHook = nullptr;
    platform::MessageRecorder messages;
};

TEST_F(CommandTest, NothingWaitingReturnsAtOnce) {
    auto start = Clock::now();
    viewer->CheckForCommand(-1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(g_callbacks, 0);
    // A link that is not a readable socket is not polled at all.
    viewer->link.readIsSocket = false;
    engine.SendCommand(Cmd::SHUTDOWN);
    viewer->CheckForCommand(1);
    EXPECT_EQ(g_exitStatus, -1);
}

TEST_F(CommandTest, SeveralCommandsInOnePollRunInOrder) {
    const size_t shownBefore = viewer->currentViewport->objects.size();
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "alpha");
    SendMesh(engine, 5);
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "beta");
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "alpha");  // existing: made current, not added again
    engine.SendCommand(Cmd::RESPOND_AFTER_UPDATE);
    engine.BeginParameters();
    engine.WriteIntToken(Tok::DRAW_FACES, 0, false);
    engine.EndParameters();
    engine.SendStringCommand(Cmd::SELECT_GRAPHIC, "beta");
    engine.SendStringCommand(Cmd::DELETE_GRAPHIC, "beta");
    engine.SendStringCommand(Cmd::SELECT_GRAPHIC, "nobody");
    Poll();

    EXPECT_EQ(g_callbacks, 9);
    vkoGraphicObj* alpha = viewer->FindGraphic("alpha");
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(alpha->data, nullptr);
    EXPECT_EQ(alpha->data->numVertices, 5);
    EXPECT_EQ(alpha->data->numFaces, 3);
    EXPECT_FALSE(alpha->faces);  // the parameters went to alpha, the current object then
    EXPECT_EQ(viewer->FindGraphic("beta"), nullptr);
    EXPECT_EQ(viewer->currentGraphic, nullptr);
    EXPECT_EQ(viewer->currentViewport->objects.size(), shownBefore + 1);
    EXPECT_FALSE(viewer->drawingSuspended);
    // SET_PARAMETRS ended with a frame, whose end answered RESPOND_AFTER_UPDATE.
    EXPECT_FALSE(viewer->respondAfterUpdate);
    ASSERT_TRUE(ReplyWaiting());
    EXPECT_EQ(engine.ReadCommand(), Cmd::UPDATE_DONE);
    EXPECT_TRUE(messages.entries().empty());
}

TEST_F(CommandTest, DontUpdateHoldsFramesAndUpdateDoneWaitsForOne) {
    engine.SendIntCommand(Cmd::DONT_UPDATE, 1);
    engine.SendCommand(Cmd::RESPOND_AFTER_UPDATE);
    engine.BeginParameters();
    engine.WriteIntToken(Tok::DRAW_FACES, 1, false);
    engine.EndParameters();
    Poll();
    // SET_PARAMETRS kept the engine's suspension; no frame, so no answer yet.
    EXPECT_TRUE(viewer->drawingSuspended);
    EXPECT_TRUE(viewer->respondAfterUpdate);
    EXPECT_FALSE(ReplyWaiting());

    engine.SendIntCommand(Cmd::DONT_UPDATE, 0);
    Poll();
    EXPECT_FALSE(viewer->drawingSuspended);
    ASSERT_TRUE(ReplyWaiting());
    EXPECT_EQ(engine.ReadCommand(), Cmd::UPDATE_DONE);
}

TEST_F(CommandTest, LogoNameInAnyCaseSwallowsItsGeometry) {
    for (const char* name : {"krv logo", "TORVA VARNHOLT LOGO"}) {
        SCOPED_TRACE(name);
        const size_t objectsBefore = viewer->objectsById.size();
        engine.SendStringCommand(Cmd::NEW_GRAPHIC, "keep");
        SendMesh(engine, 4);
        engine.SendStringCommand(Cmd::NEW_GRAPHIC, name);
        SendMesh(engine, 6);
        engine.SendCommand(Cmd::CENTER_VIEW);
        Poll();
        EXPECT_EQ(g_callbacks, 5);
        g_callbacks = 0;
        EXPECT_EQ(viewer->FindGraphic(name), nullptr);
        EXPECT_EQ(viewer->currentGraphic, nullptr);
        vkoGraphicObj* keep = viewer->FindGraphic("keep");
        ASSERT_NE(keep, nullptr);
        EXPECT_EQ(keep->data->numVertices, 4);  // the logo's 6 vertices went nowhere
        EXPECT_LE(viewer->objectsById.size(), objectsBefore + 1);
    }
}

TEST_F(CommandTest, GetCameraAnswersSavedOrCurrentViewportCamera) {
    SavedCamera* saved = viewer->AddSavedCamera("side");
    saved->view.scale = 2.5f;
    saved->view.defscale = 0.5f;
    saved->view.pivot[2] = 7.0f;
    saved->view.pan[0] = -3.0f;
    saved->view.rotation.set(0.0f, 1.0f, 0.0f, 0.0f);
    Transform* own = viewer->currentViewport->view;
    own->scale = 4.0f;
    own->pan[1] = 9.0f;

    struct Case {
        const char* name;
        const Transform* expected;
    };
    for (const Case& c : {Case{"side", &saved->view}, Case{"no such camera", own}}) {
        SCOPED_TRACE(c.name);
        float scale = 0, defScale = 0, pivot[3], pan[2], q[4];
        auto asked = std::async(std::launch::async,
                                [&] { return engine.SendGetCamera(c.name, scale, defScale, pivot, pan, q); });
        Poll();
        ASSERT_TRUE(asked.get());
        EXPECT_EQ(scale, c.expected->scale);
        EXPECT_EQ(defScale, c.expected->defscale);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(pivot[i], c.expected->pivot[i]);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(pan[i], c.expected->pan[i]);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(q[i], c.expected->rotation.value()[i]);
    }
}

TEST_F(CommandTest, ProjectedAreaAnswersCalcDoneAndTheArea) {
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "mesh");
    SendMesh(engine, 8);
    engine.SendCommand(Cmd::GET_PROJECTED_AREA);
    Poll();
    ASSERT_TRUE(ReplyWaiting());
    EXPECT_EQ(engine.ReadCommand(), Cmd::CALC_DONE);
    float area = -1.0f;
    ASSERT_TRUE(engine.ReadFloat(area));
    EXPECT_EQ(area, viewer->projectedArea);

    // Without a write side nothing is computed or sent.
    viewer->link.writeHandle = -1;
    engine.SendCommand(Cmd::GET_PROJECTED_AREA);
    Poll();
    EXPECT_FALSE(ReplyWaiting());
    EXPECT_EQ(g_callbacks, 4);
}

TEST_F(CommandTest, RefusedAndUnknownCommands) {
    struct Case {
        const char* name;  // sent as a raw command name
        bool standAlone;
    };
    const Case cases[] = {{"CALC_DONE", false}, {"UPDATE_DONE", false}, {"NO_SUCH_COMMAND", false},
                          {"CALC_DONE", true},  {"UPDATE_DONE", true},  {"NO_SUCH_COMMAND", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.standAlone ? " stand-alone" : " embedded"));
        TearDown();
        SetUp();
        viewer->standAlone = c.standAlone;
        SendRawCommand(c.name);
        engine.SendStringCommand(Cmd::NEW_GRAPHIC, "never");
        Poll();
        EXPECT_EQ(messages.texts(), std::vector<std::string>{"ERROR in CheckForCommand: Command not recognized\n"});
        EXPECT_EQ(viewer->FindGraphic("never"), nullptr);
        if (c.standAlone) {
            EXPECT_EQ(g_exitStatus, 1);
            EXPECT_EQ(g_callbacks, 0);
        } else {
            EXPECT_EQ(g_exitStatus, -1);
            EXPECT_EQ(g_callbacks, 1);
            EXPECT_EQ(viewer->link.readHandle, -1);
            EXPECT_FALSE(viewer->link.readIsSocket);
            // Closed for good: the waiting command is never read.
            viewer->CheckForCommand(1);
            EXPECT_EQ(viewer->FindGraphic("never"), nullptr);
        }
        messages.clear();
    }
}

TEST_F(CommandTest, ShutdownEndsWithStatusOneInBothModes) {
    for (bool standAlone : {true, false}) {
        viewer->standAlone = standAlone;
        g_exitStatus = -1;
        engine.SendCommand(Cmd::SHUTDOWN);
        engine.SendStringCommand(Cmd::NEW_GRAPHIC, "after");
        Poll();
        EXPECT_EQ(g_exitStatus, 1);
        EXPECT_EQ(viewer->FindGraphic("after"), nullptr);
        // The rest is still there for a poll that nobody will make.
        Poll();
        EXPECT_EQ(g_exitStatus, 1);
        ASSERT_NE(viewer->FindGraphic("after"), nullptr);
        viewer->SelectGraphic("after");
        viewer->DeleteCurGraphic();
    }
}

TEST_F(CommandTest, CompressedTransfersCarryCommandsAndReplies) {
    engine.compressBufferSize = 1024;
    viewer->link.compressBufferSize = 1024;
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, std::string(3000, 'n').c_str());
    SendMesh(engine, 2000);
    engine.SendCommand(Cmd::GET_PROJECTED_AREA);
    Poll();
    vkoGraphicObj* object = viewer->FindGraphic(std::string(3000, 'n').c_str());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->data->numVertices, 2000);
    EXPECT_EQ(object->data->numFaces, 1998);
    EXPECT_EQ(engine.ReadCommand(), Cmd::CALC_DONE);
    float area;
    EXPECT_TRUE(engine.ReadFloat(area));
    EXPECT_TRUE(messages.entries().empty());
}

// The engine goes away or stops in the middle of a LOAD_GRAPHIC.
TEST_F(CommandTest, PeerGoneOrStalledMidLoadKeepsTheScene) {
    viewer->standAlone = false;
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "keep");
    SendMesh(engine, 5);
    Poll();
    ASSERT_NE(viewer->FindGraphic("keep"), nullptr);

    // Stalled: a short limit lets the read fail instead of waiting forever.
    viewer->commandStallSeconds = 1;
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "half");
    engine.WriteCommand(Cmd::LOAD_GRAPHIC);
    engine.WriteToken(Tok::VERTICES);
    const int n = 1000;
    engine.WriteIntDataBlock(&n, 1, 1);
    engine.WriteDataBlockHeader(0, 4 * n);
    SendRaw(std::string(400, '\0'));
    auto start = Clock::now();
    Poll();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_GE(viewer->link.readHandle, 0);  // a stall does not end the link

    // Gone: the rest never comes and the connection ends.
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "cut");
    engine.WriteCommand(Cmd::LOAD_GRAPHIC);
    engine.WriteToken(Tok::FACES);
    SendRaw(std::string(6, '\x7f'));
    CloseEngine();
    Poll();
    EXPECT_EQ(viewer->link.readHandle, -1);
    EXPECT_EQ(g_exitStatus, -1);
    vkoGraphicObj* keep = viewer->FindGraphic("keep");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->data->numVertices, 5);
    EXPECT_TRUE(viewer->Redraw());
}

// A killed engine: the kernel resets the connection in the middle of the item.
TEST_F(CommandTest, PeerResetMidLoadKeepsTheScene) {
    viewer->standAlone = false;
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "keep");
    SendMesh(engine, 6);
    Poll();  // a reset discards what the receiver has not read yet
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "cut");
    engine.WriteCommand(Cmd::LOAD_GRAPHIC);
    engine.WriteToken(Tok::VERTICES);
    const int n = 100000;
    engine.WriteIntDataBlock(&n, 1, 1);
    engine.WriteDataBlockHeader(0, 12 * n);
    SendRaw(std::string(5000, '\1'));
    linger reset{1, 0};
    setsockopt(commandsOut, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    CloseEngine();
    Poll();
    EXPECT_EQ(viewer->link.readHandle, -1);
    vkoGraphicObj* keep = viewer->FindGraphic("keep");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->data->numVertices, 6);
    EXPECT_TRUE(viewer->Redraw());
}

TEST_F(CommandTest, GarbageIsSkippedUpToTheNextCommand) {
    viewer->standAlone = false;
    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < 5000; ++i) {
        state = state * 1103515245u + 12345u;
        noise += char(state >> 16);
    }
    SendRaw(noise);
    SendRaw("vkoCommandKe");  // a key cut short is noise too
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "found");
    // A command with garbage where its string should be: the poll stops there.
    engine.WriteCommand(Cmd::SELECT_GRAPHIC);
    SendRaw(std::string("\xff\xff\xff\xf0\x7f\xff\xff\xff", 8));
    engine.SendStringCommand(Cmd::NEW_GRAPHIC, "next");
    Poll();
    EXPECT_NE(viewer->FindGraphic("found"), nullptr);
    EXPECT_EQ(g_callbacks, 1);
    // The next poll resynchronises on the next command key.
    Poll();
    EXPECT_NE(viewer->FindGraphic("next"), nullptr);

    SendRaw(noise);
    CloseEngine();
    Poll();
    EXPECT_EQ(viewer->link.readHandle, -1);
    EXPECT_TRUE(messages.entries().empty());
}

TEST_F(CommandTest, DumpStateAndReadViewsReachTheFiles) {
    const std::string dir = testsupport::ScratchDir("CommandTest_Dump");
    const std::string state = dir + "/dumped.state";
    engine.SendStringCommand(Cmd::DUMP_STATE, state.c_str());
    engine.SendStringCommand(Cmd::READ_VIEWS, (dir + "/missing.cameras").c_str());
    Poll();
    EXPECT_EQ(g_callbacks, 2);
    std::ifstream in(state);
    EXPECT_TRUE(in.good());
}

// The stand-alone program driven by the engine tool, ended by SHUTDOWN.
TEST(CommandProgram, EngineToolShutsDownTheViewerProgram) {
    const std::string bin = std::string(VIEWER_BINARY_DIR) + "/bin/";
    if (access((bin + "viewer").c_str(), X_OK) != 0 || access((bin + "engine").c_str(), X_OK) != 0)
        GTEST_SKIP() << "build the viewer and engine programs to run this test";
    const std::string dir = testsupport::ScratchDir("CommandProgram");
    {
        std::ofstream obj(dir + "/quad.obj");
        obj << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n";
    }
    const std::string cmd = "cd " + dir + " && QT_QPA_PLATFORM=offscreen " + bin + "engine --viewer " + bin +
                            "viewer --compress 1024 --color height --script 'camera;area;dump " + dir +
                            "/s.state;shutdown' " + dir + "/quad.obj > " + dir + "/engine.out 2>&1";
    int status = std::system(cmd.c_str());
    std::ifstream out(dir + "/engine.out");
    std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("viewer exit status 1"), std::string::npos) << text;
    EXPECT_NE(text.find("CALC_DONE"), std::string::npos) << text;
}

}  // namespace

namespace {

// The engine tool's graphic data file loads as one object.
TEST(CommandProgram, EngineToolWritesAGraphicDataFile) {
    const std::string bin = std::string(VIEWER_BINARY_DIR) + "/bin/";
    if (access((bin + "engine").c_str(), X_OK) != 0) GTEST_SKIP() << "build the engine program to run this test";
    const std::string dir = testsupport::ScratchDir("CommandProgramWrite");
    {
        std::ofstream obj(dir + "/tri.obj");
        obj << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 1\nf 1 2 3\nf 1 3 4\n";
    }
    const std::string cmd = bin + "engine --color height --write " + dir + "/tri.dat " + dir + "/tri.obj > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "prog -n");
    ASSERT_NE(viewer, nullptr);
    std::unique_ptr<krvViewer> box(viewer->Widget());
    const std::string path = dir + "/tri.dat";
    ASSERT_TRUE(ViewerLoadDataFile(viewer, path.c_str(), 1, 0));
    vkoGraphicObj* object = viewer->FindGraphic(path.c_str());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->data->numVertices, 4);
    EXPECT_EQ(object->data->numFaces, 2);
    EXPECT_EQ(object->data->vertexColours.size(), 4u);
}

}  // namespace

namespace {

// "-n -r PORT": the viewer connects to the engine and its timer polls.
TEST(CommandRemote, WindowLessRemoteViewerPollsFromItsTimer) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int port = ntohs(addr.sin_port);

    LinkStream engine;
    auto handshake = std::async(std::launch::async, [&] {
        engine.readHandle = accept(listener, nullptr, nullptr);
        unsigned char b[4];
        if (!LinkStream::RawRead(engine.readHandle, b, 4)) return false;
        sockaddr_in back = addr;
        back.sin_port = htons(static_cast<uint16_t>((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]));
        engine.writeHandle = socket(AF_INET, SOCK_STREAM, 0);
        return connect(engine.writeHandle, reinterpret_cast<sockaddr*>(&back), sizeof back) == 0;
    });
    const std::string args = "prog -n -r " + std::to_string(port);
    vkoViewer* viewer = CreateViewer(nullptr, true, true, args.c_str());
    ASSERT_TRUE(handshake.get());
    ASSERT_NE(viewer, nullptr);
    std::unique_ptr<krvViewer> box(viewer->Widget());
    EXPECT_TRUE(viewer->link.readIsSocket);
    EXPECT_TRUE(viewer->link.writeIsSocket);

    ASSERT_TRUE(engine.SendStringCommand(Cmd::NEW_GRAPHIC, "remote"));
    for (int i = 0; i < 30 && !viewer->FindGraphic("remote"); ++i) QTest::qWait(50);
    EXPECT_NE(viewer->FindGraphic("remote"), nullptr);

    for (int* fd : {&viewer->link.readHandle, &viewer->link.writeHandle, &engine.readHandle, &engine.writeHandle}) {
        close(*fd);
        *fd = -1;
    }
    close(listener);
}

TEST(CommandRemote, NoEngineGivesNoViewer) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    close(s);  // a port with nobody listening
    const std::string args = "prog -n -r " + std::to_string(ntohs(addr.sin_port));
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateViewer(nullptr, true, true, args.c_str()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error connecting socket\n"), std::string::npos);
}

}  // namespace
