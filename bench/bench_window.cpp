// Drives the real window through a real loopback peer and prints raw samples
// as "metric,value" lines (series as "metric,index,value") for bench.sh.
//
//   corvane-bench-window --book vcard:PATH|eds:UID [--warm N] [--select N]
//                        [--reply N] [--sessions N] [--breakdown N]
#include "address_book.h"
#include "dialog_window.h"
#include "fake_platform.h"
#include "glib_allocator.h"
#include "qt_text.h"
#include "recipient.h"
#include "system_tray_icon.h"
#include "tcp_socket_layer.h"
#include "test_peer.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QElapsedTimer>
#include <QIcon>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QStringListModel>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

double Ms(TimePoint from, TimePoint to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void Emit(const char *metric, double value)
{
    std::printf("%s,%.3f\n", metric, value);
    std::fflush(stdout);
}

void EmitSeries(const char *metric, int index, double value)
{
    std::printf("%s,%d,%.3f\n", metric, index, value);
}

long StatusKiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string wanted = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(wanted, 0) == 0)
            return std::stol(line.substr(wanted.size()));
    }
    return -1;
}

double HeapKiB()
{
    return double(mallinfo2().uordblks + mallinfo2().hblkhd) / 1024.0;
}

// Resident memory, split into what the heap holds live, what it keeps free
// without giving it back, and the rest (code, libraries, stacks).
void EmitMemory(const std::string &when)
{
    const struct mallinfo2 heap = mallinfo2();
    Emit(("rss_" + when + "_kib").c_str(), StatusKiB("VmRSS"));
    Emit(("rssanon_" + when + "_kib").c_str(), StatusKiB("RssAnon"));
    Emit(("rssfile_" + when + "_kib").c_str(), StatusKiB("RssFile"));
    Emit(("heapused_" + when + "_kib").c_str(), double(heap.uordblks + heap.hblkhd) / 1024.0);
    Emit(("heapfree_" + when + "_kib").c_str(), double(heap.fordblks) / 1024.0);
}

double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Resident kilobytes by mapping, for a look at what the figures are made
// of: written where CORVANE_BENCH_MAPPINGS names a folder.
void DumpMappings(const std::string &when)
{
    const QByteArray folder = qgetenv("CORVANE_BENCH_MAPPINGS");
    if (folder.isEmpty())
        return;
    std::ifstream smaps("/proc/self/smaps");
    std::ofstream out(folder.toStdString() + "/" + when + ".txt");
    std::string line, name;
    while (std::getline(smaps, line)) {
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') != std::string::npos
            && line.find(' ') > line.find('-')) {
            const size_t path = line.find_first_of("/[");
            name = path == std::string::npos ? "[anon]" : line.substr(path);
        } else if (line.rfind("Rss:", 0) == 0) {
            out << std::stol(line.substr(4)) << ' ' << name << '\n';
        }
    }
}

// Between the real socket and the logic: forwards each of the socket's
// events and notes when the logic's handling of it has ended. Taking a
// connection ends with Accept and a session's end with Listen, so these are
// the moments the window has taken the connection and listens again.
class TimingEvents final : public SocketEvents {
public:
    TimingEvents(SocketEvents &logic, const Socket &socket)
        : m_logic(logic), m_socket(socket)
    {
    }
    void wsk_connect_ConnectionRequest(int32_t requestId) override
    {
        m_logic.wsk_connect_ConnectionRequest(requestId);
        if (m_socket.State() == Socket::Connected) {
            accepted = Clock::now();
            ++accepts;
        }
    }
    void wsk_connect_SendComplete() override
    {
        m_logic.wsk_connect_SendComplete();
        NoteListening();
    }
    void wsk_connect_SendFailed() override
    {
        m_logic.wsk_connect_SendFailed();
        NoteListening();
    }
    void wsk_connect_Error() override
    {
        m_logic.wsk_connect_Error();
        NoteListening();
    }

    TimePoint accepted, listened;
    int accepts = 0, listens = 0;

private:
    void NoteListening()
    {
        if (m_socket.State() == Socket::Listening) {
            listened = Clock::now();
            ++listens;
        }
    }
    SocketEvents &m_logic;
    const Socket &m_socket;
};

// A fax server on its own thread, so that the moment the reply's last byte
// and end-of-stream arrive is seen while the window's thread is busy.
class ReadingPeer {
public:
    ~ReadingPeer()
    {
        if (m_reader.joinable())
            m_reader.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool Connect(uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return false;
        // Bounded: a peer never waits longer than this for its answer.
        const timeval timeout{20, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        m_reader = std::thread([this] {
            char buffer[4096];
            for (;;) {
                const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                received.append(buffer, n);
            }
            ended = Clock::now();
            done = true;
        });
        return true;
    }
    std::atomic<bool> done = false;
    QByteArray received;
    TimePoint ended;

private:
    int m_fd = -1;
    std::thread m_reader;
};

// Waits on the event loop until the condition holds; false after the timeout.
template <typename Condition>
bool PumpUntil(const Condition &condition, int timeoutMs = 60000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake; // bounds each wait, so that the timeout is seen
    wake.start(50);
    while (!condition()) {
        if (elapsed.hasExpired(timeoutMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Notes the first paint of the list after a request has been taken.
class PaintWatch final : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && armed) {
            painted = Clock::now();
            armed = false;
        }
        return false;
    }
    bool armed = false;
    TimePoint painted;
};

// One entry of the list: its text and the address book's position.
struct ListEntry {
    QString text;
    int32_t position;
};

// Orders the entries as the window's list does when it ends a fill: by the
// user's collation, case-insensitive and numeric, from sort keys; equal texts
// keep the address book's order.
void SortForDisplay(std::vector<ListEntry> &entries)
{
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    struct Keyed {
        QCollatorSortKey key;
        size_t index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        keyed.push_back({collator.sortKey(entries[i].text), i});
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) { return a.key.compare(b.key) < 0; });
    std::vector<ListEntry> sorted;
    sorted.reserve(entries.size());
    for (const Keyed &k : keyed)
        sorted.push_back(std::move(entries[k.index]));
    entries = std::move(sorted);
}

// Any icon will do; the tray warns of none.
QIcon TrayIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::darkBlue);
    return QIcon(pixmap);
}

struct Options {
    QString book;
    int warm = 0, select = 0, reply = 0, sessions = 0, breakdown = 0;
};

class Bench {
public:
    explicit Bench(const Options &options)
        : m_options(options)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVANE_TESK_ADDRESSBOOK"), options.book);
        m_window = std::make_unique<DialogWindow>(DialogWindow::Desktop{
            m_boxes, m_urls, std::make_unique<TcpSocketLayer>(0), std::make_unique<SystemTrayIcon>(TrayIcon()),
            [environment] { return OpenAddressBook(environment); }});
        m_timing = std::make_unique<TimingEvents>(m_window->Logic(), m_window->Socket());
        m_window->Socket().SetEvents(m_timing.get());
    }

    ~Bench()
    {
        m_window->Socket().SetEvents(&m_window->Logic());
    }

    int Run()
    {
        const auto loadStart = Clock::now();
        m_window->Logic().Form_Load();
        if (m_window->Logic().IsUnloaded() || Socket().State() != Socket::Listening) {
            std::fprintf(stderr, "bench: the window did not start listening\n");
            return 1;
        }
        Emit("form_load_ms", Ms(loadStart, Clock::now()));
        QCoreApplication::processEvents();
        EmitMemory("idle");
        DumpMappings("idle");
        m_window->Widgets().addressList->viewport()->installEventFilter(&m_paint);

        // The first request reads the whole address book.
        const double cpuBefore = CpuMs();
        if (!Request("cold"))
            return 1;
        Emit("cold_cpu_ms", CpuMs() - cpuBefore);
        Emit("listed", m_window->Widgets().addressList->count());
        EmitMemory("in_session");
        m_window->Widgets().btn_cancel->click();
        if (!PumpUntil([this] { return Socket().State() == Socket::Listening; })) {
            Fail("not listening after the first request");
            return 1;
        }
        QCoreApplication::processEvents(); // idle in the tray again
        EmitMemory("after_session");
        DumpMappings("after_session");

        for (int i = 0; i < m_options.warm; ++i) {
            if (!Request("warm"))
                return 1;
            m_window->Widgets().btn_cancel->click();
            if (!PumpUntil([this] { return Socket().State() == Socket::Listening; })) {
                Fail("not listening after a request");
                return 1;
            }
        }
        const int clicksPerReply = std::max(1, m_options.select / std::max(1, m_options.reply));
        for (int i = 0; i < m_options.reply; ++i) {
            if (!Reply(i, clicksPerReply))
                return 1;
        }
        EmitMemory("after_replies");
        if (m_options.sessions > 0 && !Sessions())
            return 1;
        Emit("hwm_kib", StatusKiB("VmHWM"));
        QCoreApplication::processEvents(); // idle in the tray again
        EmitMemory("end");
        // What the heap would give back if asked: the free part of the figures.
        malloc_trim(0);
        EmitMemory("end_trimmed");
        if (m_options.breakdown > 0)
            Breakdown();
        m_window->Logic().Unload();
        return 0;
    }

private:
    TcpSocketLayer &Socket() { return m_window->Socket(); }

    static bool Fail(const char *what)
    {
        std::fprintf(stderr, "bench: %s\n", what);
        return false;
    }

    // Connect to connection taken with the list filled, and to its first paint.
    bool Request(const char *kind)
    {
        TestPeer peer;
        const int acceptsBefore = m_timing->accepts;
        const auto start = Clock::now();
        m_paint.armed = true;
        if (!peer.Connect(Socket().LocalPort()))
            return Fail("connect refused");
        if (!PumpUntil([&] { return m_timing->accepts > acceptsBefore; }))
            return Fail("no connection taken");
        Emit((std::string(kind) + "_ms").c_str(), Ms(start, m_timing->accepted));
        if (PumpUntil([&] { return !m_paint.armed; }, 5000))
            Emit((std::string(kind) + "_painted_ms").c_str(), Ms(start, m_paint.painted));
        return true;
    }

    // A click on the list entry at the row; true when fax entries came up.
    bool Click(int row, double *ms)
    {
        QListWidget *list = m_window->Widgets().addressList;
        QListWidgetItem *item = list->item(row);
        list->scrollToItem(item);
        QCoreApplication::processEvents();
        const QPoint where = list->visualItemRect(item).center();
        const auto start = Clock::now();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, where);
        const auto end = Clock::now();
        *ms = Ms(start, end);
        return item->isSelected() && m_window->Widgets().txt_outlookfaxno->count() > 0;
    }

    // One whole session with a reply: clicks, then OK, then the peer reads.
    bool Reply(int index, int clicks)
    {
        ReadingPeer peer;
        const int acceptsBefore = m_timing->accepts;
        if (!peer.Connect(Socket().LocalPort()))
            return Fail("connect refused");
        if (!PumpUntil([&] { return m_timing->accepts > acceptsBefore; }))
            return Fail("no connection taken");
        QCoreApplication::processEvents();
        const int count = m_window->Widgets().addressList->count();
        // Spread over the list, deterministic; rows without a fax are passed by.
        int row = int((uint64_t(index) * 2654435761U) % uint64_t(count));
        int withFax = 0;
        for (int tried = 0; tried < count && withFax < clicks; ++tried, row = (row + 7919) % count) {
            double ms = 0;
            const bool hasFax = Click(row, &ms);
            if (hasFax) {
                Emit("select_ms", ms);
                ++withFax;
            }
        }
        if (withFax == 0)
            return Fail("no contact with a fax number");
        const QByteArray expectedName = m_window->Widgets().addressList->selectedItems().value(0)->text().toUtf8();
        TimePoint ok;
        m_boxes.whileOpen = [&ok] { ok = Clock::now(); };
        const int listensBefore = m_timing->listens;
        m_window->Widgets().btn_send->click();
        if (!PumpUntil([&] { return peer.done && m_timing->listens > listensBefore; }, 20000))
            return Fail("no reply, or not listening again");
        const QList<QByteArray> lines = peer.received.split('\n');
        if (lines.size() != 5 || !peer.received.endsWith("\r\n \r\n") || lines[2] != expectedName + '\r')
            return Fail("the reply is not the four lines expected");
        Emit("reply_peer_ms", Ms(ok, peer.ended));
        Emit("reply_listen_ms", Ms(ok, m_timing->listened));
        m_boxes.shown.clear();
        m_journal.lines.clear();
        return true;
    }

    // Back-to-back sessions, each with a click and a reply, noting memory.
    bool Sessions()
    {
        for (int i = 0; i < m_options.sessions; ++i) {
            TestPeer peer;
            const int acceptsBefore = m_timing->accepts;
            if (!peer.Connect(Socket().LocalPort()))
                return Fail("connect refused");
            if (!PumpUntil([&] { return m_timing->accepts > acceptsBefore; }))
                return Fail("no connection taken");
            double ms = 0;
            const int listensBefore = m_timing->listens;
            const int count = m_window->Widgets().addressList->count();
            if (count == 0)
                return Fail("nothing listed");
            int row = int((int64_t(i) * 7919) % count);
            for (int tried = 0; !Click(row, &ms); row = (row + 1) % count) {
                if (++tried == count)
                    return Fail("no contact with a fax number");
            }
            m_window->Widgets().btn_send->click();
            if (!PumpUntil([&] { return m_timing->listens > listensBefore; }, 20000))
                return Fail("not listening again");
            if (!PumpUntil([&] { return peer.Poll(); }, 5000)
                || std::count(peer.Received().begin(), peer.Received().end(), '\n') != 4)
                return Fail("the peer did not get its four lines");
            m_boxes.shown.clear();
            m_journal.lines.clear();
            EmitSeries("rss_series_kib", i, StatusKiB("VmRSS"));
            EmitSeries("heap_series_kib", i, HeapKiB());
        }
        std::fflush(stdout);
        return true;
    }

    // What the window's listing costs step by step, done again here from the
    // same public pieces on a second handle to the same address book.
    void Breakdown()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVANE_TESK_ADDRESSBOOK"), m_options.book);
        auto store = OpenAddressBook(environment);
        auto folder = store->OpenDefaultContactsFolder();
        QListWidget list;
        list.setUniformItemSizes(true);
        for (int pass = 0; pass <= m_options.breakdown; ++pass) {
            const char *kind = pass == 0 ? "cold" : "warm";
            const double heapBefore = HeapKiB();
            auto t0 = Clock::now();
            const int32_t count = folder->Count();
            auto t1 = Clock::now();
            const double heapAfterCount = HeapKiB();
            std::vector<ListEntry> entries;
            std::vector<ContactItem> items;
            items.reserve(size_t(count));
            for (int32_t position = 1; position <= count; ++position)
                items.push_back(folder->Item(position));
            auto t2 = Clock::now();
            for (int32_t position = 1; position <= count; ++position) {
                const ContactItem &item = items[size_t(position - 1)];
                if (item.itemClass == ContactClass)
                    entries.push_back({ToQString(DisplayText(item.lastName, item.firstName, item.companyName)), position});
            }
            auto t3 = Clock::now();
            SortForDisplay(entries);
            auto t4 = Clock::now();
            const double heapBeforeFill = HeapKiB();
            for (const ListEntry &entry : entries) {
                auto *row = new QListWidgetItem(entry.text);
                row->setData(Qt::UserRole, entry.position);
                list.addItem(row);
            }
            auto t5 = Clock::now();
            if (pass == 0) {
                // What the store keeps after a listing, and what the list's items take.
                Emit("breakdown_store_heap_kib", heapAfterCount - heapBefore);
                Emit("breakdown_list_items_heap_kib", HeapKiB() - heapBeforeFill);
            }
            list.clear();
            auto t6 = Clock::now();
            if (pass > 0)
                FillVariants(entries);
            std::printf("breakdown_%s_count_ms,%.3f\nbreakdown_%s_items_ms,%.3f\nbreakdown_%s_text_ms,%.3f\n"
                        "breakdown_%s_sort_ms,%.3f\nbreakdown_%s_fill_ms,%.3f\nbreakdown_%s_clear_ms,%.3f\n",
                        kind, Ms(t0, t1), kind, Ms(t1, t2), kind, Ms(t2, t3), kind, Ms(t3, t4), kind, Ms(t4, t5),
                        kind, Ms(t5, t6));
            std::fflush(stdout);
        }
    }

    // Other ways to put the same entries into a list on screen, to tell the
    // lead what a different fill would save.
    static void FillVariants(const std::vector<ListEntry> &entries)
    {
        const auto timed = [](const char *name, const auto &work) {
            const auto start = Clock::now();
            work();
            std::printf("breakdown_variant_%s_ms,%.3f\n", name, Ms(start, Clock::now()));
        };
        QListWidget shown;
        shown.setUniformItemSizes(true);
        shown.resize(700, 225);
        shown.show();
        QCoreApplication::processEvents();
        timed("as_window", [&] {
            for (const ListEntry &entry : entries) {
                auto *row = new QListWidgetItem(entry.text);
                row->setData(Qt::UserRole, entry.position);
                shown.addItem(row);
            }
        });
        timed("visible_clear", [&] { shown.clear(); });
        timed("into_list", [&] {
            for (const ListEntry &entry : entries) {
                auto *row = new QListWidgetItem(entry.text, &shown);
                row->setData(Qt::UserRole, entry.position);
            }
        });
        shown.clear();
        timed("additems_then_setdata", [&] {
            QStringList texts;
            texts.reserve(qsizetype(entries.size()));
            for (const ListEntry &entry : entries)
                texts << entry.text;
            shown.addItems(texts);
            for (int row = 0; row < shown.count(); ++row)
                shown.item(row)->setData(Qt::UserRole, entries[size_t(row)].position);
        });
        timed("additems_clear", [&] { shown.clear(); });
        QListView view;
        view.setUniformItemSizes(true);
        view.resize(700, 225);
        view.show();
        QStringListModel model;
        view.setModel(&model);
        QCoreApplication::processEvents();
        timed("stringlistmodel", [&] {
            QStringList texts;
            std::vector<qint32> positions; // kept beside the model, row by row
            texts.reserve(qsizetype(entries.size()));
            positions.reserve(entries.size());
            for (const ListEntry &entry : entries) {
                texts << entry.text;
                positions.push_back(entry.position);
            }
            model.setStringList(texts);
        });
        timed("stringlistmodel_clear", [&] { model.setStringList({}); });
    }

    Options m_options;
    Journal m_journal;
    FakeBoxes m_boxes{m_journal};
    FakeUrls m_urls{m_journal};
    std::unique_ptr<DialogWindow> m_window;
    std::unique_ptr<TimingEvents> m_timing;
    PaintWatch m_paint;
};

} // namespace

int main(int argc, char **argv)
{
    UseMallocForGLib();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Options options;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &name = args[i];
        const QString &value = args[i + 1];
        if (name == QLatin1String("--book"))
            options.book = value;
        else if (name == QLatin1String("--warm"))
            options.warm = value.toInt();
        else if (name == QLatin1String("--select"))
            options.select = value.toInt();
        else if (name == QLatin1String("--reply"))
            options.reply = value.toInt();
        else if (name == QLatin1String("--sessions"))
            options.sessions = value.toInt();
        else if (name == QLatin1String("--breakdown"))
            options.breakdown = value.toInt();
    }
    if (options.book.isEmpty()) {
        std::fprintf(stderr, "usage: %s --book vcard:PATH|eds:UID [--warm N] [--select N] [--reply N] "
                             "[--sessions N] [--breakdown N]\n", argv[0]);
        return 2;
    }
    Bench bench(options);
    return bench.Run();
}
