#include "mail/MailboxCheck.h"

#include "base/ApplicationServices.h"
#include "components/TimerLst.h"
#include "mail/StatReply.h"
#include "net/WSockets.h"
#include "platform/MessageWait.h"

#include <QRegularExpression>

namespace {

const QString Ok = QStringLiteral("+OK");
const QString ListEnd = QStringLiteral("\r\n.\r\n");
// A capability list is a few lines; a server that sends more is not listened to any longer.
constexpr qsizetype MaxCapabilities = qsizetype(64) * 1024;

// A line break inside a user name or password would end its command early and let the rest
// pass for commands of its own.
bool SafeArgument(const QString& text)
{
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'));
}

} // namespace

MailboxCheck::MailboxCheck(State state, TTCPClient& client, TRxTimerEvent& replyDeadline,
                           ApplicationServices& application, MessageWait& wait)
    : m_state(state)
    , m_client(client)
    , m_replyDeadline(replyDeadline)
    , m_application(application)
    , m_wait(wait)
    , m_channel(client)
{ }

bool MailboxCheck::Run(const QString& server, const QString& user, const QString& password)
{
    m_state.MailCheckBusy = true;
    m_state.ReplyReceived = false;
    bool newMail = false;
    try {
        newMail = Dialogue(server, user, password);
    } catch (...) {
        // Whatever ends the check, the next tick must be able to start another.
        if (m_client.State() != ssIdle)
            m_client.Close();
        m_state.MailCheckBusy = false;
        throw;
    }
    if (!newMail) {
        if (m_client.State() != ssIdle)
            m_client.Close();
        m_state.MailCheckBusy = false;
    }
    return newMail;
}

QString MailboxCheck::TakeTlsWarning()
{
    if (m_failure == TlsFailure::None || !m_reported.insert(m_failure).second)
        return {};
    return TlsWarningText(m_address, m_failure, m_channel.Detail(), m_channel.Fingerprint());
}

bool MailboxCheck::Dialogue(const QString& server, const QString& user, const QString& password)
{
    m_failure = TlsFailure::None;
    m_channel.Reset();
    if (!SafeArgument(user) || !SafeArgument(password))
        return false;
    m_address = ParseMailServerAddress(server);
    m_client.SetHost(m_address.Host);
    m_client.SetPort(m_address.Port);
    m_client.Open();
    if (m_address.Security == MailSecurity::Tls && !Handshake())
        return false;
    if (!Step(QString()) || (m_address.Security == MailSecurity::StartTls && !StartTls())
        || !Step(QStringLiteral("User ") + user + QStringLiteral("\r\n"))
        || !Step(QStringLiteral("Pass ") + password + QStringLiteral("\r\n")) || !Step(QStringLiteral("Stat\r\n")))
        return false;
    const QString statReply = m_state.ServerReply;
    if (!Step(QStringLiteral("Quit\r\n")))
        return false;
    if (m_client.State() != ssIdle)
        m_client.Close();
    const std::optional<StatFigures> figures = ParseStatReply(statReply);
    if (!figures)
        return false;
    m_state.MessageCount = figures->MessageCount;
    m_state.MessageOctets = figures->MessageOctets;
    const bool newMail = m_state.MessageCount != 0 && m_state.MessageOctets != 0
        && (m_state.MessageCount != m_state.NotifiedCount || m_state.MessageOctets != m_state.NotifiedOctets);
    if (!newMail)
        return false;
    m_state.NotifiedCount = m_state.MessageCount;
    m_state.NotifiedOctets = m_state.MessageOctets;
    return true;
}

bool MailboxCheck::StartTls()
{
    if (!Command(QStringLiteral("CAPA\r\n")))
        return false;
    QString capabilities = m_state.ServerReply;
    while (capabilities.startsWith(Ok) && !capabilities.endsWith(ListEnd) && capabilities.size() < MaxCapabilities) {
        if (!Command(QString()))
            return false;
        capabilities += m_state.ServerReply;
    }
    static const QRegularExpression stls(QStringLiteral("\r\nSTLS *\r\n"), QRegularExpression::CaseInsensitiveOption);
    if (!capabilities.startsWith(Ok) || !capabilities.contains(stls)) {
        m_failure = TlsFailure::NotOffered;
        return false;
    }
    if (!Command(QStringLiteral("STLS\r\n")))
        return false;
    if (!m_state.ServerReply.startsWith(Ok)) {
        m_failure = TlsFailure::NotOffered;
        return false;
    }
    return Handshake();
}

bool MailboxCheck::Handshake()
{
    if (!WaitFor(ReplyWait, [this] { return m_client.State() == ssConnected; }))
        return false;
    m_channel.Start(m_address.Host, m_address.Pin);
    WaitFor(ReplyWait, [this] { return !m_channel.Handshaking(); });
    if (m_channel.Failed())
        m_failure = m_channel.Failure();
    return m_channel.Established();
}

bool MailboxCheck::Step(const QString& command)
{
    return Command(command) && m_state.ServerReply.startsWith(Ok);
}

bool MailboxCheck::Command(const QString& command)
{
    if (!command.isEmpty()) {
        // The server has closed: a command now would only earn a socket error for the user.
        if (m_client.State() == ssIdle)
            return false;
        if (m_channel.Active())
            m_channel.SendText(command);
        else
            m_client.SendText(command);
        if (m_channel.Failed())
            return false;
    }
    return WaitServerString(ReplyWait);
}

bool MailboxCheck::WaitServerString(std::int32_t value)
{
    const bool received = WaitFor(value, [this] { return m_state.ReplyReceived; });
    m_state.ReplyReceived = false;
    return received;
}

bool MailboxCheck::WaitFor(std::int32_t value, const std::function<bool()>& done)
{
    m_state.ReplyTimedOut = false;
    m_replyDeadline.SetInterval(value);
    m_replyDeadline.SetEnabled(true);
    // What is pending first; then sleep until the next message instead of asking again at once.
    m_application.ProcessMessages();
    while (Waiting(done)) {
        m_wait.WaitMessage();
        if (Waiting(done))
            m_application.ProcessMessages();
    }
    return done();
}

bool MailboxCheck::Waiting(const std::function<bool()>& done) const
{
    return !m_state.ReplyTimedOut && !done() && !m_application.Terminated();
}

void MailboxCheck::ReplyArrived()
{
    if (!m_channel.Active()) {
        m_state.ServerReply = m_client.ReceiveText();
        m_state.ReplyReceived = true;
        return;
    }
    m_channel.Receive();
    // Handshake records carry no reply; a failure ends the wait as an empty reply does.
    const QString text = m_channel.ReceiveText();
    if (text.isEmpty() && !m_channel.Failed())
        return;
    m_state.ServerReply = text;
    m_state.ReplyReceived = true;
}

void MailboxCheck::DeadlinePassed()
{
    m_state.ReplyTimedOut = true;
}
