#pragma once

#include "app/Application.h"
#include "tests/fakes/FakeDesktopShell.h"
#include "tests/fakes/FakeDesktopWindows.h"
#include "tests/fakes/FakeFileDialogs.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeNotificationArea.h"
#include "tests/fakes/FakeProcessStarter.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeRemoteAccess.h"
#include "tests/fakes/FakeShortcutResolver.h"
#include "tests/fakes/FakeSoundOutput.h"
#include "tests/fakes/FakeVersionInfo.h"

// The fakes every setup form of the tests stands among, whatever sockets, timers and clock it
// gets: the store, the sounds, the tray, the message boxes, the file dialogs, the dial-up links,
// the desktop's opener, the version block, the programs, their windows and shortcuts, and an
// application that never quits.
struct DesktopFakes
{
    FakeSoundOutput sound;
    FakeRegistry store;
    FakeNotificationArea tray;
    FakeMessageBoxes boxes;
    FakeFileDialogs fileDialogs;
    FakeRemoteAccess dialup;
    FakeDesktopShell shell;
    FakeVersionInfo version;
    FakeProcessStarter processes;
    FakeDesktopWindows windows;
    FakeShortcutResolver shortcuts;
    // Quitting would end every later message loop of the test run, modal ones included.
    TApplication application { QStringLiteral("kronvik"), boxes, [] {} };
};
