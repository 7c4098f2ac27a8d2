#include "link/SocketTransport.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "link/LinkStream.h"
#include "platform/Sockets.h"

namespace {

void Line(const char* text) { std::fputs(text, stderr); }

}  // namespace

bool StartSockets() { return platform::StartSocketLibrary(); }

int OpenServerSocket(int& port) {
    if (!StartSockets()) return -1;
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        Line(" Error creating socket\n");
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) {
        Line("Error binding socket\n");
        ::close(s);
        return -1;
    }
    if (::listen(s, 5) < 0) {
        Line("Error in 'listen'\n");
        ::close(s);
        return -1;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
        Line("Error getting port number\n");
        ::close(s);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return s;
}

int ConnectToLocalPort(int port) {
    if (!StartSockets()) return -1;
    if (port < 0 || port > 65535) {
        Line("Error connecting socket\n");
        return -1;
    }
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        Line("Error creating socket\n");
        return -1;
    }
    // The engine runs on this machine; the loopback address reaches it
    // whatever the host's own name resolves to (or whether it resolves).
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    int r;
    do {
        r = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        Line("Error connecting socket\n");
        ::close(s);
        return -1;
    }
    return s;
}

bool IsAddressOfThisHost(unsigned int addrNetworkOrder) {
    if ((ntohl(addrNetworkOrder) >> 24) == 127) return true;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool found = false;
    for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        found = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == addrNetworkOrder;
    }
    ::freeifaddrs(list);
    return found;
}

int ConnectReadSock(int listenSocket, int timeoutSeconds, std::string* peerName) {
    using Clock = std::chrono::steady_clock;
    const bool limited = timeoutSeconds > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limited ? timeoutSeconds : 0);
    for (;;) {
        if (listenSocket < 0 || listenSocket >= FD_SETSIZE) {
            Line("Error in ConnectReadSock: select\n");
            return -1;
        }
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(listenSocket, &readSet);
        timeval tv{};
        timeval* wait = nullptr;
        if (limited) {
            auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            if (left < 0) left = 0;
            tv.tv_sec = static_cast<time_t>(left / 1000000);
            tv.tv_usec = static_cast<suseconds_t>(left % 1000000);
            wait = &tv;
        }
        int n = ::select(listenSocket + 1, &readSet, nullptr, nullptr, wait);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Line("Error in ConnectReadSock: select\n");
            return -1;
        }
        if (n == 0) {
            Line("Error in ConnectReadSock: connection timeout\n");
            return -1;
        }
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int s = ::accept(listenSocket, reinterpret_cast<sockaddr*>(&peer), &len);
        if (s < 0 && (errno == EINTR || errno == ECONNABORTED)) continue;
        if (s < 0) {
            Line("Error in ConnectReadSock: accept\n");
            return -1;
        }
        // The listening socket is bound to every address, so anybody who can
        // reach this machine could otherwise become the command source.
        if (peer.sin_family != AF_INET || !IsAddressOfThisHost(peer.sin_addr.s_addr)) {
            Line("Error in ConnectReadSock: connection from another host refused\n");
            ::close(s);
            continue;
        }
        if (peerName) {
            char host[NI_MAXHOST];
            if (::getnameinfo(reinterpret_cast<sockaddr*>(&peer), len, host, sizeof host, nullptr, 0, NI_NAMEREQD) ==
                0)
                *peerName = host;
            else
                *peerName = "unknown";
        }
        return s;
    }
}

bool ConnectLink(LinkStream& link, int port) {
    link.writeHandle = ConnectToLocalPort(port);
    link.writeIsSocket = true;
    if (link.writeHandle < 0) return false;

    auto fail = [&link](int listenSocket) {
        if (listenSocket >= 0) ::close(listenSocket);
        platform::CloseHandle(link.writeHandle);
        link.writeHandle = -1;
        return false;
    };
    int listenPort = 0;
    int listenSocket = OpenServerSocket(listenPort);
    if (listenSocket < 0) return fail(-1);

    const unsigned char bytes[4] = {static_cast<unsigned char>(listenPort >> 24),
                                    static_cast<unsigned char>(listenPort >> 16),
                                    static_cast<unsigned char>(listenPort >> 8),
                                    static_cast<unsigned char>(listenPort)};
    if (!LinkStream::RawWrite(link.writeHandle, bytes, 4)) return fail(listenSocket);

    std::string peer;
    int readSocket = ConnectReadSock(listenSocket, 0, &peer);
    if (readSocket < 0) return fail(listenSocket);
    // Only one connection is ever accepted; a listener left open would keep
    // a port of this process reachable for the viewer's whole life.
    ::close(listenSocket);
    link.readHandle = readSocket;
    link.readIsSocket = true;
    link.SetPeerHostName(peer.c_str());
    return true;
}
