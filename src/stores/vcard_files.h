#pragma once

// The vCard address book's files: what tells a changed file from the one
// that was read, and reading a file's cards within the address book's cap.
#include "vcard_parse.h"

#include <QByteArray>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace vcard {

// A thread pays off for this many small files.
constexpr size_t kFilesPerThread = 64;

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor = -1)
        : m_descriptor(descriptor)
    {
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor()
    {
        if (m_descriptor >= 0)
            close(m_descriptor);
    }
    bool IsOpen() const { return m_descriptor >= 0; }
    int Get() const { return m_descriptor; }

private:
    int m_descriptor;
};

// Runs work(index) for every index below count, spread over the cores when
// there is enough of it: a first look at a big address book is mostly parsing.
template <typename Work>
void ForEachIndex(size_t count, size_t perThread, const Work &work)
{
    std::atomic<size_t> next = 0;
    const auto runRemaining = [&] {
        for (size_t index; (index = next++) < count;)
            work(index);
    };
    static const size_t cores = std::max(1U, std::thread::hardware_concurrency());
    const size_t threads = std::clamp<size_t>(count / perThread, 1, cores);
    std::vector<std::jthread> helpers;
    for (size_t i = 1; i < threads; ++i)
        helpers.emplace_back(runRemaining);
    runRemaining();
}

using CardList = std::shared_ptr<const std::vector<ParsedCard>>;

// What tells a changed file from the one that was read.
struct FileState {
    qint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    // A change to a symbolic link's target raises no event in the folder.
    bool symlink = false;
    bool operator==(const FileState &) const = default;
};

// Nothing when the name is not that of a file the address book reads.
std::optional<FileState> Examine(const FileDescriptor &directory, const QByteArray &name);

struct CardFile {
    FileState state;
    CardList cards;
    // The address book's cap on cards left the file's later cards unread.
    bool cut = false;
};

struct ReadResult {
    CardList cards;
    bool cut = false;
};

// Reads at most maxCards cards; cut tells whether the file holds more.
ReadResult ReadCards(int directory, const QByteArray &name, qsizetype size, qsizetype maxCards);

// The first count of the cards, for a file the cap now cuts shorter.
CardList FirstCards(const CardList &cards, qsizetype count);

} // namespace vcard
