#pragma once

#include <QList>
#include <QString>

// One dial-up (point-to-point) connection as the remote-access service reports it.
struct DialUpConnection
{
    QString name;
    // The link is established (up and carrying traffic), not still dialling or hanging up.
    bool connected = false;
    // Whether the connection's IPv4 settings could be read; address is meaningful only then.
    bool projected = false;
    // Dotted IPv4 address of this computer on the connection; the platform may report it empty.
    QString address;
};

// The computer's dial-up connections.
class RemoteAccess
{
public:
    virtual ~RemoteAccess() = default;

    // Every dial-up connection, in the order the system lists them. False when the list cannot
    // be read; connections is then left empty.
    virtual bool EnumConnections(QList<DialUpConnection>& connections) = 0;
};
