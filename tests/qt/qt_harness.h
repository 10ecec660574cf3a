#pragma once

#include "dialog_window.h"
#include "fake_contact_store.h"
#include "fake_platform.h"
#include "system_tray_icon.h"
#include "tcp_socket_layer.h"
#include "test_peer.h"

#include <QStringList>

// The real window on a real TCP socket on a free loopback port, with the
// logic's doubles for the address book, the boxes and the browser.
struct QtHarness {
    QtHarness();
    void Start() { window->Logic().Form_Load(); }
    uint16_t Port() { return window->Socket().LocalPort(); }
    const DialogWidgets &ui() const { return window->Widgets(); }
    // Connects the peer and waits until the window has taken its connection.
    bool StartSession(TestPeer &peer, bool ipv6 = false);
    // Waits until the peer has seen the end of the stream.
    bool WaitForEnd(TestPeer &peer);
    // Clicks the list entry with this text, with the keyboard modifiers given.
    void Click(const QString &entryText, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    QStringList ListedTexts() const;
    QStringList ComboEntries() const;

    Journal journal;
    FakeBoxes boxes{journal};
    FakeUrls urls{journal};
    std::shared_ptr<FakeAddressBook> book = std::make_shared<FakeAddressBook>();
    std::unique_ptr<DialogWindow> window;
};
