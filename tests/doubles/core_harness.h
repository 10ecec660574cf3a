#pragma once

#include "fake_contact_store.h"
#include "fake_platform.h"
#include "recipient.h"
#include "texts.h"

#include <memory>

// The program's logic on doubles of every seam, as a user and a fax server
// would drive it.
struct CoreHarness {
    CoreHarness();
    // Start-up; the address book opens with what `open` gives.
    void Start();
    // A fax server connects.
    void Request(int32_t requestId = 1);
    // The user selects the list entry with this text.
    void Choose(const std::string &entryText);
    void Type(const std::string &text);
    void SelectTab(int page);

    Journal journal;
    FakeWindow window{journal};
    FakeButton send{journal, "btn_send", false};
    FakeButton cancel{journal, "btn_cancel", true};
    FakeTabControl tab;
    FakeTextBox faxno{journal};
    FakeListBox list{journal};
    FakeComboBox combo{journal};
    FakeLabel notify{journal, "fax_notify", Text(texts::Headline)};
    FakeSocket socket{journal};
    FakeTray tray{journal};
    FakeBoxes boxes{journal};
    FakeUrls urls{journal};
    FakeTimer timer{journal};
    std::shared_ptr<FakeAddressBook> book = std::make_shared<FakeAddressBook>();
    std::function<std::unique_ptr<ContactStore>()> open = [this] { return std::make_unique<FakeContactStore>(book); };
    std::unique_ptr<frm_outlook> program;
};
