#pragma once

#include "platform/DatagramApi.h"

#include <deque>
#include <map>
#include <utility>
#include <vector>

// A scripted UDP layer with one socket at a time. Look-ups answer from `hosts` (else 11001) when
// the test calls FinishLookUps; what is sent is kept in `sent`; Deliver hands a datagram to the
// open socket's reader.
class FakeDatagramApi final : public DatagramApi
{
public:
    int LookUp(const QByteArray& host, LookUpDone done) override
    {
        m_lookUps[++m_lastLookUp] = { host, std::move(done) };
        return m_lastLookUp;
    }
    void CancelLookUp(int lookUp) override { m_lookUps.erase(lookUp); }
    int Open(std::function<void()> readable, int&) override { return m_readable = std::move(readable), 7; }
    int SendTo(int, const QByteArray& data, const DatagramPeer& peer) override
    {
        return sent.push_back({ data, peer }), 0;
    }
    std::optional<Datagram> ReceiveFrom(int) override
    {
        std::optional<Datagram> next;
        if (!m_waiting.empty())
            next = m_waiting.front(), m_waiting.pop_front();
        return next;
    }
    void Close(int) override { m_readable = nullptr; }

    // Answers the pending look-ups, as the resolver's thread would some time later.
    void FinishLookUps()
    {
        for (auto& [id, lookUp] : std::exchange(m_lookUps, {}))
            hosts.count(lookUp.first) ? lookUp.second(hosts[lookUp.first], 0) : lookUp.second(std::nullopt, 11001);
    }
    void Deliver(const Datagram& datagram)
    {
        m_waiting.push_back(datagram);
        if (const std::function<void()> readable = m_readable)
            readable();
    }

    std::map<QByteArray, std::uint32_t> hosts { { "ntp.example.test", 0xC0000201 } }; // 192.0.2.1
    std::vector<std::pair<QByteArray, DatagramPeer>> sent;

private:
    std::map<int, std::pair<QByteArray, LookUpDone>> m_lookUps;
    int m_lastLookUp = 0;
    std::function<void()> m_readable;
    std::deque<Datagram> m_waiting;
};
