#include "platform/linux/timers/QtMessageWait.h"

#include <QCoreApplication>

void QtMessageWait::WaitMessage()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
