#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct HostAnswer
{
    std::vector<std::uint32_t> addresses; // network byte order
    int error = 0; // the WSA code when there are none
};

// The host's distinct IPv4 addresses in the resolver's order. Touches nothing but its own data,
// so that any thread may run it.
HostAnswer LookUpHost(const QByteArray& name);

// A look-up on a thread of its own, so that an unanswering name server holds that thread for the
// resolver's whole time-out and never the asker's. The thread may outlive the asker: ending the
// program must not wait for it. Its answer is handed over on that thread, unless cancelled first.
class BackgroundLookUp final
{
public:
    using AnswerHandler = std::function<void(HostAnswer)>;

    // Throws std::system_error when no thread can be started.
    static std::shared_ptr<BackgroundLookUp> Start(const QByteArray& name, AnswerHandler answered);

    // Once this returns, the answer is not handed over any more, nor being handed over.
    void Cancel();
    bool HasAnswered();

private:
    std::mutex m_mutex;
    bool m_cancelled = false;
    bool m_answered = false;
};
