#include "app/Application.h"
#include "app/ApplicationTitle.h"
#include "app/CommandLine.h"
#include "app/JustOne32.h"
#include "app/PreviousInstance.h"
#include "app/Setup.h"
#include "platform/linux/clock/LinuxSystemClock.h"
#include "platform/linux/clock/TimedateService.h"
#include "platform/linux/desktop/DesktopEntryResolver.h"
#include "platform/linux/desktop/DetachedProcessStarter.h"
#include "platform/linux/desktop/QtFileDialogs.h"
#include "platform/linux/desktop/QtMessageBoxes.h"
#include "platform/linux/desktop/SessionEnd.h"
#include "platform/linux/desktop/X11DesktopWindows.h"
#include "platform/linux/desktop/XdgDesktopShell.h"
#include "platform/linux/instance/LocalSingleInstance.h"
#include "platform/linux/instance/RuntimeFolder.h"
#include "platform/linux/links/InterfaceRemoteAccess.h"
#include "platform/linux/settings/FileRegistry.h"
#include "platform/linux/sockets/PosixDatagramApi.h"
#include "platform/linux/sockets/PosixSocketApi.h"
#include "platform/linux/sound/AlsaSoundOutput.h"
#include "platform/linux/timers/MonotonicTickSource.h"
#include "platform/linux/timers/QtMessageWait.h"
#include "platform/linux/timers/QtTimerService.h"
#include "platform/linux/tray/QtNotificationArea.h"
#include "platform/linux/version/ElfVersionInfo.h"

#include <QApplication>
#include <QDir>

#include <memory>
#include <optional>

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = HandleCommandLine(argc, argv))
        return *status;

    QApplication qtApplication(argc, argv);
    // A tray program: closing a message box while the dialog is hidden must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMessageBoxes messageBoxes;
    TApplication application(ApplicationTitle(QCoreApplication::applicationFilePath()), messageBoxes);

    // The start-up test comes before anything else: a later copy hands over to the running one and
    // ends here, without a window, a tray icon or a word written to the settings.
    LocalSingleInstance instance(PrivateRuntimeFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath()));
    TPreviousInstance previousInstance(instance, application.Title());
    TJustOne32 JustOne321(application, instance, previousInstance);
    if (application.Terminated())
        return 0;

    MonotonicTickSource ticks;
    QtTimerService timers(ticks);
    PosixSocketApi sockets;
    TimedateService timeService;
    LinuxSystemClock clock(&timeService);
    AlsaSoundOutput sound;
    FileRegistry store(DefaultRegistryPath(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath()));
    QtNotificationArea tray;
    InterfaceRemoteAccess dialup;
    DetachedProcessStarter processes;
    X11DesktopWindows windows;
    DesktopEntryResolver shortcuts;
    XdgDesktopShell shell(processes, shortcuts);
    ElfVersionInfo version;
    QtMessageWait wait;
    PosixDatagramApi datagrams;
    Platform platform { ticks, timers,  sockets, clock,     sound,   store,     tray,     dialup,
                        shell, version, wait,    processes, windows, shortcuts, datagrams };

    QtFileDialogs fileDialogs;
    std::unique_ptr<TSetupForm> SetupForm;
    try {
        SetupForm = std::make_unique<TSetupForm>(application, platform, messageBoxes, fileDialogs);
    } catch (const std::exception& error) {
        // Without its components (the tray icon, the timer) the program cannot run at all.
        application.HandleException(error);
        return 1;
    }

    // Log-off ends the program without asking, from whatever loop it is in: the tray menu, a box,
    // a wait. Every loop returns first; only then do the icons leave the notification area, since
    // the signal may have come while the icon's own window was handling the click that opened
    // the loop, and that window goes with the icon.
    bool loggedOff = false;
    SessionEnd sessionEnd([&application, &loggedOff] {
        loggedOff = true;
        application.Terminate();
    });

    // The form is never shown by the message loop itself: it starts in the tray unless the
    // start-up opened the dialog.
    const int status = QApplication::exec();
    if (loggedOff)
        tray.EndSession();
    return status;
}
