#include "message_boxes.h"

#include "qt_text.h"

#include <QMessageBox>

int QtMessageBoxes::Ask(int icon, const Text &text, const Text &title, int buttons)
{
    const QMessageBox::StandardButtons standard(buttons);
    QMessageBox box(QMessageBox::Icon(icon), ToQString(title), ToQString(text), standard);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(standard.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok);
    m_open.append(&box);
    const int answer = box.exec();
    m_open.removeAll(&box);
    return answer;
}

void QtMessageBoxes::Error(const Text &text, const Text &title)
{
    Ask(QMessageBox::Critical, text, title, QMessageBox::Ok);
}

void QtMessageBoxes::Information(const Text &text, const Text &title)
{
    Ask(QMessageBox::Information, text, title, QMessageBox::Ok);
}

bool QtMessageBoxes::Question(const Text &text, const Text &title)
{
    return Ask(QMessageBox::NoIcon, text, title, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void QtMessageBoxes::CloseAll()
{
    for (const QPointer<QMessageBox> &box : std::as_const(m_open)) {
        if (box)
            box->done(QMessageBox::Cancel);
    }
}
