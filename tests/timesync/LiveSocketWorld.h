#pragma once

#include "app/Setup.h"
#include "platform/Platform.h"
#include "platform/linux/sockets/PosixDatagramApi.h"
#include "platform/linux/sockets/PosixSocketApi.h"
#include "platform/linux/timers/MonotonicTickSource.h"
#include "platform/linux/timers/QtMessageWait.h"
#include "platform/linux/timers/QtTimerService.h"
#include "tests/app/DesktopFakes.h"
#include "tests/fakes/FakeSystemClock.h"

#include <memory>

// One setup form on the real socket layer and real timers, so that a query travels through
// the kernel and the event loop to a real server; the clock, the store, the sounds, the tray
// and the message boxes stay fakes. Clock is any SystemClock the caller wants to watch.
template<typename Clock = FakeSystemClock> struct LiveSocketWorld : DesktopFakes
{
    LiveSocketWorld()
        : timers(ticks)
        , platform { ticks, timers,  sockets, clock,     sound,   store,     tray,     dialup,
                     shell, version, wait,    processes, windows, shortcuts, datagrams }
    { }

    // Stores the timeserver and the time mode (0 local, 1 UTC), then creates the form, which
    // goes straight to the tray since a server is configured.
    TSetupForm& Start(const QByteArray& server, const QByteArray& timeMode)
    {
        store.SetValue(QStringLiteral("Kronvik\\Server"), QStringLiteral("Address"), Registry::RegSz, server);
        store.SetValue(QStringLiteral("Kronvik\\Server"), QStringLiteral("TimeMode"), Registry::RegSz, timeMode);
        form = std::make_unique<TSetupForm>(application, platform, boxes, fileDialogs);
        return *form;
    }

    MonotonicTickSource ticks;
    QtTimerService timers;
    PosixSocketApi sockets;
    Clock clock;
    QtMessageWait wait;
    PosixDatagramApi datagrams;
    Platform platform;
    std::unique_ptr<TSetupForm> form;
};
