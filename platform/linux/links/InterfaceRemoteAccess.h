#pragma once

#include "platform/RemoteAccess.h"

// Dial-up connections as the kernel's network interfaces: every point-to-point interface (pppd's
// ppp0, a mobile broadband link) is one, connected while it is up and running.
class InterfaceRemoteAccess final : public RemoteAccess
{
public:
    bool EnumConnections(QList<DialUpConnection>& connections) override;
};
