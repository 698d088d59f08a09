#pragma once

#include "tests/app/FormWorld.h"

#include <QList>

#include <algorithm>
#include <optional>

// A setup form in the tray with complete mail settings (a check every minute, on a dial-up link),
// and a scripted POP3 server behind the fake sockets. The server acts whenever the check waits
// for its next message: it completes the connect, then answers the greeting and each command
// with the next reply of its script, after that reply's delay in milliseconds of fake time.
struct MailWorld : FormWorld
{
    struct Reply
    {
        QByteArray text; // sent as one read; empty: the server says nothing more
        std::uint32_t delay = 0;
        enum Kind
        {
            Data,
            Close, // the server closes the connection instead
            Reset, // the connection breaks: the next read fails with "Connection reset by peer"
        } kind
            = Data;
        bool thenClose = false; // the server closes right after sending the text
    };

    explicit MailWorld(const QString& user = QStringLiteral("tester"),
                       const QString& password = QStringLiteral("secret"))
    {
        Store("Server", "Address", "127.0.0.1");
        Start();
        form->ui->EmailPOPServerEdit->setText(QStringLiteral("127.0.0.1"));
        form->ui->EmailUsernameEdit->setText(user);
        form->ui->EmailPasswordEdit->setText(password);
        form->ui->EmailIntervalRxSpinEdit->setValue(1);
        form->TrayIcon1Minimize();
        dialup.Connect(QStringLiteral("192.0.2.7"));
        // A link the watcher knows already: it asks for no time while the mail is checked.
        form->State.LastTimeAddress = QStringLiteral("192.0.2.7");
        wait.onWait = [this] { ServerActs(); };
    }

    // A mailbox that answers every step with "+OK", STAT with `stat`.
    static QList<Reply> Mailbox(const QByteArray& stat)
    {
        return { { "+OK POP3 ready\r\n" }, { "+OK\r\n" }, { "+OK Logged in.\r\n" }, { stat }, { "+OK Bye\r\n" } };
    }

    // Lets the mail timer fire once, with the server answering from `script` (nothing: no
    // server at all). Returns the fake milliseconds the tick took.
    std::uint32_t Tick(const QList<Reply>& serverScript = {})
    {
        script = serverScript;
        socket = sockets.NextHandle();
        connected = false;
        answered = 0;
        replyDue.reset();
        firstWait.reset();
        sockets.recvSteps.clear();
        const std::uint32_t start = ticks.TickCount();
        // The next firing of the mail timer; the check runs inside it.
        const std::uint32_t due
            = form->RxTimerEvent4.LastFireTick() + static_cast<std::uint32_t>(form->RxTimerEvent4.Interval());
        timers.Elapse(due - ticks.TickCount() + 100);
        return ticks.TickCount() - start;
    }

    int Connects() const { return static_cast<int>(sockets.Calls().filter(QStringLiteral("connect ")).size()); }
    // What the check sent on the connection of the last tick.
    QStringList Sent() const
    {
        const QString prefix = QStringLiteral("send %1 ").arg(socket);
        QStringList sent;
        for (const QString& call : sockets.Calls())
            if (call.startsWith(prefix))
                sent << call.mid(prefix.size());
        return sent;
    }
    FakeNotificationArea::Icon& MailIcon() const { return *tray.icons.at(1); }

    QList<Reply> script;
    winsock::Socket socket = 0;
    std::function<void()> whileWaiting; // runs at every wait, before the server acts
    // Fake ticks of the first and the last wait of the last tick's check.
    std::optional<std::uint32_t> firstWait;
    std::uint32_t lastWait = 0;

private:
    void ServerActs()
    {
        if (!firstWait)
            firstWait = ticks.TickCount();
        lastWait = ticks.TickCount();
        if (whileWaiting)
            whileWaiting();
        const auto pass = [this] { timers.Elapse(std::max<std::uint16_t>(timers.Period(), 1)); };
        if (script.isEmpty() || !sockets.IsOpen(socket))
            return pass();
        if (!connected) {
            connected = true;
            sockets.Post(socket, winsock::FdConnect);
            return;
        }
        // The reply to the greeting (no command yet) or to the last command sent.
        const int commands = static_cast<int>(Sent().size());
        if (answered > commands || answered >= script.size())
            return pass();
        const Reply& reply = script[answered];
        if (!replyDue)
            replyDue = ticks.TickCount() + reply.delay;
        if (static_cast<std::int32_t>(*replyDue - ticks.TickCount()) > 0) {
            timers.Elapse(std::min<std::uint32_t>(*replyDue - ticks.TickCount(), timers.Period()));
            return;
        }
        ++answered;
        replyDue.reset();
        switch (reply.kind) {
        case Reply::Data:
            if (reply.text.isEmpty())
                return pass();
            sockets.recvSteps.push_back({ reply.text, 0, 0 });
            sockets.Post(socket, winsock::FdRead);
            if (reply.thenClose)
                sockets.Post(socket, winsock::FdClose);
            return;
        case Reply::Close:
            sockets.Post(socket, winsock::FdClose);
            return;
        case Reply::Reset:
            sockets.recvSteps.push_back({ {}, 0, 10054 });
            sockets.Post(socket, winsock::FdRead);
            return;
        }
    }

    bool connected = false;
    int answered = 0;
    std::optional<std::uint32_t> replyDue;
};
