#pragma once

#include "platform/SingleInstance.h"

#include <QStringList>

// A lock and a hand-over channel in memory: the test says whether another copy holds the lock,
// and plays the later copy that asks for the hand-over.
class FakeSingleInstance final : public SingleInstance
{
public:
    LockResult Lock(const QString& name) override
    {
        calls << QStringLiteral("lock:") + name;
        held = lockResult == LockResult::Acquired;
        return lockResult;
    }
    void Unlock() override
    {
        calls << QStringLiteral("unlock");
        held = false;
        onRequest = nullptr;
    }
    bool Listen(std::function<void()> handler) override
    {
        calls << QStringLiteral("listen");
        if (!held)
            return false;
        onRequest = std::move(handler);
        return true;
    }
    QString ListenError() const override { return QStringLiteral("no lock is held"); }
    bool RequestHandOver(const QString& name, int) override
    {
        calls << QStringLiteral("hand-over:") + name;
        return handOverAccepted;
    }

    // A later copy asks this one to come forward.
    void LaterCopyStarts()
    {
        if (onRequest)
            onRequest();
    }

    LockResult lockResult = LockResult::Acquired;
    bool handOverAccepted = true;
    bool held = false;
    std::function<void()> onRequest;
    QStringList calls;
};
