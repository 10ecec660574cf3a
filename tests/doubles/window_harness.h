#pragma once

#include "app/frm_outlook.h"
#include "doubles/fake_contact_store.h"
#include "doubles/recording_platform.h"
#include "doubles/tcp_peer.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include "dialog/tab_control.h"

// The real window on a free loopback port, with doubles for everything else.
struct WindowHarness {
    explicit WindowHarness(quint16 port = 0, std::function<std::unique_ptr<ContactStore>()> open = {});

    const DialogControls &ui() const { return window->Controls(); }
    quint16 Port() const { return socket->LocalPort(); }
    // Connects a peer and waits until the window has taken its connection.
    bool StartSession(TcpPeer &peer);
    // Selects the list entry with this text, as a click would.
    void Select(const QString &entryText);
    QStringList ListedTexts() const;
    QStringList ComboEntries() const;

    RecordingMessageBoxes boxes;
    RecordingUrlOpener urls;
    std::shared_ptr<FakeAddressBook> book = std::make_shared<FakeAddressBook>();
    RecordingSocketLayer *socket = nullptr;
    FakeTrayIcon *tray = nullptr;
    std::unique_ptr<frm_outlook> window;
};
