#pragma once

#include "app/Setup.h"
#include "platform/Platform.h"
#include "tests/app/DesktopFakes.h"
#include "tests/fakes/FakeDatagramApi.h"
#include "tests/fakes/FakeMessageWait.h"
#include "tests/fakes/FakeSocketApi.h"
#include "tests/fakes/FakeSystemClock.h"
#include "tests/fakes/FakeTickSource.h"
#include "tests/fakes/FakeTimerService.h"
#include "ui_SetupForm.h"

#include <algorithm>
#include <memory>

// A fresh world of fakes around one setup form, as the program builds it at start.
struct FormWorld : DesktopFakes
{
    FormWorld()
        : timers(&ticks)
        , platform { ticks, timers,  sockets, clock,     sound,   store,     tray,     dialup,
                     shell, version, wait,    processes, windows, shortcuts, datagrams }
    {
        // A handler that waits for its next message: unless the test says otherwise, nothing
        // arrives but the next timer tick.
        wait.onWait = [this] { timers.Elapse(std::max<std::uint16_t>(timers.Period(), 1)); };
    }

    // Creates the form (running its start-up) over whatever the store holds now.
    TSetupForm& Start()
    {
        form = std::make_unique<TSetupForm>(application, platform, boxes, fileDialogs);
        return *form;
    }

    void Store(const QString& section, const QString& name, const QByteArray& text)
    {
        store.SetValue(QStringLiteral("Kronvik\\") + section, name, Registry::RegSz, text);
    }

    QByteArray Stored(const QString& section, const QString& name)
    {
        Registry::Value value;
        if (store.ReadValue(QStringLiteral("Kronvik\\") + section, name, value) != Registry::Result::Ok)
            return "<missing>";
        return value.data;
    }

    QString TrayTip() const { return tray.First() ? tray.First()->tip : QString(); }

    FakeTickSource ticks;
    FakeTimerService timers;
    FakeSocketApi sockets;
    FakeSystemClock clock;
    FakeMessageWait wait;
    FakeDatagramApi datagrams;
    Platform platform;
    std::unique_ptr<TSetupForm> form;
};

inline const QString TrayHint = QStringLiteral("Double-click to get time (Right-click to show options menu)");
