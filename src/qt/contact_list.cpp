#include "contact_list.h"

#include <QCollator>
#include <algorithm>

namespace {
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
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        const size_t rows = size_t(last - first + 1);
        const auto at = m_data.begin() + first;
        if (m_incoming && m_incoming->size() == rows)
            m_data.insert(at, m_incoming->begin(), m_incoming->end());
        else
            m_data.insert(at, rows, 0);
    });
    connect(model(), &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        m_data.erase(m_data.begin() + first, m_data.begin() + last + 1);
    });
    connect(model(), &QAbstractItemModel::modelReset, this, [this] { m_data.assign(size_t(count()), 0); });
}

// The model outlives this part of the object: the base class deletes it, and
// its last signals must not reach the row numbers, already gone by then.
ContactList::~ContactList()
{
    model()->disconnect(this);
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
        m_data.at(size_t(index)) = data;
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
    QStringList texts;
    std::vector<qint32> data;
    texts.reserve(qsizetype(keyed.size()));
    data.reserve(keyed.size());
    for (const Keyed &k : keyed) {
        texts.append(m_pending[k.index].text);
        data.push_back(m_pending[k.index].data);
    }
    m_pending = {};
    Append(texts, data);
}

void ContactList::Append(const QStringList &texts, const std::vector<qint32> &data)
{
    if (texts.isEmpty())
        return;
    m_incoming = &data;
    insertItems(count(), texts);
    m_incoming = nullptr;
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
    return m_data.at(size_t(index));
}

QItemSelectionModel::SelectionFlags ContactList::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    const bool deselects = command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle);
    if (deselects && index.isValid() && selectionModel()->isSelected(index))
        return QItemSelectionModel::NoUpdate;
    return command;
}
