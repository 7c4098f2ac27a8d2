// The stand-alone handshake over real loopback TCP: a fake engine listens,
// reads the viewer's port and connects back.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "link/LinkStream.h"
#include "link/SocketTransport.h"
#include "platform/Sockets.h"

namespace {

// The engine's side: a loopback listener on an ephemeral port.
struct FakeEngine {
    int listener = -1;
    int port = 0;
    int fromViewer = -1;  // the viewer's connection (replies)
    int toViewer = -1;    // our connection back (commands)
    int viewerPort = -1;
    unsigned char portBytes[4] = {0, 0, 0, 0};

    FakeEngine() {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener, 1);
        socklen_t len = sizeof a;
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~FakeEngine() {
        for (int fd : {listener, fromViewer, toViewer})
            if (fd >= 0) close(fd);
    }
    // Accepts the viewer and reads its 4-byte port.
    bool AcceptViewer() {
        fromViewer = accept(listener, nullptr, nullptr);
        if (fromViewer < 0 || !LinkStream::RawRead(fromViewer, portBytes, 4)) return false;
        viewerPort = (portBytes[0] << 24) | (portBytes[1] << 16) | (portBytes[2] << 8) | portBytes[3];
        return true;
    }
    bool ConnectBack() {
        toViewer = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(viewerPort));
        return connect(toViewer, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
};

void CloseLink(LinkStream& link) {
    platform::CloseHandle(link.readHandle);
    platform::CloseHandle(link.writeHandle);
    link.readHandle = link.writeHandle = -1;
}

bool CanConnect(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

TEST(SocketTransport, HandshakeBuildsBothDirections) {
    FakeEngine engine;
    auto side = std::async(std::launch::async, [&] { return engine.AcceptViewer() && engine.ConnectBack(); });
    LinkStream link;
    ASSERT_TRUE(ConnectLink(link, engine.port));
    ASSERT_TRUE(side.get());

    EXPECT_TRUE(link.readIsSocket);
    EXPECT_TRUE(link.writeIsSocket);
    ASSERT_GE(link.readHandle, 0);
    ASSERT_GE(link.writeHandle, 0);
    ASSERT_NE(link.peerHostName, nullptr);
    EXPECT_STRNE(link.peerHostName, "");
    // The port went big-endian: the bytes decode to a port the viewer listened on.
    EXPECT_GT(engine.viewerPort, 0);
    EXPECT_LT(engine.viewerPort, 65536);
    // The listener is closed once the engine is connected back.
    EXPECT_FALSE(CanConnect(engine.viewerPort));

    // Commands flow on the second connection, replies on the first.
    LinkStream engineOut, engineIn;
    engineOut.writeHandle = engine.toViewer;
    engineIn.readHandle = engine.fromViewer;
    ASSERT_TRUE(engineOut.SendCommand(LinkStream::Cmd::CENTER_VIEW));
    EXPECT_EQ(link.ReadCommand(), LinkStream::Cmd::CENTER_VIEW);
    ASSERT_TRUE(link.WriteCommand(LinkStream::Cmd::UPDATE_DONE));
    EXPECT_EQ(engineIn.ReadCommand(), LinkStream::Cmd::UPDATE_DONE);
    engineOut.writeHandle = -1;
    engineIn.readHandle = -1;
    CloseLink(link);
}

TEST(SocketTransport, StartsOnceAndFailsWithoutEngine) {
    ASSERT_TRUE(StartSockets());
    const int starts = platform::SocketLibraryStartCount();
    ASSERT_TRUE(StartSockets());
    EXPECT_EQ(platform::SocketLibraryStartCount(), starts);

    int freePort = 0;
    {
        FakeEngine gone;  // a port that was just free
        freePort = gone.port;
    }
    LinkStream link;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ConnectLink(link, freePort));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error connecting socket\n");
    EXPECT_EQ(link.writeHandle, -1);
    EXPECT_TRUE(link.writeIsSocket);
    EXPECT_EQ(link.readHandle, -1);
}

TEST(SocketTransport, WaitsForTheConnectionBackWithoutLimit) {
    FakeEngine engine;
    LinkStream link;
    std::atomic<bool> done{false};
    auto viewer = std::async(std::launch::async, [&] {
        bool ok = ConnectLink(link, engine.port);
        done = true;
        return ok;
    });
    ASSERT_TRUE(engine.AcceptViewer());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_FALSE(done.load());
    ASSERT_TRUE(engine.ConnectBack());
    EXPECT_TRUE(viewer.get());
    CloseLink(link);
}

TEST(SocketTransport, AcceptTimesOut) {
    int port = 0;
    int listener = OpenServerSocket(port);
    ASSERT_GE(listener, 0);
    EXPECT_GT(port, 0);
    testing::internal::CaptureStderr();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ConnectReadSock(listener, 1, nullptr), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error in ConnectReadSock: connection timeout\n");
    close(listener);
}

// A second host, built from a network namespace joined to this one by a
// veth pair: its address is not one of ours.
class ForeignPeer : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string id = std::to_string(getpid() % 100000);
        ns = "kvt" + id;
        hostIf = "kvh" + id;
        const std::string peerIf = "kvp" + id;
        subnet = "10.231." + std::to_string(getpid() % 200 + 20);
        const std::string script =
            "ip netns add " + ns + " && ip link add " + hostIf + " type veth peer name " + peerIf +
            " && ip link set " + peerIf + " netns " + ns + " && ip addr add " + subnet + ".1/24 dev " + hostIf +
            " && ip link set " + hostIf + " up && ip netns exec " + ns + " ip addr add " + subnet + ".2/24 dev " +
            peerIf + " && ip netns exec " + ns + " ip link set " + peerIf + " up";
        if (geteuid() != 0 || std::system((script + " >/dev/null 2>&1").c_str()) != 0) {
            Remove();
            GTEST_SKIP() << "cannot build a second host address here (needs root and ip netns)";
        }
        made = true;
    }
    void TearDown() override {
        if (made) Remove();
    }
    void Remove() { std::system(("ip netns del " + ns + " >/dev/null 2>&1; ip link del " + hostIf + " >/dev/null 2>&1").c_str()); }

    // Connects from inside the namespace (this thread only joins it).
    int ConnectFromNamespace(int port) {
        int nsFd = open(("/var/run/netns/" + ns).c_str(), O_RDONLY);
        if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) {
            if (nsFd >= 0) close(nsFd);
            return -1;
        }
        close(nsFd);
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, (subnet + ".1").c_str(), &a.sin_addr);
        a.sin_port = htons(static_cast<uint16_t>(port));
        if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(s);
            return -1;
        }
        return s;
    }

    std::string ns, hostIf, subnet;
    bool made = false;
};

TEST_F(ForeignPeer, ConnectionBackFromAnotherHostIsRefused) {
    in_addr foreign{};
    inet_pton(AF_INET, (subnet + ".2").c_str(), &foreign);
    in_addr own{};
    inet_pton(AF_INET, (subnet + ".1").c_str(), &own);
    EXPECT_FALSE(IsAddressOfThisHost(foreign.s_addr));
    EXPECT_TRUE(IsAddressOfThisHost(own.s_addr));

    FakeEngine engine;
    LinkStream link;
    auto viewer = std::async(std::launch::async, [&] { return ConnectLink(link, engine.port); });
    ASSERT_TRUE(engine.AcceptViewer());

    testing::internal::CaptureStderr();
    // The intruder is closed by the viewer: its read sees the end of the stream.
    int intruder = std::async(std::launch::async, [&] { return ConnectFromNamespace(engine.viewerPort); }).get();
    ASSERT_GE(intruder, 0);
    timeval limit{2, 0};  // an accepted intruder would wait for commands instead
    setsockopt(intruder, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char byte;
    EXPECT_EQ(recv(intruder, &byte, 1, 0), 0);
    close(intruder);
    EXPECT_EQ(viewer.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);

    // The real engine still gets in.
    ASSERT_TRUE(engine.ConnectBack());
    ASSERT_TRUE(viewer.get());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error in ConnectReadSock: connection from another host refused\n");
    LinkStream engineOut;
    engineOut.writeHandle = engine.toViewer;
    ASSERT_TRUE(engineOut.SendCommand(LinkStream::Cmd::SHUTDOWN));
    EXPECT_EQ(link.ReadCommand(), LinkStream::Cmd::SHUTDOWN);
    engineOut.writeHandle = -1;
    CloseLink(link);
}

}  // namespace
