#include "platform/linux/links/InterfaceRemoteAccess.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

bool InterfaceRemoteAccess::EnumConnections(QList<DialUpConnection>& connections)
{
    connections.clear();
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    // getifaddrs lists each interface once per address family; the first entry of a name fixes
    // its place, and an IPv4 entry anywhere in the list supplies its address.
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!(entry->ifa_flags & IFF_POINTOPOINT))
            continue;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        auto found = std::find_if(connections.begin(), connections.end(),
                                  [&name](const DialUpConnection& c) { return c.name == name; });
        if (found == connections.end()) {
            DialUpConnection connection;
            connection.name = name;
            connection.connected = (entry->ifa_flags & (IFF_UP | IFF_RUNNING)) == (IFF_UP | IFF_RUNNING);
            connections.append(connection);
            found = connections.end() - 1;
        }
        if (!found->projected && entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) {
                found->projected = true;
                found->address = QString::fromLatin1(text);
            }
        }
    }
    freeifaddrs(list);
    return true;
}
