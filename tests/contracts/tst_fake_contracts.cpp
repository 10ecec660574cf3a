// The doubles the logic's tests rely on keep the same contracts as the real
// socket and address books.
#include "contact_store_contract.h"
#include "fake_platform.h"
#include "socket_contract.h"

#include <memory>

namespace {
struct FakeSocketFixture {
    Journal journal;
    FakeSocket socket{journal};
    RecordedEvents events;
    FakeSocketFixture() { socket.events = &events; }
    Socket &Sock() { return socket; }
    std::unique_ptr<FakePeer> NewPeer() { return std::make_unique<FakePeer>(socket); }
    bool PumpUntil(const std::function<bool()> &done)
    {
        while (!done()) {
            if (!socket.Pump())
                return done();
        }
        return true;
    }
    void TakePort() { socket.portTaken = true; }
};
} // namespace

CONTACT_STORE_CONTRACT(FakeStoreFixture, "fake address book")
SOCKET_CONTRACT(FakeSocketFixture, "fake socket")
