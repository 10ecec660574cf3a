// The Outlook store keeps the contact store's contract, against the stand-in
// out of process (as Outlook runs) and in process.
#include "contact_store_contract.h"
#include "standin_fixture.h"

using OutOfProcess = StandInStoreFixture<standin::Server::OutOfProcess>;
using InProcess = StandInStoreFixture<standin::Server::InProcess>;

CONTACT_STORE_CONTRACT(OutOfProcess, "Outlook store, stand-in out of process")
CONTACT_STORE_CONTRACT(InProcess, "Outlook store, stand-in in process")
