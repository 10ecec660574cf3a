// What one request costs the vCard address book on a given file: the time of
// a listing (Count, then every item, as the window reads them) and the
// resident memory after it. With --rewrites N the file is rewritten (a byte
// changed, so it is read afresh) and listed again N times.
// Usage: corvane-bench-vcard-read-cost FILE.vcf [--rewrites N]
#include "vcard_store.h"

#include <QByteArray>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

long StatusKiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    }
    return -1;
}

void Request(ContactsFolder &folder, int round)
{
    const auto start = std::chrono::steady_clock::now();
    const qint32 count = folder.Count();
    qsizetype textBytes = 0;
    for (qint32 position = 1; position <= count; ++position)
        textBytes += folder.Item(position).lastName.size();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("round %d: %d items, %.1f ms, rss %.1f MiB, peak %.1f MiB\n", round, count, ms,
                StatusKiB("VmRSS:") / 1024.0, StatusKiB("VmHWM:") / 1024.0);
    std::fflush(stdout);
    (void)textBytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.vcf [--rewrites N]\n", argv[0]);
        return 2;
    }
    const QString path = QFile::decodeName(argv[1]);
    const int rewrites = argc >= 4 && std::strcmp(argv[2], "--rewrites") == 0 ? std::atoi(argv[3]) : 0;
    auto folder = VCardStore(path, true).OpenDefaultContactsFolder();
    Request(*folder, 0);
    for (int round = 1; round <= rewrites; ++round) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite))
            return 1;
        // The last byte flips between two line ends, so the size stays the same.
        file.seek(file.size() - 1);
        const char last = file.read(1).at(0);
        file.seek(file.size() - 1);
        file.write(last == '\n' ? "\r" : "\n", 1);
        file.close();
        Request(*folder, round);
    }
    return 0;
}
