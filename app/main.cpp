#include "app/Application.h"
#include "app/ApplicationTitle.h"
#include "app/QtFileDialogs.h"
#include "app/QtMessageBoxes.h"
#include "app/Setup.h"
#include "platform/linux/AlsaSoundOutput.h"
#include "platform/linux/DesktopEntryResolver.h"
#include "platform/linux/DetachedProcessStarter.h"
#include "platform/linux/FileRegistry.h"
#include "platform/linux/InterfaceRemoteAccess.h"
#include "platform/linux/LinuxSystemClock.h"
#include "platform/linux/MonotonicTickSource.h"
#include "platform/linux/PosixSocketApi.h"
#include "platform/linux/QtNotificationArea.h"
#include "platform/linux/QtTimerService.h"
#include "platform/linux/SessionEnd.h"
#include "platform/linux/X11DesktopWindows.h"
#include "platform/linux/XdgDesktopShell.h"

#include <QApplication>
#include <QDir>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication qtApplication(argc, argv);
    // A tray program: closing a message box while the dialog is hidden must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    MonotonicTickSource ticks;
    QtTimerService timers;
    PosixSocketApi sockets;
    LinuxSystemClock clock;
    AlsaSoundOutput sound;
    FileRegistry store(DefaultRegistryPath(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath()));
    QtNotificationArea tray;
    InterfaceRemoteAccess dialup;
    DetachedProcessStarter processes;
    X11DesktopWindows windows;
    DesktopEntryResolver shortcuts;
    XdgDesktopShell shell(processes, shortcuts);
    Platform platform {
        ticks, timers, sockets, clock, sound, store, tray, dialup, shell, processes, windows, shortcuts
    };

    QtMessageBoxes messageBoxes;
    QtFileDialogs fileDialogs;
    TApplication application(ApplicationTitle(QCoreApplication::applicationFilePath()), messageBoxes);
    std::unique_ptr<TSetupForm> SetupForm;
    try {
        SetupForm = std::make_unique<TSetupForm>(application, platform, messageBoxes, fileDialogs);
    } catch (const std::exception& error) {
        // Without its components (the tray icon, the timer) the program cannot run at all.
        application.HandleException(error);
        return 1;
    }

    // Log-off: the icons leave the notification area and the program ends without asking.
    SessionEnd sessionEnd([&tray] {
        tray.EndSession();
        QCoreApplication::exit(0);
    });

    // The form is never shown by the message loop itself: it starts in the tray unless the
    // start-up opened the dialog.
    return QApplication::exec();
}
