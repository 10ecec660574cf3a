#include "message_boxes.h"

#include "qt_text.h"

#include <QMessageBox>

namespace {
QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const Text &text, const Text &title,
                                QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, ToQString(title), ToQString(text), buttons);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok);
    return QMessageBox::StandardButton(box.exec());
}
} // namespace

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
