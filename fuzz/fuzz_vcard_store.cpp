// The folder address book on real files. The input is one to four files,
// separated by the line "%%NEXT%%"; its first byte also picks the cap on
// cards. The files are written, listed, one is rewritten and another
// removed, and listed again. Each listing must be the cards of the files in
// name order, each file read whole, cut at the cap; every reply the program
// could build from them is four CR LF lines.
#include "fuzz_common.h"

#include "vcard_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

QTemporaryDir &Folder()
{
    static QTemporaryDir folder;
    return folder;
}

void Write(const QString &name, QByteArrayView contents)
{
    QFile file(Folder().filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents.data(), contents.size()) != contents.size())
        Fail("cannot write a file of the folder");
}

void CheckListing(ContactsFolder &folder, const std::vector<QByteArray> &files, qsizetype cap)
{
    std::vector<ParsedCard> expected;
    for (const QByteArray &file : files) {
        for (ParsedCard &card : ParseVCards(file, cap - qsizetype(expected.size())))
            expected.push_back(std::move(card));
    }
    const qint32 count = folder.Count();
    Require(count == qint32(expected.size()), "store lists the cards of its files, up to the cap");
    for (qint32 position = 1; position <= count; ++position) {
        const ParsedCard &card = expected[size_t(position - 1)];
        const ContactItem item = folder.Item(position);
        const ContactItem wanted = card.Item();
        Require(item.itemClass == wanted.itemClass && item.lastName == wanted.lastName
                    && item.firstName == wanted.firstName && item.companyName == wanted.companyName,
                "store lists each card as read");
        for (FaxKind kind : {FaxKind::Business, FaxKind::Home, FaxKind::Other})
            Require(ToQString(folder.FaxNumber(position, kind)) == card.FaxNumber(kind), "store gives each fax number as read");
        CheckReplies(card);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!Folder().isValid())
        Fail("no temporary folder");
    QDir(Folder().path()).removeRecursively();
    QDir().mkpath(Folder().path());

    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype cap = size > 0 ? 1 + data[0] % 16 : 1;
    std::vector<QByteArray> files;
    for (QByteArrayView part : Split(input, "\n%%NEXT%%\n")) {
        if (files.size() == 4)
            break;
        files.push_back(part.toByteArray());
    }
    // Names in the order the files are given: the address book's order.
    const auto name = [](size_t index) { return QStringLiteral("%1.vcf").arg(index); };
    for (size_t index = 0; index < files.size(); ++index)
        Write(name(index), files[index]);

    const auto folder = VCardStore(Folder().path(), true, cap).OpenDefaultContactsFolder();
    CheckListing(*folder, files, cap);

    // The first file takes the last one's contents; the second goes.
    files.front() = files.back();
    Write(name(0), files.front());
    if (files.size() > 2) {
        QFile::remove(Folder().filePath(name(1)));
        files.erase(files.begin() + 1);
    }
    CheckListing(*folder, files, cap);
    return 0;
}
