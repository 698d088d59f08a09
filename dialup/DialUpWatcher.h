#pragma once

#include <QString>

#include <functional>

class TRxTimerEvent;

// The dial-up watcher's tick: a new connection (an address not seen before) asks for the time,
// a successful query lets the next tick start the user's programs, and a connection that is gone
// closes them again. Its timer event is off while a tick works, so that no tick starts inside
// another, and the period starts anew when it is done.
class DialUpWatcher final
{
public:
    // The process-wide state a tick reads and changes; its owner keeps it.
    struct State
    {
        bool& TimeObtained;
        bool& AppsLaunched;
        QString& LastTimeAddress;
        // Written by IsConnected.
        const QString& DialUpAddress;
    };

    // The owner's handlers a tick runs, all on the user-interface thread.
    struct Handlers
    {
        // Connections are watched (not manual mode).
        std::function<bool()> DetectionOn;
        std::function<bool()> IsConnected;
        std::function<void()> GettimeClick;
        std::function<void()> ApplicationLauncher;
        std::function<void()> ApplicationCloser;
    };

    DialUpWatcher(TRxTimerEvent& timerEvent, State state, Handlers handlers);

    void Tick();

private:
    TRxTimerEvent& m_timerEvent;
    State m_state;
    Handlers m_handlers;
};
