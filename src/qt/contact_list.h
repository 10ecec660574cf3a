#pragma once

#include <QListWidget>

// The address-book list: sorted as the user's language sorts, filled in one
// batch, and a chosen entry cannot be deselected (Ctrl+click or Ctrl+Space
// would otherwise leave the dialog with no contact while one is offered).
// Each row's number is kept beside the rows rather than in them: a batch of
// rows then goes in as one insertion of texts.
class ContactList final : public QListWidget {
    Q_OBJECT
public:
    explicit ContactList(QWidget *parent = nullptr);
    ~ContactList() override;

    void BeginFill();
    // Adds to the batch while filling, else in sorted place; the index the
    // entry has now.
    int Add(const QString &text);
    void SetData(int index, qint32 data);
    void EndFill();
    // Appends the entries as given, sorted or not: for entries this list
    // sorted before.
    void Append(const QStringList &texts, const std::vector<qint32> &data);
    int Selected() const;
    QString Text(int index) const;
    qint32 Data(int index) const;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    struct Pending {
        QString text;
        qint32 data = 0;
    };
    bool m_filling = false;
    std::vector<Pending> m_pending;
    // One a row, following the rows however they are inserted or removed.
    std::vector<qint32> m_data;
    // The numbers of the rows being appended.
    const std::vector<qint32> *m_incoming = nullptr;
};
