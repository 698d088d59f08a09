#include "dialup/ConnectionProbe.h"

#include "platform/RemoteAccess.h"

namespace {

// The address area holds 15 characters and a terminating zero.
constexpr qsizetype MaxAddressLength = 15;

} // namespace

bool ProbeDialUpConnection(RemoteAccess& remoteAccess, QString& dialUpAddress)
{
    dialUpAddress.clear();
    QList<DialUpConnection> connections;
    if (!remoteAccess.EnumConnections(connections))
        return false;
    for (const DialUpConnection& connection : connections) {
        if (connection.connected && connection.projected) {
            dialUpAddress = connection.address.left(MaxAddressLength);
            return true;
        }
    }
    return false;
}
