#pragma once

#include <QString>

class RemoteAccess;

// Looks for a connected dial-up connection whose IPv4 address can be read: the first one in the
// system's order wins. dialUpAddress receives that address, and is emptied in every other case,
// a list that cannot be read included.
bool ProbeDialUpConnection(RemoteAccess& remoteAccess, QString& dialUpAddress);
