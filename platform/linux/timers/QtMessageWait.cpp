#include "platform/linux/timers/QtMessageWait.h"

#include <QCoreApplication>
#include <QTimer>

void QtMessageWait::WaitMessage()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtMessageWait::WaitMessageFor(int timeoutMs)
{
    // A message of its own at the latest then, whatever else comes or does not.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(timeoutMs);
    WaitMessage();
}
