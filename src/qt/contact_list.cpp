#include "contact_list.h"

#include <QCollator>
#include <algorithm>

namespace {
constexpr int kDataRole = Qt::UserRole;

// The C locale's collation is plain code order, which ignores the case
// setting: such users' lists sort as English does.
QCollator UserCollator()
{
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}
} // namespace

ContactList::ContactList(QWidget *parent) : QListWidget(parent)
{
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void ContactList::BeginFill()
{
    m_filling = true;
    m_pending.clear();
}

int ContactList::Add(const QString &text)
{
    if (m_filling) {
        m_pending.push_back({text, 0});
        return int(m_pending.size()) - 1;
    }
    const QCollator collator = UserCollator();
    int index = 0;
    while (index < count() && collator.compare(item(index)->text(), text) <= 0)
        ++index;
    insertItem(index, text);
    return index;
}

void ContactList::SetData(int index, qint32 data)
{
    if (m_filling)
        m_pending.at(size_t(index)).data = data;
    else
        item(index)->setData(kDataRole, data);
}

void ContactList::EndFill()
{
    m_filling = false;
    const QCollator collator = UserCollator();
    struct Keyed {
        QCollatorSortKey key;
        size_t index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(m_pending.size());
    for (size_t i = 0; i < m_pending.size(); ++i)
        keyed.push_back({collator.sortKey(m_pending[i].text), i});
    // Equal texts keep the address book's order.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed &a, const Keyed &b) { return a.key.compare(b.key) < 0; });
    for (const Keyed &k : keyed)
        Append(m_pending[k.index].text, m_pending[k.index].data);
    m_pending = {};
}

void ContactList::Append(const QString &text, qint32 data)
{
    // Complete before it joins the list: a change to a listed item makes the
    // shown list update, which costs much more for long lists.
    auto *entry = new QListWidgetItem(text);
    entry->setData(kDataRole, data);
    addItem(entry);
}

int ContactList::Selected() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

QString ContactList::Text(int index) const
{
    return item(index)->text();
}

qint32 ContactList::Data(int index) const
{
    return item(index)->data(kDataRole).toInt();
}

QItemSelectionModel::SelectionFlags ContactList::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    const bool deselects = command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle);
    if (deselects && index.isValid() && selectionModel()->isSelected(index))
        return QItemSelectionModel::NoUpdate;
    return command;
}
