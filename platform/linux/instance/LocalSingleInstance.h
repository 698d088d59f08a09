#pragma once

#include "platform/SingleInstance.h"

#include <memory>

class QLocalServer;

// The lock is a file held with flock in the program's private run-time folder: the kernel drops it
// when the process ends, whatever ends it. The copy holding the lock listens on a local socket
// beside it; a socket file left by a crashed copy is removed by the next holder of the lock.
class LocalSingleInstance final : public SingleInstance
{
public:
    // folder: see PrivateRuntimeFolder; when empty every Lock fails.
    explicit LocalSingleInstance(QString folder);
    ~LocalSingleInstance() override;

    LockResult Lock(const QString& name) override;
    void Unlock() override;
    bool Listen(std::function<void()> onRequest) override;
    bool RequestHandOver(const QString& name, int timeoutMs) override;
    QString ListenError() const override { return m_listenError; }

    // Whether a socket of any name fits a socket address inside the folder (a long name is
    // shortened for it).
    static bool HoldsSockets(const QString& folder);

private:
    QString FilePath(const QString& name, const char* suffix) const;
    void Accept();

    QString m_folder;
    QString m_name;
    int m_lockFile = -1;
    std::unique_ptr<QLocalServer> m_server;
    std::function<void()> m_onRequest;
    QString m_listenError;
};
