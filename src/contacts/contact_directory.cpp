#include "contact_directory.h"

#include <QCollator>
#include <algorithm>

QString DisplayText(const QString &lastName, const QString &firstName, const QString &companyName)
{
    const QString separator = !lastName.isEmpty() && !firstName.isEmpty() ? QStringLiteral(", ") : QString();
    const QString name = lastName + separator + firstName;
    if (companyName.isEmpty())
        return name;
    return companyName + QStringLiteral(" - (") + name + u')';
}

void SortForDisplay(std::vector<ListEntry> &entries)
{
    // The C locale's collation is plain code order, which ignores the case
    // setting: sort such users' lists as English does.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    struct Keyed {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (qsizetype i = 0; i < qsizetype(entries.size()); ++i)
        keyed.push_back({collator.sortKey(entries[size_t(i)].text), i});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed &a, const Keyed &b) { return a.key.compare(b.key) < 0; });
    std::vector<ListEntry> sorted;
    sorted.reserve(entries.size());
    for (const Keyed &k : keyed)
        sorted.push_back(std::move(entries[size_t(k.index)]));
    entries = std::move(sorted);
}

QStringList FaxEntries(const QString &business, const QString &home, const QString &other)
{
    QStringList entries;
    if (!business.isEmpty())
        entries << QStringLiteral("Business fax: ") + business;
    if (!home.isEmpty())
        entries << QStringLiteral("Home fax: ") + home;
    if (!other.isEmpty())
        entries << QStringLiteral("Other fax: ") + other;
    return entries;
}
