#pragma once

#include "platform/RemoteAccess.h"

// Dial-up connections as the test sets them; counts how often the list was read.
class FakeRemoteAccess final : public RemoteAccess
{
public:
    bool EnumConnections(QList<DialUpConnection>& list) override
    {
        ++enumerations;
        list.clear();
        if (failEnumeration)
            return false;
        list = connections;
        return true;
    }

    // One connected link with this address, replacing whatever was there.
    void Connect(const QString& address) { connections = { { QStringLiteral("ppp0"), true, true, address } }; }
    void HangUp() { connections.clear(); }

    QList<DialUpConnection> connections;
    bool failEnumeration = false;
    int enumerations = 0;
};
