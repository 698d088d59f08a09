#pragma once

#include "app/Alerts.h"
#include "app/ProcessState.h"
#include "app/RegFormSaver.h"
#include "components/PopupMenu.h"
#include "components/RadioGroup.h"
#include "components/RxTrayIcon.h"
#include "components/TimerLst.h"
#include "components/TrayIcon.h"
#include "dialup/DialUpWatcher.h"
#include "dialup/LauncherListEditor.h"
#include "dialup/ProgramLauncher.h"
#include "mail/MailboxCheck.h"
#include "mail/NewMailNotice.h"
#include "net/WSockets.h"
#include "platform/FileDialogs.h"
#include "platform/Platform.h"
#include "timesync/SntpQuery.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

namespace Ui {
class TSetupForm;
}
class MessageBoxes;
class QAction;
class QStyle;
class TApplication;

// The controller: the setup dialog, owner of every component and holder of every handler.
// Exactly one exists for the whole run.
class TSetupForm final : public QWidget
{
    Q_OBJECT

public:
    // Builds every component from the form description and runs FormCreate; an error raised
    // there is shown and the rest of the start-up is skipped, the form is still created.
    TSetupForm(TApplication& application, Platform& platform, MessageBoxes& messageBoxes, FileDialogs& fileDialogs);
    ~TSetupForm() override;

    // Shell.
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    void SetupClick();
    void OkButtonClick();
    void CancelButtonClick();
    void ExitButtonClick();
    void About1Click();
    void PopupMenu1Popup();
    void TrayIcon1Minimize();
    void TrayIcon1BeforeRestore();
    void TrayIcon1Restore();
    void RxTimerEvent1Timer();
    bool SettingsChanged() const;

    // Settings and sounds.
    void UpdateIniFile();
    void Alert(int code);

    // Time query.
    void GettimeClick();
    void TCPClient1Data(int socket);
    // The error event of both clients; only the time client's errors end the time query.
    void TCPClient1Error(TCustomWSocket* Sender, int error, const QString& msg);
    void RxTimerEvent3Timer();
    // The same query with an NTP server: its time, or an answer that must not set the clock.
    void NtpTime(std::int64_t instant, const QString& localAddress);
    void NtpRefused(const QString& reason);
    void NtpError(int error, const QString& msg);

    // Dial-up watcher.
    void RxTimerEvent2Timer();
    // A dial-up connection is up and its address could be read; DialUpAddress receives it (empty when not).
    bool IsConnected();

    // Mailbox check.
    void RxTimerEvent4Timer();
    // Waits up to Value ms for the mail server's reply; true when one arrived.
    bool WaitServerString(int Value);
    void TCPClient2Data(int socket);
    void RxTimerEvent5Timer();

    // New-mail notice.
    void RxTrayIcon1Click(TRxTrayIcon& Sender, TMouseButton Button, unsigned Shift, int X, int Y);
    void EmailRadioGroupClick();
    void EmailConfigureButtonClick();

    // Program launcher.
    void ApplicationLauncher();
    void ApplicationCloser();
    void IncludeButtonClick();
    void RemoveButtonClick();
    void RemoveAllButtonClick();

    std::unique_ptr<Ui::TSetupForm> ui;
    ProcessState State;
    SettingsSnapshot Snapshot;

    TTCPClient TCPClient1;
    TTCPClient TCPClient2;
    TPopupMenu PopupMenu1;
    QAction* Gettime;
    QAction* Setup;
    QAction* About1;
    QAction* Exit1;
    TTrayIcon TrayIcon1;
    TRegFormSaver RegFormSaver1;
    TRxTimerList RxTimerList1;
    TRxTimerEvent RxTimerEvent1;
    TRxTimerEvent RxTimerEvent2;
    TRxTimerEvent RxTimerEvent3;
    TRxTimerEvent RxTimerEvent4;
    TRxTimerEvent RxTimerEvent5;
    TRadioGroup GetTimeRadioGroup;
    TRadioGroup DetectModeRadioGroup;
    TRadioGroup EmailRadioGroup;
    TOpenDialog OpenDialog1;
    TOpenDialog OpenDialog2;
    TRxTrayIcon RxTrayIcon1;
    // The launcher's recorded windows, as signed decimal text.
    QStringList StrHolder1;
    // The started process that owned each window of StrHolder1, in the same order.
    QList<ProcessId> LaunchedProcesses;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildComponents();
    void LoadRxTrayIcon1();
    void LoadSettings();
    void LoadLauncherList();
    void SetEmailClientDialogPath();
    void MinimizeApplication();
    // Ends a time query whose server has answered with `instant` (milliseconds since 1900 UTC)
    // over a connection on which this computer had `localAddress`: one clock change, then
    // TimeObtained, also when the clock could not be set.
    void TimeReceived(std::int64_t instant, const QString& localAddress);
    // Ends a time query that failed: the message, then back to where the user was.
    void ShowQueryFailure(const QString& text);
    // A warning of the time query or a client: the program to the front, the error sound, the box.
    void ShowWarning(const QString& text);
    // A message or the About box of the controller. From the tray the controller comes up for it
    // (the restore bookkeeping), and after it goes back to the tray unless the dialog is up by
    // then. Over the open dialog, the dialog stays as it was: its snapshot is not taken again, so
    // that Save still stores the edits made so far and Cancel still undoes them, and Busy and the
    // stopped mail timer stay.
    void ShowControllerBox(const std::function<void()>& box);
    void FocusActivePage();
    double IntervalValue() const;
    // Runs a handler the toolkit calls; what it raises goes to the standard error box.
    template<typename Handler> auto Guarded(Handler handler);

    TApplication& m_application;
    Platform& m_platform;
    MessageBoxes& m_messageBoxes;
    FileDialogs& m_fileDialogs;
    TAlerts m_alerts;
    // The time query for "ntp://" servers; the Time Protocol's goes through TCPClient1.
    SntpQuery m_sntp;
    MailboxCheck m_mailboxCheck;
    NewMailNotice m_newMailNotice;
    std::unique_ptr<QStyle> m_tabStyle;
    bool m_placed = false;
    // Exit could not store the dialog's place and has said so.
    bool m_placementFailed = false;
    ProgramLauncher m_launcher;
    DialUpWatcher m_watcher;
    LauncherListEditor m_launcherList;
};
