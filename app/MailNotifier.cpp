// The e-mail notifier: the handlers of the setup form that look into the mailbox every few
// minutes and tell the user of new mail.

#include "app/Application.h"
#include "app/Setup.h"
#include "platform/MessageBoxes.h"
#include "ui_SetupForm.h"

void TSetupForm::RxTimerEvent4Timer()
{
    if (DetectModeRadioGroup.ItemIndex() != 0 || State.Busy || State.MailCheckBusy || !IsConnected())
        return;
    if (!m_mailboxCheck.Run(ui->EmailPOPServerEdit->text(), ui->EmailUsernameEdit->text(),
                            ui->EmailPasswordEdit->text())) {
        // Silence would leave the user to wonder why a secured mailbox never reports.
        if (const QString warning = m_mailboxCheck.TakeTlsWarning(); !warning.isEmpty())
            ShowControllerBox([this, &warning] {
                m_application.BringToForeground();
                Alert(1);
                m_messageBoxes.Warning(warning);
            });
        return;
    }
    RxTrayIcon1.SetAnimated(true);
    RxTrayIcon1.SetActive(true);
    Alert(3);
}

bool TSetupForm::WaitServerString(int Value)
{
    return m_mailboxCheck.WaitServerString(Value);
}

void TSetupForm::TCPClient2Data(int)
{
    m_mailboxCheck.ReplyArrived();
}

void TSetupForm::RxTimerEvent5Timer()
{
    m_mailboxCheck.DeadlinePassed();
}

void TSetupForm::RxTrayIcon1Click(TRxTrayIcon&, TMouseButton, unsigned, int, int)
{
    // A second click that was already on its way when the first took the icon away reports nothing.
    if (!RxTrayIcon1.Active())
        return;
    RxTrayIcon1.SetActive(false);
    RxTrayIcon1.SetAnimated(false);
    ShowControllerBox([this] {
        m_application.BringToForeground();
        m_newMailNotice.Show(State.MessageCount, State.MessageOctets, EmailRadioGroup.ItemIndex(),
                             State.EmailClientPath);
    });
    if (TCPClient2.State() != ssIdle)
        TCPClient2.Close();
    State.MailCheckBusy = false;
}

void TSetupForm::EmailRadioGroupClick()
{
    ui->EmailConfigureButton->setEnabled(EmailRadioGroup.ItemIndex() == 1);
}

void TSetupForm::EmailConfigureButtonClick()
{
    // A program picked earlier in this visit of the dialog is dropped first.
    State.EmailClientPath = Snapshot.SavedEmailClientPath;
    if (const std::optional<QString> chosen = m_fileDialogs.Open(OpenDialog2)) {
        State.EmailClientPath = *chosen;
    } else if (State.EmailClientPath == NoMailClient) {
        EmailRadioGroup.SetItemIndex(0);
        EmailRadioGroupClick();
    }
    SetEmailClientDialogPath();
}
