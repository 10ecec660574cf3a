// The address book of Evolution Data Server, with the service running for
// real on the session bus, and how the program chooses its address book.
// Meant for a private session (scripts/test.sh): the tests kill the
// session's address-book service and add to its default address book.
#include "qt_text.h"
#include "address_book.h"
#include "eds_store.h"
#include "eds_test_book.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kProbeEndsWithinMs = 30000;
// Changes made by another program reach the store as notifications of the
// service, a moment after the change.
constexpr int kChangeShowsWithinMs = 10000;

std::vector<ContactItem> Items(ContactsFolder &folder)
{
    std::vector<ContactItem> items;
    const qint32 count = folder.Count();
    for (qint32 position = 1; position <= count; ++position)
        items.push_back(folder.Item(position));
    return items;
}

// Each item as "class last|first|company", in position order.
QStringList Listing(ContactsFolder &folder)
{
    QStringList listing;
    for (const ContactItem &item : Items(folder))
        listing << QStringLiteral("%1 %2|%3|%4")
                       .arg(item.itemClass)
                       .arg(ToQString(item.lastName), ToQString(item.firstName), ToQString(item.companyName));
    return listing;
}

bool WriteCard(const QString &folder, const QString &lastName)
{
    QFile file(folder + QStringLiteral("/card.vcf"));
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly)
        && file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + lastName.toUtf8() + ";Vera;;;\r\nEND:VCARD\r\n") > 0;
}

QProcessEnvironment Environment(const QString &home, const QString &named)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    if (!named.isEmpty())
        environment.insert(QStringLiteral("CORVANE_TESK_ADDRESSBOOK"), named);
    return environment;
}

} // namespace

// Without a session bus the service cannot start: nothing to test against.
#define SKIP_WITHOUT_SERVICE()                                                                                         \
    if (!m_registry)                                                                                                   \
    QSKIP("no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS unset or unreachable) to run Evolution Data Server "         \
          "on; scripts/test.sh provides one")

class TestEdsStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listsContactsSortedWithTheirClasses();
    void listsNamesAsWritten();
    void listsGroupsAsLists();
    void listingFollowsChangesMadeElsewhere();
    void readsEachKindOfFaxNumber();
    void positionsOutsideTheListingAreErrors();
    void selectionSeesChangesSinceTheListing();
    void readsAgainAfterTheServiceDied();
    void readsAgainOnceTheBookIsBack();
    void namedBooksThatCannotBeUsed_data();
    void namedBooksThatCannotBeUsed();
    void choosesTheAddressBook_data();
    void choosesTheAddressBook();
    void unreachableService_data();
    void unreachableService();

private:
    std::unique_ptr<EdsTestBook> IsolatedBook();

    GObjectPtr<ESourceRegistry> m_registry;
};

void TestEdsStore::initTestCase()
{
    // Asking GLib for a session bus that is not configured would launch one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    g_autoptr(GError) error = nullptr;
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        qWarning("session bus: %s", error->message);
        return;
    }
    // With a bus, the service must be there.
    m_registry.reset(e_source_registry_new_sync(nullptr, &error));
    QVERIFY2(m_registry, error ? error->message : "");
}

std::unique_ptr<EdsTestBook> TestEdsStore::IsolatedBook()
{
    QString failure;
    std::unique_ptr<EdsTestBook> book = EdsTestBook::CreateIsolated(m_registry.get(), failure);
    if (!book)
        qWarning("%s", qPrintable(failure));
    return book;
}

void TestEdsStore::listsContactsSortedWithTheirClasses()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    // Added out of order: the service's own order is neither this nor sorted.
    for (const TestContact &contact : {
             TestContact{"Zeta", "Ann", ""},
             TestContact{"Adams", "Bob", "Acme"},
             TestContact{"Twin", "Tom", "", "2 B", "", "", false, "twin-b"},
             TestContact{"", "", "Solo Org"},
             TestContact{"Adams", "Bob", ""},
             TestContact{"Twin", "Tom", "", "2 A", "", "", false, "twin-a"},
             TestContact{"Recipients", "", "", "", "", "", true},
             TestContact{"Adams", "Amy", ""},
         })
        QCOMPARE(book->Add(contact), QString());

    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(Listing(*folder), (QStringList{"40 ||Solo Org", "40 Adams|Amy|", "40 Adams|Bob|", "40 Adams|Bob|Acme",
                                            "69 Recipients||", "40 Twin|Tom|", "40 Twin|Tom|", "40 Zeta|Ann|"}));
    // Namesakes are told apart by their UIDs, and stay apart in a new listing.
    QCOMPARE(ToQString(folder->FaxNumber(6, FaxKind::Business)), QStringLiteral("2 A"));
    QCOMPARE(ToQString(folder->FaxNumber(7, FaxKind::Business)), QStringLiteral("2 B"));
    QCOMPARE(folder->Count(), 8);
    QCOMPARE(ToQString(folder->FaxNumber(6, FaxKind::Business)), QStringLiteral("2 A"));
}

void TestEdsStore::listsNamesAsWritten()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    // Separators within a name are escaped, and long lines folded, in the
    // text the service hands out.
    const QString longCompany =
        QStringLiteral("Gesellschaft für Fernkopie und Bildübertragung mbH & Co. KG, Zweigniederlassung Nord");
    QCOMPARE(book->Add({"Øster; Sons", "Zoë, Jr.", longCompany}), QString());

    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(Listing(*folder), QStringList{"40 Øster; Sons|Zoë, Jr.|" + longCompany});
}

void TestEdsStore::listsGroupsAsLists()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    const auto card = [](const QByteArray &name, const QByteArray &kind) {
        return "BEGIN:VCARD\r\nVERSION:4.0\r\n" + kind + "FN:" + name + "\r\nN:" + name + ";;;;\r\nEND:VCARD\r\n";
    };
    QCOMPARE(book->AddCard(card("Board", "KIND:group\r\n")), QString());
    QCOMPARE(book->AddCard(card("Crew", "KIND:GROUP\r\n")), QString());
    QCOMPARE(book->AddCard(card("Dana", "KIND:individual\r\n")), QString());
    QCOMPARE(book->AddCard(card("Firm", "KIND:org\r\n")), QString());

    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(Listing(*folder), (QStringList{"69 Board||", "69 Crew||", "40 Dana||", "40 Firm||"}));
    // A group added while the folder is open is one too.
    QCOMPARE(book->AddCard(card("Alumni", "item1.kind:Group\r\n")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(Listing(*folder),
                              (QStringList{"69 Alumni||", "69 Board||", "69 Crew||", "40 Dana||", "40 Firm||"}),
                              kChangeShowsWithinMs);
}

// A listing shows what the address book held when it was asked for; the
// positions it gave stay until the next one.
void TestEdsStore::listingFollowsChangesMadeElsewhere()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    QByteArray archer, baker;
    QCOMPARE(book->Add({"Archer", "Ann", "", "100"}, &archer), QString());
    QCOMPARE(book->Add({"Baker", "Bea", "", "200"}, &baker), QString());
    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(Listing(*folder), (QStringList{"40 Archer|Ann|", "40 Baker|Bea|"}));

    QCOMPARE(book->Add({"Cole", "Cy", ""}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(folder->Count(), 3, kChangeShowsWithinMs);
    QCOMPARE(Listing(*folder), (QStringList{"40 Archer|Ann|", "40 Baker|Bea|", "40 Cole|Cy|"}));

    // A new name sorts the contact anew; until the next listing the old
    // positions hold.
    QCOMPARE(book->SetText(archer, E_CONTACT_FAMILY_NAME, "Zimmer"), QString());
    QCOMPARE(book->SetText(baker, E_CONTACT_ORG, "Bakery"), QString());
    QCOMPARE(ToQString(folder->Item(1).lastName), QStringLiteral("Archer"));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Business)), QStringLiteral("100"));
    QTRY_COMPARE_WITH_TIMEOUT(Listing(*folder), (QStringList{"40 Baker|Bea|Bakery", "40 Cole|Cy|", "40 Zimmer|Ann|"}),
                              kChangeShowsWithinMs);
    QCOMPARE(ToQString(folder->FaxNumber(3, FaxKind::Business)), QStringLiteral("100"));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Business)), QStringLiteral("200"));

    QCOMPARE(book->RemoveContact(baker), QString());
    QTRY_COMPARE_WITH_TIMEOUT(Listing(*folder), (QStringList{"40 Cole|Cy|", "40 Zimmer|Ann|"}), kChangeShowsWithinMs);
    QCOMPARE(ToQString(folder->FaxNumber(2, FaxKind::Business)), QStringLiteral("100"));
}

void TestEdsStore::readsEachKindOfFaxNumber()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    QCOMPARE(book->Add({"Fax", "All", "", "+1 111", "+1 222", "+1 333"}), QString());
    QCOMPARE(book->Add({"Fax", "None", ""}), QString());

    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(folder->Count(), 2);
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Business)), QStringLiteral("+1 111"));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Home)), QStringLiteral("+1 222"));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Other)), QStringLiteral("+1 333"));
    for (const FaxKind kind : {FaxKind::Business, FaxKind::Home, FaxKind::Other})
        QCOMPARE(ToQString(folder->FaxNumber(2, kind)), QString());
}

void TestEdsStore::positionsOutsideTheListingAreErrors()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    QCOMPARE(book->Add({"Only", "One", ""}), QString());

    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->Item(1)); // nothing listed yet
    QCOMPARE(folder->Count(), 1);
    for (const qint32 position : {0, 2}) {
        QVERIFY_THROWS_EXCEPTION(StoreError, folder->Item(position));
        QVERIFY_THROWS_EXCEPTION(StoreError, ToQString(folder->FaxNumber(position, FaxKind::Business)));
    }
}

void TestEdsStore::selectionSeesChangesSinceTheListing()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    QByteArray archer, baker;
    QCOMPARE(book->Add({"Archer", "Ann", "", "100"}, &archer), QString());
    QCOMPARE(book->Add({"Baker", "Bea", "", "200"}, &baker), QString());

    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(folder->Count(), 2);
    QCOMPARE(book->SetText(archer, E_CONTACT_PHONE_BUSINESS_FAX, "101"), QString());
    QCOMPARE(book->RemoveContact(baker), QString());
    QCOMPARE(book->Add({"Cole", "Cy", ""}), QString());

    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Business)), QStringLiteral("101"));
    try {
        ToQString(folder->FaxNumber(2, FaxKind::Business));
        QFAIL("a removed contact was read");
    } catch (const StoreError &error) {
        QVERIFY2(QByteArray(error.what()).contains("position 2"), error.what());
    }
    QCOMPARE(ToQString(folder->Item(2).lastName), QStringLiteral("Baker")); // as listed
    QTRY_COMPARE_WITH_TIMEOUT(Listing(*folder), (QStringList{"40 Archer|Ann|", "40 Cole|Cy|"}),
                              kChangeShowsWithinMs);
}

void TestEdsStore::readsAgainAfterTheServiceDied()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    QCOMPARE(book->Add({"Archer", "Ann", "", "100"}), QString());
    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(folder->Count(), 1);

    // Each read after a death reconnects, which starts the service again.
    QCOMPARE(KillAddressBookService(), QString());
    QString fax;
    QVERIFY_THROWS_NO_EXCEPTION(fax = ToQString(folder->FaxNumber(1, FaxKind::Business)));
    QCOMPARE(fax, QStringLiteral("100"));
    QCOMPARE(KillAddressBookService(), QString());
    qint32 count = 0;
    QVERIFY_THROWS_NO_EXCEPTION(count = folder->Count());
    QCOMPARE(count, 1);
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Business)), QStringLiteral("100"));

    // The listing keeps following the address book once the service is back.
    QCOMPARE(KillAddressBookService(), QString());
    QCOMPARE(book->Reconnect(), QString());
    QCOMPARE(book->Add({"Baker", "Bea", ""}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(Listing(*folder), (QStringList{"40 Archer|Ann|", "40 Baker|Bea|"}),
                              kChangeShowsWithinMs);
}

void TestEdsStore::readsAgainOnceTheBookIsBack()
{
    SKIP_WITHOUT_SERVICE();
    const auto book = IsolatedBook();
    QVERIFY(book);
    QCOMPARE(book->Add({"Archer", "Ann", "", "100"}), QString());
    EdsStore store(book->SourceUid());
    const auto folder = store.OpenDefaultContactsFolder();
    QCOMPARE(folder->Count(), 1);

    // The service restarts without the book: reconnecting fails, each time.
    QCOMPARE(book->RemoveBook(), QString());
    QCOMPARE(KillAddressBookService(), QString());
    const QByteArray named = "\"eds:" + book->SourceUid().toUtf8() + "\"";
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            ToQString(folder->FaxNumber(1, FaxKind::Business));
            QFAIL("read a removed address book");
        } catch (const StoreError &error) {
            QVERIFY2(QByteArray(error.what()).contains(named), error.what());
        }
    }
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->Count());

    QCOMPARE(book->RestoreBook(), QString());
    QCOMPARE(KillAddressBookService(), QString()); // a fresh start sees the book at once
    QVERIFY_THROWS_NO_EXCEPTION(folder->Count());
}

void TestEdsStore::namedBooksThatCannotBeUsed_data()
{
    QTest::addColumn<QString>("named");
    QTest::newRow("no such book") << "eds:no-such-uid";
    QTest::newRow("not an address book") << "eds:system-calendar";
    QTest::newRow("unknown kind") << "outlook";
}

void TestEdsStore::namedBooksThatCannotBeUsed()
{
    SKIP_WITHOUT_SERVICE();
    QFETCH(QString, named);
    const QTemporaryDir home;
    try {
        OpenAddressBook(Environment(home.path(), named))->OpenDefaultContactsFolder();
        QFAIL("opened");
    } catch (const StoreError &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains('"' + named + '"'), error.what());
    }
}

void TestEdsStore::choosesTheAddressBook_data()
{
    QTest::addColumn<QString>("named"); // <folder> and <book> stand for the test's own
    QTest::addColumn<bool>("vCardFolderExists");
    QTest::addColumn<QString>("listed");
    QTest::newRow("vcard:PATH before all") << "vcard:<folder>" << true << "Chosenvcard";
    QTest::newRow("eds: the default book") << "eds" << true << "Defaultbook";
    QTest::newRow("eds:UID: that book") << "eds:<book>" << true << "Isolatedbook";
    QTest::newRow("else an existing vCard folder") << "" << true << "Foldervcard";
    QTest::newRow("else the default book") << "" << false << "Defaultbook";
}

void TestEdsStore::choosesTheAddressBook()
{
    SKIP_WITHOUT_SERVICE();
    QFETCH(QString, named);
    QFETCH(bool, vCardFolderExists);
    QFETCH(QString, listed);
    const QTemporaryDir home;
    const auto isolated = IsolatedBook();
    QVERIFY(isolated);
    QCOMPARE(isolated->Add({"Isolatedbook", "Ian", ""}), QString());
    QString failure;
    const auto defaultBook = EdsTestBook::OpenDefault(m_registry.get(), failure);
    QVERIFY2(defaultBook, qPrintable(failure));
    QCOMPARE(defaultBook->Add({"Defaultbook", "Dee", ""}), QString());
    const QString chosenFolder = home.filePath(QStringLiteral("chosen"));
    QVERIFY(WriteCard(chosenFolder, QStringLiteral("Chosenvcard")));
    if (vCardFolderExists)
        QVERIFY(WriteCard(home.filePath(QStringLiteral("data/contacts")), QStringLiteral("Foldervcard")));

    named.replace(QStringLiteral("<folder>"), chosenFolder).replace(QStringLiteral("<book>"), isolated->SourceUid());
    const auto store = OpenAddressBook(Environment(home.path(), named));
    const auto folder = store->OpenDefaultContactsFolder();
    QStringList names;
    for (const ContactItem &item : Items(*folder))
        names << ToQString(item.lastName);
    QVERIFY2(names.contains(listed), qPrintable(names.join(',')));
    for (const QString &other : {"Chosenvcard", "Defaultbook", "Isolatedbook", "Foldervcard"})
        QVERIFY2(other == listed || !names.contains(other), qPrintable(names.join(',')));
}

void TestEdsStore::unreachableService_data()
{
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("result");
    QTest::newRow("nothing named: the vCard folder") << "" << "vcard 0\n";
    QTest::newRow("default book named") << "eds"
                                        << "error: address book \"eds\": Evolution Data Server cannot be reached";
    QTest::newRow("one book named") << "eds:work"
                                    << "error: address book \"eds:work\": Evolution Data Server cannot be reached";
}

// Runs in a process of its own, whose session bus address leads nowhere:
// GLib keeps the bus this process reached.
void TestEdsStore::unreachableService()
{
    QFETCH(QString, named);
    QFETCH(QString, result);
    const QTemporaryDir home;
    QProcessEnvironment environment = Environment(home.path(), named);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(EDS_OPEN_PROBE), {});
    QVERIFY(probe.waitForFinished(kProbeEndsWithinMs));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    const QString output = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(output.startsWith(result), qPrintable(output));
}

QTEST_GUILESS_MAIN(TestEdsStore)
#include "tst_eds_store.moc"
