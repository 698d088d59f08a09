// The time query: the handlers of the setup form that ask the timeserver and set the clock.

#include "app/Application.h"
#include "app/Setup.h"
#include "platform/MessageBoxes.h"
#include "timesync/ClockSetting.h"
#include "timesync/TimeConversion.h"
#include "ui_SetupForm.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

namespace {

const QString TimePort = QStringLiteral("37");
constexpr int ReplySize = 4;
constexpr qsizetype AddressLength = 15;

QString WinsockErrorText(int error, const QString& msg)
{
    return QStringLiteral("Winsock has reported the following error:\r\n\r\n%1: %2").arg(error).arg(msg);
}

struct NtpServer
{
    QString host;
    std::uint16_t port = 123;
};

// "ntp://host[:port]" names an NTP server; anything else is a Time Protocol server's name.
// Throws EConvertError for a port that is no number from 1 to 65535.
std::optional<NtpServer> NtpServerAddress(const QString& address)
{
    const QString scheme = QStringLiteral("ntp://");
    if (!address.startsWith(scheme, Qt::CaseInsensitive))
        return std::nullopt;
    NtpServer server { address.mid(scheme.size()) };
    if (server.host.endsWith(u'/'))
        server.host.chop(1);
    const qsizetype colon = server.host.lastIndexOf(u':');
    if (colon >= 0) {
        bool ok = false;
        const uint port = server.host.mid(colon + 1).toUInt(&ok, 10);
        if (!ok || port == 0 || port > 0xFFFF)
            throw EConvertError(
                QStringLiteral("'%1' is not a valid integer value").arg(server.host.mid(colon + 1)).toStdString());
        server.port = static_cast<std::uint16_t>(port);
        server.host.truncate(colon);
    }
    return server;
}

QString ClockRefusedText(const ClockResult& result)
{
    if (result.refuser == ClockRefuser::AutomaticSync)
        return QStringLiteral("The clock was not set:\r\n\r\nAutomatic time synchronisation is on, so the system "
                              "keeps the clock itself; Kronvik leaves it alone.");
    if (result.refuser == ClockRefuser::TimeService)
        return QStringLiteral("The clock could not be set:\r\n\r\nThe system's time service refused: %1")
            .arg(result.message);
    QString text
        = QStringLiteral("The clock could not be set:\r\n\r\n%1 (error %2).").arg(result.message).arg(result.error);
    if (result.error == EPERM)
        text += QStringLiteral(
            "\r\n\r\nKronvik needs the right to set the system clock (CAP_SYS_TIME); see its README.");
    return text;
}

} // namespace

void TSetupForm::GettimeClick()
{
    if (State.Busy)
        return;
    if (ui->ServerAddrEdit->text().isEmpty()) {
        Alert(1);
        SetupClick();
        return;
    }
    const std::optional<NtpServer> ntp = NtpServerAddress(ui->ServerAddrEdit->text());
    State.TimeObtained = false;
    State.Busy = true;
    if (ntp) {
        RxTimerEvent3.SetEnabled(true);
        m_sntp.Ask(ntp->host, ntp->port);
        return;
    }
    TCPClient1.SetHost(ui->ServerAddrEdit->text());
    TCPClient1.SetPort(TimePort);
    RxTimerEvent3.SetEnabled(true);
    TCPClient1.Open();
}

void TSetupForm::TCPClient1Data(int)
{
    std::array<char, ReplySize> received {};
    // Anything but the whole reply in one read leaves the query to its time-out.
    if (TCPClient1.ReceiveBuffer(received.data(), ReplySize) != ReplySize)
        return;
    RxTimerEvent3.SetEnabled(false);
    std::array<std::uint8_t, ReplySize> reply {};
    std::memcpy(reply.data(), received.data(), ReplySize);
    TimeReceived(ReplyInstant(ReplySeconds(reply)), TCPClient1.ConnectionLocalAddress());
}

void TSetupForm::NtpTime(std::int64_t instant, const QString& localAddress)
{
    RxTimerEvent3.SetEnabled(false);
    TimeReceived(instant, localAddress);
}

void TSetupForm::NtpError(int error, const QString& msg)
{
    NtpRefused(WinsockErrorText(error, msg));
}

void TSetupForm::NtpRefused(const QString& reason)
{
    State.Busy = true;
    RxTimerEvent3.SetEnabled(false);
    ShowQueryFailure(reason);
}

void TSetupForm::TimeReceived(std::int64_t instant, const QString& localAddress)
{
    const ClockResult result
        = SetClock(m_platform.Clock, instant, GetTimeRadioGroup.ItemIndex() == 0 ? TimeMode::Local : TimeMode::Utc);
    // The address the watcher compares: the dial-up link's while one is up, even when the server
    // was reached over another interface; else this computer's address on the connection that
    // carried the reply (the host name's first address is a loopback one on many systems).
    const bool linkUp = IsConnected() && !State.DialUpAddress.isEmpty();
    State.LastTimeAddress = (linkUp ? State.DialUpAddress : localAddress).left(AddressLength);
    State.TimeObtained = true;
    if (result.ok()) {
        State.Busy = false;
        Alert(2);
        return;
    }
    // The server has answered, so the launcher goes on as after a success; but a clock the
    // system refused to change is not celebrated: the user must hear and read it.
    ShowControllerBox([this, &result] { ShowWarning(ClockRefusedText(result)); });
}

void TSetupForm::TCPClient1Error(TCustomWSocket* Sender, int error, const QString& msg)
{
    const QString text = WinsockErrorText(error, msg);
    State.Busy = true;
    if (Sender == &TCPClient1) {
        RxTimerEvent3.SetEnabled(false);
        ShowQueryFailure(text);
        return;
    }
    // The mail client's error is only reported: a time query still pending goes on, and keeps
    // the program busy until it ends.
    ShowControllerBox([this, &text] { ShowWarning(text); });
    State.Busy = State.Busy || RxTimerEvent3.Enabled();
}

void TSetupForm::RxTimerEvent3Timer()
{
    State.Busy = true;
    ShowQueryFailure(QStringLiteral(
        "Timeout Error:\r\n\r\nUnable to connect with the server.\r\nCheck the server IP and/or try again later."));
}

void TSetupForm::ShowQueryFailure(const QString& text)
{
    // A late NTP answer must not set the clock under the message.
    m_sntp.Close();
    ShowControllerBox([this, &text] {
        ShowWarning(text);
        if (TCPClient1.State() != ssIdle)
            TCPClient1.Close();
    });
}

void TSetupForm::ShowWarning(const QString& text)
{
    m_application.BringToForeground();
    Alert(1);
    m_messageBoxes.Warning(text);
}
