#pragma once

// The core's controls over Qt's widgets.
#include "contact_list.h"
#include "platform.h"
#include "qt_text.h"
#include "tab_pages.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

class QtButton final : public Button {
public:
    explicit QtButton(QPushButton *button) : m_button(button) {}
    void SetEnabled(bool enabled) override { m_button->setEnabled(enabled); }
    bool Enabled() const override { return m_button->isEnabled(); }

private:
    QPushButton *m_button;
};

class QtLabel final : public Label {
public:
    explicit QtLabel(QLabel *label) : m_label(label) {}
    void SetCaption(const Text &caption) override { m_label->setText(ToQString(caption)); }
    Text Caption() const override { return ToText(m_label->text()); }

private:
    QLabel *m_label;
};

class QtTextBox final : public TextBox {
public:
    explicit QtTextBox(QLineEdit *box) : m_box(box) {}
    Text GetText() const override { return ToText(m_box->text()); }
    void SetText(const Text &text) override { m_box->setText(ToQString(text)); }

private:
    QLineEdit *m_box;
};

class QtListBox final : public ListBox {
public:
    explicit QtListBox(ContactList *list) : m_list(list) {}
    void SetEnabled(bool enabled) override { m_list->setEnabled(enabled); }
    void Clear() override { m_list->clear(); }
    void BeginFill() override { m_list->BeginFill(); }
    void EndFill() override { m_list->EndFill(); }
    int AddItem(const Text &text) override { return m_list->Add(ToQString(text)); }
    void SetItemData(int index, int32_t data) override { m_list->SetData(index, data); }
    void AddSorted(const std::vector<ListEntry> &entries) override
    {
        QStringList texts;
        std::vector<qint32> data;
        texts.reserve(qsizetype(entries.size()));
        data.reserve(entries.size());
        for (const ListEntry &entry : entries) {
            texts.append(ToQString(entry.text));
            data.push_back(entry.data);
        }
        m_list->Append(texts, data);
    }
    std::vector<ListEntry> Entries() const override
    {
        std::vector<ListEntry> entries;
        entries.reserve(size_t(m_list->count()));
        for (int index = 0; index < m_list->count(); ++index)
            entries.push_back({ToText(m_list->Text(index)), m_list->Data(index)});
        return entries;
    }
    int SelectedIndex() const override { return m_list->Selected(); }
    Text ItemText(int index) const override { return ToText(m_list->Text(index)); }
    int32_t ItemData(int index) const override { return m_list->Data(index); }

private:
    ContactList *m_list;
};

// A drop-down list. Qt picks the first entry of an empty combo box by itself;
// here only SetSelectedIndex picks one.
class QtComboBox final : public ComboBox {
public:
    explicit QtComboBox(QComboBox *combo) : m_combo(combo) {}
    void Clear() override { m_combo->clear(); }
    void AddItem(const Text &text) override
    {
        const int selected = m_combo->currentIndex();
        m_combo->addItem(ToQString(text));
        m_combo->setCurrentIndex(selected);
    }
    void SetSelectedIndex(int index) override { m_combo->setCurrentIndex(index); }
    int SelectedIndex() const override { return m_combo->currentIndex(); }
    Text ItemText(int index) const override { return ToText(m_combo->itemText(index)); }

private:
    QComboBox *m_combo;
};

class QtTabControl final : public TabControl {
public:
    explicit QtTabControl(TabPages *tabs) : m_tabs(tabs) {}
    int SelectedPage() const override { return m_tabs->CurrentIndex(); }

private:
    TabPages *m_tabs;
};

class QtTimer final : public Timer {
public:
    explicit QtTimer(std::function<void()> tick)
    {
        QObject::connect(&m_timer, &QTimer::timeout, std::move(tick));
    }
    void Start(int intervalMs) override { m_timer.start(intervalMs); }
    void Stop() override { m_timer.stop(); }
    bool Active() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};
