#include "platform/linux/desktop/QtMessageBoxes.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

// The program's texts break lines the way message boxes elsewhere expect ("\r\n").
QString DisplayText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

void QtMessageBoxes::Warning(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), DisplayText(text));
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

bool QtMessageBoxes::Confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), DisplayText(text));
    QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void QtMessageBoxes::Error(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, DisplayText(text));
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}
