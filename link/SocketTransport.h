#pragma once
// The stand-alone viewer's pair of TCP connections to the engine process:
// the viewer connects to the engine's port and writes its replies there; the
// engine connects back to a port the viewer listens on and sends commands on
// that second connection.  Failures print one line on standard error and
// return -1 or false.
#include <string>

class LinkStream;

// Starts the socket layer once per process (later calls return at once).
bool StartSockets();

// A listening TCP socket on an ephemeral port of every local IPv4 address
// (backlog 5); the port goes to port.  -1 on failure.
int OpenServerSocket(int& port);

// A TCP connection to port on this host, or -1.
int ConnectToLocalPort(int port);

// Waits (timeoutSeconds > 0: at most that long, otherwise without limit) for
// a connection on listenSocket and returns the accepted socket, or -1.  Only
// a peer on this host is accepted: a connection from any other address is
// closed with a message and the wait goes on for the real one.  peerName,
// when given, receives the peer's host name ("unknown" when the look-up
// fails).
int ConnectReadSock(int listenSocket, int timeoutSeconds, std::string* peerName);

// The handshake of "-r port": connect to the engine (write side), listen on
// a new port, send that port as 4 bytes big-endian, accept the engine's
// connection back (read side).  False on any failure; the sockets it made
// are closed then and the link's handles are -1.
bool ConnectLink(LinkStream& link, int port);

// True when addr (IPv4, network order) is a loopback address or one of this
// host's interface addresses.
bool IsAddressOfThisHost(unsigned int addrNetworkOrder);
