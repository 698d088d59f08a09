#pragma once

#include <QString>

#include <functional>

// One running copy of the program per user and name. A copy takes a lock of the program's name,
// which the system gives back when the process ends, however it ends (a crash, kill -9). The copy
// holding the lock can be reached by later copies of the same name, which ask it to come forward
// to the user before they end.
class SingleInstance
{
public:
    enum class LockResult
    {
        Acquired, // this process holds the lock until Unlock or its end
        Held, // another process holds it: a copy of the same name runs
        Failed // the lock could not be created (no private folder for it, an empty name); nothing is held
    };

    virtual ~SingleInstance() = default;

    // Takes the lock of this name without waiting for it.
    virtual LockResult Lock(const QString& name) = 0;

    // Gives the lock back; nothing happens when none is held.
    virtual void Unlock() = 0;

    // While the lock is held: accepts hand-over requests of later copies; onRequest runs on the
    // user-interface thread once for each, after the request was accepted. Returns false when no
    // lock is held or the channel cannot be opened; later copies then find no one to hand over to.
    virtual bool Listen(std::function<void()> onRequest) = 0;

    // Why the last Listen returned false, in words for the user.
    virtual QString ListenError() const = 0;

    // Asks the copy holding the lock of this name to come forward. A copy that is still starting
    // may not listen yet, so this tries again until timeoutMs have passed. Returns true when the
    // request was accepted, false when no copy answered in time.
    virtual bool RequestHandOver(const QString& name, int timeoutMs) = 0;
};
