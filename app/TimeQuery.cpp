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

namespace {

const QString TimePort = QStringLiteral("37");
constexpr int ReplySize = 4;
constexpr qsizetype AddressLength = 15;

QString ClockRefusedText(const ClockResult& result)
{
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
    State.TimeObtained = false;
    State.Busy = true;
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
    // This computer's address on the connection that carried the reply: the host name's
    // first address is a loopback one on many systems and would look like a new link each time.
    TimeReceived(ReplyInstant(ReplySeconds(reply)), TCPClient1.ConnectionLocalAddress());
}

void TSetupForm::TimeReceived(std::int64_t instant, const QString& localAddress)
{
    const ClockResult result
        = SetClock(m_platform.Clock, instant, GetTimeRadioGroup.ItemIndex() == 0 ? TimeMode::Local : TimeMode::Utc);
    State.LastTimeAddress = localAddress.left(AddressLength);
    State.TimeObtained = true;
    if (result.ok()) {
        State.Busy = false;
        Alert(2);
        return;
    }
    // The server has answered, so the launcher goes on as after a success; but a clock the
    // system refused to change is not celebrated: the user must hear and read it.
    ShowControllerBox([this, &result] {
        m_application.BringToForeground();
        Alert(1);
        m_messageBoxes.Warning(ClockRefusedText(result));
    });
}

void TSetupForm::TCPClient1Error(int error, const QString& msg)
{
    State.Busy = true;
    RxTimerEvent3.SetEnabled(false);
    ShowQueryFailure(QStringLiteral("Winsock has reported the following error:\r\n\r\n%1: %2").arg(error).arg(msg));
}

void TSetupForm::RxTimerEvent3Timer()
{
    State.Busy = true;
    ShowQueryFailure(QStringLiteral(
        "Timeout Error:\r\n\r\nUnable to connect with the server.\r\nCheck the server IP and/or try again later."));
}

void TSetupForm::ShowQueryFailure(const QString& text)
{
    ShowControllerBox([this, &text] {
        m_application.BringToForeground();
        Alert(1);
        m_messageBoxes.Warning(text);
        if (TCPClient1.State() != ssIdle)
            TCPClient1.Close();
    });
}
