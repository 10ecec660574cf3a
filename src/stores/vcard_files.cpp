#include "vcard_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <iterator>

namespace vcard {
namespace {

// Reading a file stops here: no address book's text comes near it, and the
// cap keeps one runaway file from filling memory. Cards past it are not seen.
constexpr qsizetype kMaxFileBytes = 64 * 1024 * 1024;

// A thread pays off for one piece of a big file of this size.
constexpr qsizetype kPieceBytes = 1024 * 1024;

} // namespace

std::optional<FileState> Examine(const FileDescriptor &directory, const QByteArray &name)
{
    struct stat status;
    if (fstatat(directory.Get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    const bool symlink = S_ISLNK(status.st_mode);
    if (symlink && fstatat(directory.Get(), name.constData(), &status, 0) != 0)
        return std::nullopt;
    if (!S_ISREG(status.st_mode))
        return std::nullopt;
    return FileState{qint64(status.st_ino), qint64(status.st_size),
                     qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
                     qint64(status.st_ctim.tv_sec) * 1'000'000'000 + status.st_ctim.tv_nsec, symlink};
}

ReadResult ReadCards(int directory, const QByteArray &name, qsizetype size, qsizetype maxCards)
{
    // O_NONBLOCK: should the file have become a pipe since it was looked at,
    // opening it must not wait for a writer.
    const FileDescriptor file(openat(directory, name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.IsOpen())
        return {std::make_shared<const std::vector<ParsedCard>>(), false}; // unreadable: no cards until that changes
    // One byte more than expected, to see the end without growing.
    QByteArray contents(std::min(size + 1, kMaxFileBytes), Qt::Uninitialized);
    qsizetype length = 0;
    while (length < kMaxFileBytes) {
        if (length == contents.size())
            contents.resize(std::min(2 * length, kMaxFileBytes));
        const ssize_t got = read(file.Get(), contents.data() + length, size_t(contents.size() - length));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += got;
    }
    QByteArray converted;
    const QByteArrayView text = AsUtf8Text(QByteArrayView(contents.constData(), length), converted);
    if (!converted.isNull())
        contents = QByteArray(); // the file's own bytes are no longer needed
    const std::vector<QByteArrayView> pieces = SplitBetweenCards(text, kPieceBytes);
    // One card past the cap tells that the file holds more. Pieces are taken
    // in order, so a piece whose predecessors have finished with enough
    // cards is not needed; one that has started may read past the cap, and
    // the cards past it are dropped below.
    const qsizetype wanted = maxCards + 1;
    std::atomic<qsizetype> finishedCards = 0;
    std::vector<std::vector<ParsedCard>> parsed(pieces.size());
    ForEachIndex(pieces.size(), 1, [&](size_t index) {
        const qsizetype room = wanted - finishedCards.load();
        if (room <= 0)
            return;
        parsed[index] = ParseVCards(pieces[index], room);
        finishedCards += qsizetype(parsed[index].size());
    });
    std::vector<ParsedCard> cards = std::move(parsed.front());
    for (size_t index = 1; index < parsed.size() && qsizetype(cards.size()) < wanted; ++index)
        std::move(parsed[index].begin(), parsed[index].end(), std::back_inserter(cards));
    const bool cut = qsizetype(cards.size()) > maxCards;
    if (cut)
        cards.erase(cards.begin() + maxCards, cards.end());
    return {std::make_shared<const std::vector<ParsedCard>>(std::move(cards)), cut};
}

CardList FirstCards(const CardList &cards, qsizetype count)
{
    return std::make_shared<const std::vector<ParsedCard>>(cards->begin(), cards->begin() + count);
}


} // namespace vcard
