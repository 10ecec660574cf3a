#include "message_boxes.h"

#include <QMessageBox>

namespace {
QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const QString &text, const QString &title,
                                QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok);
    return QMessageBox::StandardButton(box.exec());
}
} // namespace

void QtMessageBoxes::Error(const QString &text, const QString &title)
{
    Ask(QMessageBox::Critical, text, title, QMessageBox::Ok);
}

void QtMessageBoxes::Information(const QString &text, const QString &title)
{
    Ask(QMessageBox::Information, text, title, QMessageBox::Ok);
}

bool QtMessageBoxes::Question(const QString &text, const QString &title)
{
    return Ask(QMessageBox::NoIcon, text, title, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}
