// The Outlook store keeps the contact store's contract, against the stand-in
// out of process (as Outlook runs) and in process, reading through Outlook's
// table and item by item.
#include "contact_store_contract.h"
#include "standin_fixture.h"

using standin::Server;
using OutOfProcess = StandInStoreFixture<Server::OutOfProcess>;
using InProcess = StandInStoreFixture<Server::InProcess>;
using OutOfProcessItemByItem = StandInStoreFixture<Server::OutOfProcess, Way::ItemByItem>;
using InProcessItemByItem = StandInStoreFixture<Server::InProcess, Way::ItemByItem>;

CONTACT_STORE_CONTRACT(OutOfProcess, "Outlook store, stand-in out of process")
CONTACT_STORE_CONTRACT(InProcess, "Outlook store, stand-in in process")
CONTACT_STORE_CONTRACT(OutOfProcessItemByItem, "Outlook store item by item, stand-in out of process")
CONTACT_STORE_CONTRACT(InProcessItemByItem, "Outlook store item by item, stand-in in process")
