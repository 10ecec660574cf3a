#include "vcard_store.h"

#include "qt_text.h"
#include "vcard_listing.h"

#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

using namespace vcard;

namespace {

constexpr uint32_t kWatchedEvents = IN_CREATE | IN_DELETE | IN_CLOSE_WRITE | IN_MODIFY | IN_MOVED_FROM | IN_MOVED_TO
    | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// Reads the cards once and, through inotify, re-reads only the files that
// changed. Where inotify is not available, every look compares the state of
// each file instead.
class VCardFolder final : public ContactsFolder {
public:
    // onlyFile: the address book is that one file of the directory.
    VCardFolder(QString path, QByteArray directory, QByteArray onlyFile, qsizetype maxCards)
        : m_path(std::move(path))
        , m_directory(std::move(directory))
        , m_onlyFile(std::move(onlyFile))
        , m_maxCards(maxCards)
        , m_inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        , m_listed(std::make_shared<const Listing>())
    {
    }

    int32_t Count() override
    {
        Refresh();
        m_listed = CurrentListing();
        return m_listed->Count();
    }

    // The events the kernel queued by the time a file was written are taken
    // in, and any file they name read again: the listing stands only while
    // every file is as it was read for it.
    bool ChangedSinceListing() override
    {
        Refresh();
        return !m_current || m_current != m_listed;
    }

    ContactItem Item(int32_t position) override { return Listed(position).card->Item(); }

    // Read afresh from the card that was listed at the position: a file
    // added or removed since must not put another contact's number under
    // the chosen name.
    Text FaxNumber(int32_t position, FaxKind kind) override
    {
        const Listing::Entry &listed = Listed(position);
        Refresh();
        const auto file = m_files.find(listed.file);
        const ParsedCard *card = file == m_files.end() || !file->second.cards
            ? nullptr
            : FindAgain(*file->second.cards, listed);
        if (!card)
            throw StoreError("the contact at position " + std::to_string(position) + " has gone");
        return ToText(card->FaxNumber(kind));
    }

private:
    const Listing::Entry &Listed(int32_t position) const
    {
        const Listing::Entry *listed = m_listed->At(position);
        if (!listed)
            throw StoreError("no item at position " + std::to_string(position));
        return *listed;
    }

    bool IsCardFile(QByteArrayView name) const
    {
        if (!m_onlyFile.isEmpty())
            return name == m_onlyFile;
        return name.size() > 4 && name.last(4).compare(".vcf", Qt::CaseInsensitive) == 0;
    }

    void Refresh()
    {
        const bool rereadAll = TakeEvents();
        if (m_watch < 0 || rereadAll)
            Scan(rereadAll);
        else if (!m_changedNames.empty() || m_symlinkCount > 0)
            Update(OpenDirectory(), ChangedAndLinkedNames(), false);
        m_changedNames.clear();
    }

    // Collects the names of the files that events report changed. True when
    // the events no longer tell every change: then every file is re-read.
    bool TakeEvents()
    {
        if (m_watch < 0)
            return false;
        const int watch = m_watch;
        bool overflowed = false;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t length = read(m_inotify.Get(), buffer, sizeof buffer);
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                return overflowed;
            for (const char *next = buffer; next < buffer + length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(next);
                next += sizeof(inotify_event) + event->len;
                if (event->mask & IN_Q_OVERFLOW) {
                    overflowed = true;
                } else if (event->wd != watch) {
                    continue; // left over from a folder no longer watched
                } else if (event->len == 0) {
                    // The folder itself was moved, deleted or had its
                    // permissions changed: look at its path afresh.
                    if (event->mask & IN_MOVE_SELF)
                        inotify_rm_watch(m_inotify.Get(), watch);
                    m_watch = -1;
                } else if (const QByteArray name(event->name); IsCardFile(name)) {
                    m_changedNames.insert(name);
                }
            }
        }
    }

    void Scan(bool rereadAll)
    {
        // Watch before listing, so that no change slips in between.
        if (m_inotify.IsOpen() && m_watch < 0)
            m_watch = inotify_add_watch(m_inotify.Get(), m_directory.constData(), kWatchedEvents);
        const FileDescriptor directory = OpenDirectory();
        const std::vector<QByteArray> names = ListCardFiles(directory);
        std::map<QByteArray, CardFile> previous = std::exchange(m_files, {});
        for (const QByteArray &name : names) {
            if (auto known = previous.extract(name))
                m_files.insert(std::move(known));
        }
        if (!previous.empty()) // gone since the last look
            m_current.reset();
        m_symlinkCount = std::count_if(m_files.begin(), m_files.end(),
                                       [](const auto &entry) { return entry.second.state.symlink; });
        Update(directory, names, rereadAll);
    }

    // A folder that is missing or unreadable, even one that had to exist,
    // reads as empty: it may be in the middle of being moved or synced.
    FileDescriptor OpenDirectory() const
    {
        return FileDescriptor(open(m_directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }

    std::vector<QByteArray> ListCardFiles(const FileDescriptor &directory) const
    {
        if (!directory.IsOpen())
            return {};
        if (!m_onlyFile.isEmpty())
            return {m_onlyFile};
        std::vector<QByteArray> names;
        DIR *listing = fdopendir(dup(directory.Get()));
        if (!listing)
            return names;
        while (const dirent *entry = readdir(listing)) {
            if (IsCardFile(entry->d_name))
                names.emplace_back(entry->d_name);
        }
        closedir(listing);
        return names;
    }

    std::vector<QByteArray> ChangedAndLinkedNames() const
    {
        std::vector<QByteArray> names(m_changedNames.begin(), m_changedNames.end());
        if (m_symlinkCount > 0) {
            for (const auto &[name, file] : m_files) {
                if (file.state.symlink && !m_changedNames.contains(name))
                    names.push_back(name);
            }
        }
        return names;
    }

    struct PendingRead {
        const QByteArray *name;
        qsizetype size;
        CardFile *file;
    };

    // Brings the entries of the named files up to date with the disk.
    void Update(const FileDescriptor &directory, const std::vector<QByteArray> &names, bool rereadAll)
    {
        std::vector<PendingRead> reads;
        for (const QByteArray &name : names) {
            auto entry = m_files.find(name);
            const std::optional<FileState> state = Examine(directory, name);
            if (!state) {
                if (entry != m_files.end()) {
                    m_symlinkCount -= entry->second.state.symlink;
                    m_files.erase(entry);
                    m_current.reset();
                }
                continue;
            }
            if (entry == m_files.end())
                entry = m_files.emplace(name, CardFile()).first;
            CardFile &file = entry->second;
            // An event names the file itself, so its content changed even
            // where its state looks the same; a symbolic link's target has
            // only its state to tell.
            const bool reported = !file.state.symlink && m_changedNames.contains(name);
            if (file.cards && !rereadAll && !reported && file.state == *state)
                continue;
            m_symlinkCount += state->symlink - file.state.symlink;
            file.state = *state;
            reads.push_back({&entry->first, state->size, &file});
        }
        // Read the files, then those that the cap on cards cut short and
        // now has room for; the second round has none left.
        for (int round = 0; round < 3; ++round) {
            if (!reads.empty()) {
                m_current.reset();
                ReadWithinCap(directory, reads);
            }
            reads = KeepWithinCap();
            if (reads.empty())
                break;
        }
    }

    // Reads the files, in address book order, each up to the cards the
    // address book's cap leaves it. The files are read at the same time and
    // handed out in order, so those that have finished all come before the
    // one handed out: the room they leave is an upper bound of its own.
    void ReadWithinCap(const FileDescriptor &directory, std::vector<PendingRead> &reads)
    {
        std::sort(reads.begin(), reads.end(), [](const PendingRead &a, const PendingRead &b) { return *a.name < *b.name; });
        // The cards of the files not being read that come before each read.
        std::vector<qsizetype> heldBefore;
        qsizetype held = 0;
        auto next = reads.begin();
        for (const auto &[name, file] : m_files) {
            if (next != reads.end() && *next->name == name) {
                heldBefore.push_back(held);
                ++next;
            } else if (file.cards) {
                held += qsizetype(file.cards->size());
            }
        }
        std::atomic<qsizetype> finishedCards = 0;
        ForEachIndex(reads.size(), kFilesPerThread, [&](size_t index) {
            const PendingRead &read = reads[index];
            const qsizetype room = m_maxCards - heldBefore[index] - finishedCards.load();
            ReadResult result = room > 0 ? ReadCards(directory.Get(), *read.name, read.size, room)
                                         : ReadResult{std::make_shared<const std::vector<ParsedCard>>(), true};
            finishedCards += qsizetype(result.cards->size());
            read.file->cards = std::move(result.cards);
            read.file->cut = result.cut;
        });
    }

    // Drops the cards past the address book's cap, in address book order.
    // Returns the files cut short that now have room for more.
    std::vector<PendingRead> KeepWithinCap()
    {
        std::vector<PendingRead> rereads;
        qsizetype kept = 0;
        for (auto &[name, file] : m_files) {
            const qsizetype room = m_maxCards - kept;
            const qsizetype count = file.cards ? qsizetype(file.cards->size()) : 0;
            if (count > room) {
                file.cards = FirstCards(file.cards, room);
                file.cut = true;
                m_current.reset();
            } else if (file.cut && count < room) {
                rereads.push_back({&name, file.state.size, &file});
            }
            kept += std::min(count, room);
        }
        return rereads;
    }

    std::shared_ptr<const Listing> CurrentListing()
    {
        if (!m_current) {
            m_current = std::make_shared<const Listing>(m_files);
            if (m_current->Cut()) {
                // One line for each new listing of an address book over its cap.
                std::fprintf(stderr, "corvane-tesk: address book \"%s\" holds more than %lld contacts; only the first %lld are listed\n",
                             qPrintable(m_path), static_cast<long long>(m_maxCards), static_cast<long long>(m_maxCards));
            }
        }
        return m_current;
    }

    const QString m_path;
    const QByteArray m_directory;
    const QByteArray m_onlyFile;
    const qsizetype m_maxCards;
    const FileDescriptor m_inotify;
    int m_watch = -1;
    std::map<QByteArray, CardFile> m_files; // in address book order: by name, byte by byte
    std::set<QByteArray> m_changedNames;
    qsizetype m_symlinkCount = 0;
    std::shared_ptr<const Listing> m_current; // null once m_files has changed
    std::shared_ptr<const Listing> m_listed;  // as the last Count() saw it
};

std::string Reason(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "no such file or folder";
    case EACCES:
    case EPERM:
        return "permission denied";
    default:
        return qt_error_string(error).toStdString();
    }
}

} // namespace

VCardStore::VCardStore(QString path, bool mustExist, qsizetype maxCards)
    : m_path(std::move(path))
    , m_mustExist(mustExist)
    , m_maxCards(maxCards)
{
}

std::unique_ptr<ContactsFolder> VCardStore::OpenDefaultContactsFolder()
{
    const QFileInfo info(m_path);
    const QByteArray path = QFile::encodeName(info.absoluteFilePath());
    struct stat status;
    const bool exists = stat(path.constData(), &status) == 0;
    const int error = exists ? 0 : errno;
    const bool isFolder =
        exists ? S_ISDIR(status.st_mode) : !m_path.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive);
    if (m_mustExist) {
        const auto fail = [this](const std::string &reason) {
            throw StoreError("address book \"" + m_path.toStdString() + "\": " + reason);
        };
        if (!exists)
            fail(Reason(error));
        if (!isFolder && !S_ISREG(status.st_mode))
            fail("not a file or folder");
        if (access(path.constData(), isFolder ? R_OK | X_OK : R_OK) != 0)
            fail(Reason(errno));
    }
    if (isFolder)
        return std::make_unique<VCardFolder>(m_path, path, QByteArray(), m_maxCards);
    return std::make_unique<VCardFolder>(m_path, QFile::encodeName(info.absolutePath()),
                                         QFile::encodeName(info.fileName()), m_maxCards);
}
