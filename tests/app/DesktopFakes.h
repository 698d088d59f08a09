#pragma once

#include "app/Application.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeNotificationArea.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSoundOutput.h"

// The fakes every setup form of the tests stands among, whatever sockets, timers and clock it
// gets: the store, the sounds, the tray, the message boxes and an application that never quits.
struct DesktopFakes
{
    FakeSoundOutput sound;
    FakeRegistry store;
    FakeNotificationArea tray;
    FakeMessageBoxes boxes;
    // Quitting would end every later message loop of the test run, modal ones included.
    TApplication application { QStringLiteral("kronvik"), boxes, [] {} };
};
