// The Linux address books hold the same contract as the fake the logic's
// tests use: a folder of vCard files, one .vcf file, and a book of the
// desktop's address-book service.
#include "eds_test_book.h"

#include "contact_store_contract.h"
#include "eds_store.h"
#include "qt_text.h"
#include "vcard_store.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

namespace {
QByteArray Card(const FakeContact &contact)
{
    const auto utf8 = [](const Text &text) { return ToQString(text).toUtf8(); };
    QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    card += "N:" + utf8(contact.lastName) + ";" + utf8(contact.firstName) + ";;;\r\n";
    card += "FN:" + utf8(contact.firstName + contact.lastName + contact.companyName) + "\r\n";
    if (!contact.companyName.empty())
        card += "ORG:" + utf8(contact.companyName) + "\r\n";
    if (contact.itemClass != ContactClass)
        card += "X-EVOLUTION-LIST:TRUE\r\n";
    if (!contact.businessFax.empty())
        card += "TEL;TYPE=WORK,FAX:" + utf8(contact.businessFax) + "\r\n";
    if (!contact.homeFax.empty())
        card += "TEL;TYPE=HOME,FAX:" + utf8(contact.homeFax) + "\r\n";
    if (!contact.otherFax.empty())
        card += "TEL;TYPE=FAX:" + utf8(contact.otherFax) + "\r\n";
    return card + "END:VCARD\r\n";
}

// The same contact keeps its file, whatever else changes.
QString FileName(const FakeContact &contact)
{
    const Text key = contact.lastName + u'|' + contact.firstName + u'|' + contact.companyName;
    return QString::fromLatin1(ToQString(key).toUtf8().toHex()) + QStringLiteral(".vcf");
}

void Write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    REQUIRE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

struct VCardFolderFixture {
    static constexpr bool kKeepsOrder = false; // listed by file name
    static constexpr bool kHoldsGroups = true;
    static constexpr bool kTellsUnchanged = true;
    QTemporaryDir dir;
    std::unique_ptr<ContactStore> Open(const std::vector<FakeContact> &items)
    {
        Replace(items);
        return std::make_unique<VCardStore>(dir.path(), true);
    }
    void Replace(const std::vector<FakeContact> &items)
    {
        QStringList kept;
        for (const FakeContact &item : items) {
            Write(dir.filePath(FileName(item)), Card(item));
            kept << FileName(item);
        }
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
            if (!kept.contains(name))
                QFile::remove(dir.filePath(name));
    }
};

struct VCardFileFixture {
    static constexpr bool kKeepsOrder = true;
    static constexpr bool kHoldsGroups = true;
    static constexpr bool kTellsUnchanged = true;
    QTemporaryDir dir;
    std::unique_ptr<ContactStore> Open(const std::vector<FakeContact> &items)
    {
        Replace(items);
        return std::make_unique<VCardStore>(dir.filePath(QStringLiteral("book.vcf")), true);
    }
    void Replace(const std::vector<FakeContact> &items)
    {
        QByteArray cards;
        for (const FakeContact &item : items)
            cards += Card(item);
        Write(dir.filePath(QStringLiteral("book.vcf")), cards);
    }
};

// A book of its own in the service on the private session bus.
struct EdsFixture {
    static constexpr bool kKeepsOrder = false; // sorted by name
    static constexpr bool kHoldsGroups = true;
    static constexpr bool kTellsUnchanged = true;
    std::unique_ptr<EdsTestBook> book;
    std::map<Text, QByteArray> uids; // by the contact's three names

    // One registry for the process, as the program has: the service's client
    // libraries keep some of what each registry makes.
    static ESourceRegistry *Registry()
    {
        static const GObjectPtr<ESourceRegistry> registry = [] {
            g_autoptr(GError) error = nullptr;
            GObjectPtr<ESourceRegistry> made(e_source_registry_new_sync(nullptr, &error));
            REQUIRE_MESSAGE(made, (error ? error->message : "no registry"));
            return made;
        }();
        return registry.get();
    }

    EdsFixture()
    {
        QString failure;
        book = EdsTestBook::CreateIsolated(Registry(), failure);
        REQUIRE_MESSAGE(book, failure.toStdString());
    }
    std::unique_ptr<ContactStore> Open(const std::vector<FakeContact> &items)
    {
        Replace(items);
        return std::make_unique<EdsStore>(book->SourceUid());
    }
    void Replace(const std::vector<FakeContact> &items)
    {
        std::map<Text, QByteArray> kept;
        for (const FakeContact &item : items) {
            const Text key = item.lastName + u'|' + item.firstName + u'|' + item.companyName;
            if (const auto known = uids.find(key); known != uids.end()) {
                for (auto [field, text] : {std::pair{E_CONTACT_PHONE_BUSINESS_FAX, &item.businessFax},
                                           std::pair{E_CONTACT_PHONE_HOME_FAX, &item.homeFax},
                                           std::pair{E_CONTACT_PHONE_OTHER_FAX, &item.otherFax}})
                    REQUIRE(book->SetText(known->second, field, ToQString(*text)).isEmpty());
                kept.insert(*known);
                continue;
            }
            QByteArray uid;
            REQUIRE(book->Add({ToQString(item.lastName), ToQString(item.firstName), ToQString(item.companyName),
                               ToQString(item.businessFax), ToQString(item.homeFax), ToQString(item.otherFax),
                               item.itemClass != ContactClass},
                              &uid)
                        .isEmpty());
            kept.emplace(key, uid);
        }
        for (const auto &[key, uid] : uids)
            if (!kept.contains(key))
                REQUIRE(book->RemoveContact(uid).isEmpty());
        uids = std::move(kept);
    }
};
} // namespace

CONTACT_STORE_CONTRACT(VCardFolderFixture, "vCard folder")
CONTACT_STORE_CONTRACT(VCardFileFixture, "one vCard file")
CONTACT_STORE_CONTRACT(EdsFixture, "address-book service")

// Another program's change reaches the service's views in their own time,
// after that program has gone on: a look right after it must still see it.
TEST_CASE_FIXTURE(EdsFixture, "address-book service: contacts another program adds just before a request show in it")
{
    auto store = Open({Contact("A", "a")});
    auto folder = store->OpenDefaultContactsFolder();
    std::vector<ContactItem> listed;
    folder->ListItems(listed);
    for (int added = 1; added <= 3; ++added) {
        CAPTURE(added);
        QProcess writer;
        writer.start(QStringLiteral(EDS_WRITE_PROBE), {book->SourceUid(), QStringLiteral("Added%1").arg(added)});
        REQUIRE(writer.waitForFinished(30000));
        REQUIRE(writer.exitCode() == 0);
        CHECK(folder->ChangedSinceListing());
        listed.clear();
        folder->ListItems(listed);
        CHECK(listed.size() == size_t(1 + added));
        CHECK_FALSE(folder->ChangedSinceListing());
    }
}
