#include "platform/linux/sockets/HostLookUp.h"

#include "platform/linux/sockets/PosixSocketApi.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr int WsaHostNotFound = 11001;
constexpr int WsaNoData = 11004;

} // namespace

HostAnswer LookUpHost(const QByteArray& name)
{
    if (name.contains('\0'))
        return { {}, WsaHostNotFound };
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int result = ::getaddrinfo(name.constData(), nullptr, &hints, &list);
    if (result != 0)
        return { {}, PosixSocketApi::WsaErrorFromResolver(result, errno) };
    HostAnswer answer;
    for (const addrinfo* item = list; item != nullptr; item = item->ai_next) {
        if (item->ai_family != AF_INET)
            continue;
        sockaddr_in address {};
        std::memcpy(&address, item->ai_addr, sizeof address);
        if (std::find(answer.addresses.begin(), answer.addresses.end(), address.sin_addr.s_addr)
            == answer.addresses.end())
            answer.addresses.push_back(address.sin_addr.s_addr);
    }
    ::freeaddrinfo(list);
    if (answer.addresses.empty())
        answer.error = WsaNoData;
    return answer;
}

std::shared_ptr<BackgroundLookUp> BackgroundLookUp::Start(const QByteArray& name, AnswerHandler answered)
{
    auto lookUp = std::make_shared<BackgroundLookUp>();
    std::thread([lookUp, name, answered = std::move(answered)] {
        HostAnswer answer = LookUpHost(name);
        const std::lock_guard lock(lookUp->m_mutex);
        lookUp->m_answered = true;
        if (!lookUp->m_cancelled)
            answered(std::move(answer));
    }).detach();
    return lookUp;
}

void BackgroundLookUp::Cancel()
{
    const std::lock_guard lock(m_mutex);
    m_cancelled = true;
}

bool BackgroundLookUp::HasAnswered()
{
    const std::lock_guard lock(m_mutex);
    return m_answered;
}
