// The Winsock socket keeps the contract every socket of the program keeps,
// on a real port of its own, with its events pumped like the program's loop.
#include "pump.h"
#include "socket_contract.h"
#include "test_peer.h"
#include "winsock_socket.h"

#include <memory>

namespace {
struct PortPeer {
    explicit PortPeer(uint16_t port) : port(port) {}
    bool Connect(bool ipv6) { return peer.Connect(port, ipv6); }
    bool Poll() { return peer.Poll(); }
    const std::string &Received() const { return peer.Received(); }
    bool Ended() const { return peer.Ended(); }
    bool WasReset() const { return peer.WasReset(); }
    void Send(const std::string &bytes) { peer.Send(bytes); }
    void ShutdownWrite() { peer.ShutdownWrite(); }
    void Reset() { peer.Reset(); }
    uint16_t port;
    TestPeer peer;
};

struct WinsockFixture {
    RecordedEvents events;
    WinsockSocket socket{FreePort(), &events};
    SOCKET taker = INVALID_SOCKET;
    ~WinsockFixture()
    {
        if (taker != INVALID_SOCKET)
            closesocket(taker);
    }
    Socket &Sock() { return socket; }
    std::unique_ptr<PortPeer> NewPeer() { return std::make_unique<PortPeer>(socket.LocalPort()); }
    bool PumpUntil(const std::function<bool()> &done) { return ::PumpUntil(done); }
    // Another program listens on IPv4 only: the dual-stack listener must
    // still find the port taken.
    void TakePort()
    {
        taker = socket_(AF_INET);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(socket.LocalPort());
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        REQUIRE(bind(taker, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        REQUIRE(listen(taker, 1) == 0);
    }
    static SOCKET socket_(int family) { return ::socket(family, SOCK_STREAM, IPPROTO_TCP); }
};
} // namespace

SOCKET_CONTRACT(WinsockFixture, "Winsock socket")
