#include "app/Setup.h"

#include "app/Application.h"
#include "app/PasswordScrambler.h"
#include "components/About.h"
#include "components/FormTimers.h"
#include "dialup/ConnectionProbe.h"
#include "platform/MessageBoxes.h"
#include "ui_SetupForm.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QProxyStyle>
#include <QScreen>
#include <QTabBar>

#include <cmath>

namespace {

const QString TrayHint = QStringLiteral("Double-click to get time (Right-click to show options menu)");

std::unique_ptr<Ui::TSetupForm> BuildUi(QWidget* form)
{
    auto ui = std::make_unique<Ui::TSetupForm>();
    ui->setupUi(form);
    return ui;
}

// Tabs as tight as the dialog's fixed width needs: the three page captions must fit side by side.
class CompactTabStyle final : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 8;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QIcon ProgramIcon()
{
    return QIcon(QPixmap(QStringLiteral(":/kronvik/kronvik.xpm")));
}

// Directory part of a path: up to and including its last separator ("/", "\" or ":").
qsizetype DirectoryLength(const QString& path)
{
    const qsizetype last = std::max({ path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')),
                                      path.lastIndexOf(QLatin1Char(':')) });
    return last + 1;
}

} // namespace

template<typename Handler> auto TSetupForm::Guarded(Handler handler)
{
    return [this, handler](auto&&...) {
        try {
            (this->*handler)();
        } catch (const std::exception& error) {
            m_application.HandleException(error);
        }
    };
}

TSetupForm::TSetupForm(TApplication& application, Platform& platform, MessageBoxes& messageBoxes,
                       FileDialogs& fileDialogs)
    : ui(BuildUi(this))
    , TCPClient1(platform.Sockets, application.ErrorBox())
    , TCPClient2(platform.Sockets, application.ErrorBox())
    , TrayIcon1(application, platform.Tray, ProgramIcon())
    , RegFormSaver1(platform.Store, this,
                    [this](const std::exception& error) {
                        // A close follows Exit, which has already shown why the store refused the place.
                        if (!m_placementFailed)
                            m_application.HandleException(error);
                    })
    , RxTimerList1(platform.Ticks, platform.Timers, application.ErrorBox())
    , RxTimerEvent1(platform.Ticks)
    , RxTimerEvent2(platform.Ticks)
    , RxTimerEvent3(platform.Ticks)
    , RxTimerEvent4(platform.Ticks)
    , RxTimerEvent5(platform.Ticks)
    , GetTimeRadioGroup(*ui->GetTimeRadioGroup, { ui->GetTimeRadioGroupItem0, ui->GetTimeRadioGroupItem1 })
    , DetectModeRadioGroup(*ui->DetectModeRadioGroup, { ui->DetectModeRadioGroupItem0, ui->DetectModeRadioGroupItem1 })
    , EmailRadioGroup(*ui->EmailRadioGroup, { ui->EmailRadioGroupItem0, ui->EmailRadioGroupItem1 })
    , RxTrayIcon1(platform.Tray, application.ErrorBox())
    , m_application(application)
    , m_platform(platform)
    , m_messageBoxes(messageBoxes)
    , m_fileDialogs(fileDialogs)
    , m_alerts(platform.Sound)
    , m_sntp(platform.Datagrams, platform.Ticks, application.ErrorBox())
    , m_mailboxCheck({ State.MailCheckBusy, State.ReplyTimedOut, State.ReplyReceived, State.ServerReply,
                       State.MessageCount, State.MessageOctets, State.NotifiedCount, State.NotifiedOctets },
                     TCPClient2, RxTimerEvent5, application, platform.Wait)
    , m_newMailNotice(messageBoxes, platform.Shell)
    , m_launcher(platform.Processes, platform.Windows, platform.Shortcuts, platform.Ticks, platform.Wait, application,
                 { StrHolder1, LaunchedProcesses }, State.AppsLaunched)
    , m_watcher(RxTimerEvent2, { State.TimeObtained, State.AppsLaunched, State.LastTimeAddress, State.DialUpAddress },
                { [this] { return DetectModeRadioGroup.ItemIndex() == 0; }, [this] { return IsConnected(); },
                  [this] { GettimeClick(); }, [this] { ApplicationLauncher(); }, [this] { ApplicationCloser(); } })
    , m_launcherList(*ui->AppLaunchTextListBox, *ui->RemoveButton, *ui->RemoveAllButton, fileDialogs, OpenDialog1,
                     State.AppListModified)
{
    BuildComponents();
    m_application.SetMainForm(this);
    try {
        FormCreate();
    } catch (const std::exception& error) {
        m_application.HandleException(error);
    }
}

TSetupForm::~TSetupForm()
{
    // The clients outlive the tray icon, the timers and the sounds their handlers use: a close
    // that fails while they are destroyed must not reach those handlers any more.
    for (TTCPClient* client : { &TCPClient1, &TCPClient2 }) {
        client->OnError = nullptr;
        client->OnData = nullptr;
    }
}

void TSetupForm::BuildComponents()
{
    // The form's font: the nearest this platform has to an 8-point dialog font, so that the
    // three page tabs and every caption fit the dialog's fixed geometry.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    font.setStretch(94);
    setFont(font);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_tabStyle = std::make_unique<CompactTabStyle>();
    ui->PageControl1->tabBar()->setStyle(m_tabStyle.get());
    setFixedSize(369, 232);
    // Every window of the program, message boxes included, carries its icon.
    QGuiApplication::setWindowIcon(ProgramIcon());
    ui->Image1->setPixmap(ProgramIcon().pixmap(32, 32));
    ui->EmailPasswordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    ui->GetTimeRadioGroupItem0->setChecked(true);
    ui->DetectModeRadioGroupItem0->setChecked(true);
    ui->EmailRadioGroupItem0->setChecked(true);

    connect(ui->OkButton, &QPushButton::clicked, this, Guarded(&TSetupForm::OkButtonClick));
    connect(ui->CancelButton, &QPushButton::clicked, this, Guarded(&TSetupForm::CancelButtonClick));
    connect(ui->AboutButton, &QPushButton::clicked, this, Guarded(&TSetupForm::About1Click));
    connect(ui->ExitButton, &QPushButton::clicked, this, Guarded(&TSetupForm::ExitButtonClick));
    connect(ui->IncludeButton, &QPushButton::clicked, this, Guarded(&TSetupForm::IncludeButtonClick));
    connect(ui->RemoveButton, &QPushButton::clicked, this, Guarded(&TSetupForm::RemoveButtonClick));
    connect(ui->RemoveAllButton, &QPushButton::clicked, this, Guarded(&TSetupForm::RemoveAllButtonClick));
    ui->Image1->installEventFilter(this);

    Gettime = PopupMenu1.AddItem(QStringLiteral("Get time"));
    Setup = PopupMenu1.AddItem(QStringLiteral("Setup"));
    PopupMenu1.AddSeparator();
    About1 = PopupMenu1.AddItem(QStringLiteral("About"));
    PopupMenu1.AddSeparator();
    Exit1 = PopupMenu1.AddItem(QStringLiteral("Exit"));
    PopupMenu1.OnPopup = [this] { PopupMenu1Popup(); };
    connect(Gettime, &QAction::triggered, this, Guarded(&TSetupForm::GettimeClick));
    connect(Setup, &QAction::triggered, this, Guarded(&TSetupForm::SetupClick));
    connect(About1, &QAction::triggered, this, Guarded(&TSetupForm::About1Click));
    connect(Exit1, &QAction::triggered, this, Guarded(&TSetupForm::ExitButtonClick));

    TrayIcon1.SetPopupMenu(&PopupMenu1);
    TrayIcon1.OnDblClick = [this] { GettimeClick(); };
    TrayIcon1.OnMinimize = [this] { TrayIcon1Minimize(); };
    TrayIcon1.OnBeforeRestore = [this] { TrayIcon1BeforeRestore(); };
    TrayIcon1.OnRestore = [this] { TrayIcon1Restore(); };

    TCPClient1.OnData = [this](TCustomWSocket*, int socket) { TCPClient1Data(socket); };
    TCPClient1.OnError
        = [this](TCustomWSocket* sender, int error, const QString& msg) { TCPClient1Error(sender, error, msg); };
    TCPClient2.OnData = [this](TCustomWSocket*, int socket) { TCPClient2Data(socket); };
    TCPClient2.OnError
        = [this](TCustomWSocket* sender, int error, const QString& msg) { TCPClient1Error(sender, error, msg); };
    m_sntp.OnTime = [this](std::int64_t instant, const QString& localAddress) { NtpTime(instant, localAddress); };
    m_sntp.OnRefused = [this](const QString& reason) { NtpRefused(reason); };
    m_sntp.OnError = [this](int error, const QString& msg) { NtpError(error, msg); };

    LoadFormTimers(RxTimerList1, RxTimerEvent1, RxTimerEvent2, RxTimerEvent3, RxTimerEvent4, RxTimerEvent5);
    RxTimerEvent1.OnTimer = [this](TRxTimerEvent&) { RxTimerEvent1Timer(); };
    RxTimerEvent2.OnTimer = [this](TRxTimerEvent&) { RxTimerEvent2Timer(); };
    RxTimerEvent3.OnTimer = [this](TRxTimerEvent&) { RxTimerEvent3Timer(); };
    RxTimerEvent4.OnTimer = [this](TRxTimerEvent&) { RxTimerEvent4Timer(); };
    RxTimerEvent5.OnTimer = [this](TRxTimerEvent&) { RxTimerEvent5Timer(); };

    RegFormSaver1.SetIniFileName(QStringLiteral("Kronvik"));
    RegFormSaver1.SetIniSection(QStringLiteral("Position"));
    RegFormSaver1.SetIsEnabled(true);
    RegFormSaver1.SaveSize = false;
    RegFormSaver1.SaveState = false;
    RegFormSaver1.SaveVisible = false;

    // This platform's programs are any executable files, and its shortcuts desktop entries; the
    // dialog offers both (and folders) under the caption, whatever their names. It starts at the
    // root of the file system.
    OpenDialog1 = { QStringLiteral("Kronvik - Select file to launch"), QStringLiteral("Executable Files|*;*.desktop"),
                    QStringLiteral("/"), QString() };
    OpenDialog2 = { QStringLiteral("Kronvik - Select Email client"), OpenDialog1.Filter, QString(), QString() };
    EmailRadioGroup.OnClick = Guarded(&TSetupForm::EmailRadioGroupClick);
    connect(ui->EmailConfigureButton, &QPushButton::clicked, this, Guarded(&TSetupForm::EmailConfigureButtonClick));

    LoadRxTrayIcon1();
}

// The new-mail icon as stored with the form: hidden, three frames a second apart.
void TSetupForm::LoadRxTrayIcon1()
{
    QFile frames(QStringLiteral(":/kronvik/RxTrayIcon1.Icons"));
    if (!frames.open(QIODevice::ReadOnly))
        throw EReadError("Stream read error");
    RxTrayIcon1.BeginLoading();
    RxTrayIcon1.SetActive(false);
    RxTrayIcon1.SetHint(QStringLiteral("You have new Email! Click here to see details."));
    RxTrayIcon1.Icons().ReadData(frames.readAll());
    RxTrayIcon1.SetInterval(1000);
    RxTrayIcon1.OnClick = [this](TRxTrayIcon& sender, TMouseButton button, unsigned shift, int x, int y) {
        RxTrayIcon1Click(sender, button, shift, x, y);
    };
    RxTrayIcon1.Loaded();
}

bool TSetupForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->Image1 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const auto about = Guarded(&TSetupForm::About1Click);
        about();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TSetupForm::FormCreate()
{
    StrHolder1.clear();
    LaunchedProcesses.clear();
    LoadSettings();
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    State.SetupOpened = false;
    State.Busy = false;
    State.AppListModified = false;
    State.AppsLaunched = false;
    State.MailCheckBusy = false;
    State.NotifiedCount = 0;
    State.NotifiedOctets = 0;
    if (!ui->ServerAddrEdit->text().isEmpty()) {
        TrayIcon1Minimize();
        // The connection check runs now rather than after the first period.
        RxTimerEvent2Timer();
        return;
    }
    TrayIcon1.Restore();
    ui->PageControl1->setCurrentWidget(ui->TabSheet1);
    ui->ServerAddrEdit->setFocus();
    Alert(1);
    State.SetupOpened = true;
}

void TSetupForm::LoadSettings()
{
    ui->ServerAddrEdit->setText(
        RegFormSaver1.FetchText(QStringLiteral("Server"), QStringLiteral("Address"), QString()));
    GetTimeRadioGroup.SetItemIndex(RegFormSaver1.FetchNumber(QStringLiteral("Server"), QStringLiteral("TimeMode"), 0));
    DetectModeRadioGroup.SetItemIndex(
        RegFormSaver1.FetchNumber(QStringLiteral("Server"), QStringLiteral("DetectMode"), 0));
    LoadLauncherList();
    ui->EmailPOPServerEdit->setText(
        RegFormSaver1.FetchText(QStringLiteral("EmailVfy"), QStringLiteral("POPServer"), QString()));
    ui->EmailUsernameEdit->setText(
        RegFormSaver1.FetchText(QStringLiteral("EmailVfy"), QStringLiteral("Username"), QString()));
    ui->EmailPasswordEdit->setText(QString::fromUtf8(UnscramblePassword(
        RegFormSaver1.FetchBytes(QStringLiteral("EmailVfy"), QStringLiteral("Password"), QByteArray()))));
    // A stored interval that is no number counts as 0 (no checks) instead of ending the start-up.
    bool isNumber = false;
    const double interval
        = RegFormSaver1.FetchText(QStringLiteral("EmailVfy"), QStringLiteral("Interval"), QStringLiteral("0"))
              .toDouble(&isNumber);
    // Kept within the spin edit's limits before rounding: a huge stored value must not overflow.
    ui->EmailIntervalRxSpinEdit->setValue(isNumber && std::isfinite(interval) ? qRound(std::clamp(interval, 0.0, 60.0))
                                                                              : 0);
    State.EmailClientPath
        = RegFormSaver1.FetchText(QStringLiteral("EmailVfy"), QStringLiteral("EmailClient"), NoMailClient);
    SetEmailClientDialogPath();
    if (State.EmailClientPath != NoMailClient) {
        EmailRadioGroup.SetItemIndex(
            RegFormSaver1.FetchNumber(QStringLiteral("EmailVfy"), QStringLiteral("Action"), 0));
        ui->EmailConfigureButton->setEnabled(EmailRadioGroup.ItemIndex() == 1);
    } else {
        EmailRadioGroup.SetItemIndex(0);
        ui->EmailConfigureButton->setEnabled(false);
    }
}

void TSetupForm::LoadLauncherList()
{
    QStringList programs;
    RegFormSaver1.FetchSectionTexts(QStringLiteral("AppLauncher"), programs, true);
    ui->AppLaunchTextListBox->addItems(programs);
    const bool any = ui->AppLaunchTextListBox->count() > 0;
    if (any)
        ui->AppLaunchTextListBox->setCurrentRow(0);
    ui->RemoveButton->setEnabled(any);
    ui->RemoveAllButton->setEnabled(any);
}

void TSetupForm::SetEmailClientDialogPath()
{
    const qsizetype directory = DirectoryLength(State.EmailClientPath);
    OpenDialog2.InitialDir = State.EmailClientPath.left(directory);
    OpenDialog2.FileName = State.EmailClientPath.mid(directory);
}

void TSetupForm::UpdateIniFile()
{
    const QString server = QStringLiteral("Server");
    const QString email = QStringLiteral("EmailVfy");
    RegFormSaver1.PutText(server, QStringLiteral("Address"), ui->ServerAddrEdit->text());
    RegFormSaver1.PutNumber(server, QStringLiteral("TimeMode"), GetTimeRadioGroup.ItemIndex());
    RegFormSaver1.PutNumber(server, QStringLiteral("DetectMode"), DetectModeRadioGroup.ItemIndex());
    if (State.AppListModified) {
        const QString launcher = QStringLiteral("AppLauncher");
        RegFormSaver1.DropSection(launcher);
        for (int i = 0; i < ui->AppLaunchTextListBox->count(); ++i)
            RegFormSaver1.PutText(launcher, QStringLiteral("App%1").arg(i), ui->AppLaunchTextListBox->item(i)->text());
    }
    RegFormSaver1.PutText(email, QStringLiteral("POPServer"), ui->EmailPOPServerEdit->text());
    RegFormSaver1.PutText(email, QStringLiteral("Username"), ui->EmailUsernameEdit->text());
    RegFormSaver1.PutBytes(email, QStringLiteral("Password"), ScramblePassword(ui->EmailPasswordEdit->text().toUtf8()));
    RegFormSaver1.PutText(email, QStringLiteral("Interval"), QString::number(IntervalValue()));
    RegFormSaver1.PutNumber(email, QStringLiteral("Action"), EmailRadioGroup.ItemIndex());
    if (EmailRadioGroup.ItemIndex() == 1)
        RegFormSaver1.PutText(email, QStringLiteral("EmailClient"), State.EmailClientPath);
}

double TSetupForm::IntervalValue() const
{
    return ui->EmailIntervalRxSpinEdit->value();
}

void TSetupForm::Alert(int code)
{
    m_alerts.Alert(code);
}

void TSetupForm::TrayIcon1Restore()
{
    State.Busy = true;
    Snapshot.SavedTimeMode = GetTimeRadioGroup.ItemIndex();
    Snapshot.SavedDetectMode = DetectModeRadioGroup.ItemIndex();
    Snapshot.SavedServerAddress = ui->ServerAddrEdit->text();
    Snapshot.SavedPOPServer = ui->EmailPOPServerEdit->text();
    Snapshot.SavedUsername = ui->EmailUsernameEdit->text();
    Snapshot.SavedPassword = ui->EmailPasswordEdit->text();
    Snapshot.SavedInterval = IntervalValue();
    Snapshot.SavedAction = EmailRadioGroup.ItemIndex();
    Snapshot.SavedEmailClientPath = State.EmailClientPath;
    TrayIcon1.SetHint(m_application.Title());
    RxTimerEvent4.SetEnabled(false);
}

void TSetupForm::TrayIcon1BeforeRestore()
{
    // The form's initial placement, centred on the screen; the form saver then puts it where the
    // user left it, when that place is known and still on a screen. Later showings keep the
    // form wherever the user moved it.
    if (!m_placed) {
        m_placed = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        try {
            RegFormSaver1.RestorePlacement();
        } catch (const std::exception& error) {
            // The dialog still comes up, where the toolkit put it.
            m_application.HandleException(error);
        }
    }
    m_application.SetFormVisible(true);
}

void TSetupForm::TrayIcon1Minimize()
{
    TrayIcon1.SetHint(TrayHint);
    const bool mailConfigured = !ui->EmailPOPServerEdit->text().isEmpty() && !ui->EmailUsernameEdit->text().isEmpty()
        && !ui->EmailPasswordEdit->text().isEmpty() && IntervalValue() != 0;
    if (mailConfigured) {
        RxTimerEvent4.SetInterval(static_cast<std::int32_t>(IntervalValue() * 60000));
        RxTimerEvent4.SetEnabled(true);
    }
}

void TSetupForm::SetupClick()
{
    State.SetupOpened = true;
    // An open dialog that the window manager iconified comes back as the user left it, with its
    // snapshot: taken again, it would make Save skip and Cancel keep the edits made so far.
    if (m_application.TaskbarWindowVisible())
        m_application.RestoreWindow();
    else
        TrayIcon1.Restore();
    activateWindow();
    raise();
    FocusActivePage();
}

void TSetupForm::FocusActivePage()
{
    QWidget* page = ui->PageControl1->currentWidget();
    if (page == ui->TabSheet1)
        ui->ServerAddrEdit->setFocus();
    else if (page == ui->TabSheet2)
        ui->AppLaunchTextListBox->setFocus();
    else
        ui->EmailPOPServerEdit->setFocus();
}

bool TSetupForm::SettingsChanged() const
{
    return ui->ServerAddrEdit->text() != Snapshot.SavedServerAddress
        || GetTimeRadioGroup.ItemIndex() != Snapshot.SavedTimeMode
        || DetectModeRadioGroup.ItemIndex() != Snapshot.SavedDetectMode
        || ui->EmailPOPServerEdit->text() != Snapshot.SavedPOPServer
        || ui->EmailUsernameEdit->text() != Snapshot.SavedUsername
        || ui->EmailPasswordEdit->text() != Snapshot.SavedPassword || IntervalValue() != Snapshot.SavedInterval
        || EmailRadioGroup.ItemIndex() != Snapshot.SavedAction || State.EmailClientPath != Snapshot.SavedEmailClientPath
        || State.AppListModified;
}

void TSetupForm::OkButtonClick()
{
    if (ui->ServerAddrEdit->text().isEmpty()) {
        ui->PageControl1->setCurrentWidget(ui->TabSheet1);
        ui->ServerAddrEdit->setFocus();
        Alert(1);
        return;
    }
    if (State.EmailClientPath == NoMailClient) {
        EmailRadioGroup.SetItemIndex(0);
        ui->EmailConfigureButton->setEnabled(false);
    }
    if (SettingsChanged())
        UpdateIniFile();
    State.SetupOpened = false;
    MinimizeApplication();
    State.Busy = false;
    State.AppListModified = false;
    State.NotifiedCount = 0;
    State.NotifiedOctets = 0;
}

void TSetupForm::CancelButtonClick()
{
    GetTimeRadioGroup.SetItemIndex(Snapshot.SavedTimeMode);
    DetectModeRadioGroup.SetItemIndex(Snapshot.SavedDetectMode);
    ui->ServerAddrEdit->setText(Snapshot.SavedServerAddress);
    if (State.AppListModified) {
        ui->AppLaunchTextListBox->clear();
        LoadLauncherList();
    }
    ui->EmailPOPServerEdit->setText(Snapshot.SavedPOPServer);
    ui->EmailUsernameEdit->setText(Snapshot.SavedUsername);
    ui->EmailPasswordEdit->setText(Snapshot.SavedPassword);
    ui->EmailIntervalRxSpinEdit->setValue(qRound(Snapshot.SavedInterval));
    EmailRadioGroup.SetItemIndex(Snapshot.SavedAction);
    ui->EmailConfigureButton->setEnabled(EmailRadioGroup.ItemIndex() == 1);
    State.EmailClientPath = Snapshot.SavedEmailClientPath;
    SetEmailClientDialogPath();
    if (Snapshot.SavedEmailClientPath == NoMailClient) {
        EmailRadioGroup.SetItemIndex(0);
        ui->EmailConfigureButton->setEnabled(false);
    }
    MinimizeApplication();
    State.Busy = false;
    State.AppListModified = false;
}

void TSetupForm::MinimizeApplication()
{
    m_application.Minimize();
}

void TSetupForm::ExitButtonClick()
{
    if (SettingsChanged() && State.SetupOpened) {
        Alert(1);
        if (m_messageBoxes.Confirm(QStringLiteral("Save current settings before exit?")))
            UpdateIniFile();
    }
    // Nothing but the dialog's place is written from here on, and a place is no reason to keep
    // the program: a store that refuses it is reported, and the program ends all the same.
    try {
        RegFormSaver1.SavePlacement();
    } catch (const std::exception& error) {
        m_placementFailed = true;
        m_application.HandleException(error);
    }
    TCPClient1.Close();
    m_application.Terminate();
}

void TSetupForm::FormCloseQuery(bool& canClose)
{
    // Closing is Exit. When Exit's steps end on an error (a Save the user asked for failed), the
    // program goes on, and so must its dialog: closed, it would leave nothing to reach it by.
    canClose = false;
    ExitButtonClick();
    canClose = true;
}

void TSetupForm::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    try {
        FormCloseQuery(canClose);
    } catch (const std::exception& error) {
        m_application.HandleException(error);
    }
    event->setAccepted(canClose);
}

void TSetupForm::About1Click()
{
    ShowControllerBox([this] {
        TAboutBox about(isVisible() ? this : nullptr, m_platform.Version, m_platform.Shell,
                        [this](int code) { Alert(code); });
        about.exec();
    });
}

void TSetupForm::ShowControllerBox(const std::function<void()>& box)
{
    State.Busy = true;
    if (!m_application.TaskbarWindowVisible())
        TrayIcon1Restore();
    box();
    // The box's own loop may have brought the dialog up meanwhile (a later start's hand-over,
    // "Setup" from the tray): what is up now decides, not what was up before.
    if (!m_application.TaskbarWindowVisible()) {
        TrayIcon1.Minimize();
        State.Busy = false;
    }
}

void TSetupForm::PopupMenu1Popup()
{
    m_application.ProcessMessages();
}

void TSetupForm::RxTimerEvent1Timer()
{
    m_application.ProcessMessages();
}

bool TSetupForm::IsConnected()
{
    return ProbeDialUpConnection(m_platform.Dialup, State.DialUpAddress);
}
