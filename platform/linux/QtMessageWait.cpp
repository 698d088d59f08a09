#include "platform/linux/QtMessageWait.h"

#include <QCoreApplication>

void QtMessageWait::WaitMessage()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
