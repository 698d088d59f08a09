#include "components/About.h"

#include "components/JpegDecoder.h"
#include "components/UrlLabel.h"
#include "components/VersionLabel.h"

#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace {

// The setup dialog's font: the nearest this platform has to an 8-point dialog font.
QFont DialogFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    font.setStretch(94);
    return font;
}

TVersionLabel* VersionLabel(VersionInfo& versionInfo, QWidget* parent, TVersionResources resource,
                            const QString& prefix, bool showPrefix)
{
    auto* label = new TVersionLabel(versionInfo, parent);
    label->SetVersionResource(resource);
    label->SetInfoPrefix(prefix);
    label->SetShowInfoPrefix(showPrefix);
    label->SetLangCharset(QStringLiteral("041604E4"));
    return label;
}

// A label of fixed size whose text wraps within it.
void WrapWithin(TVersionLabel* label, int left, int top, int width, int height)
{
    label->SetAutoSize(false);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(left, top, width, height);
}

} // namespace

TAboutBox::TAboutBox(QWidget* owner, VersionInfo& versionInfo, DesktopShell& shell, std::function<void(int)> alert)
    : QDialog(owner)
    , m_alert(std::move(alert))
{
    setWindowTitle(QStringLiteral("About Kronvik"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    setFixedSize(322, 224);

    Panel1 = new QFrame(this);
    Panel1->setGeometry(8, 8, 305, 176);
    // A lowered outer and a raised inner bevel: an etched frame.
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    Bevel1 = new QFrame(Panel1);
    Bevel1->setGeometry(14, 13, 99, 75);
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setGeometry(15, 14, 97, 73);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->installEventFilter(this);

    VersionLabel1 = VersionLabel(versionInfo, Panel1, vrInternalName, QStringLiteral("Internal Name:"), false);
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(13);
    VersionLabel1->setFont(bold);
    VersionLabel1->move(169, 32);
    VersionLabel1->SetAutoSize(true);

    VersionLabel2 = VersionLabel(versionInfo, Panel1, vrFileVersion, QStringLiteral("Version "), true);
    VersionLabel2->move(167, 54);

    VersionLabel3 = VersionLabel(versionInfo, Panel1, vrLegalCopyright, QStringLiteral("\u00A9"), true);
    WrapWithin(VersionLabel3, 8, 99, 289, 25);

    VersionLabel4 = VersionLabel(versionInfo, Panel1, vrComments, QStringLiteral("Comments:"), false);
    WrapWithin(VersionLabel4, 8, 120, 289, 33);

    UrlLabel1 = new TUrlLabel(shell, Panel1);
    UrlLabel1->setText(AuthorAddress);
    UrlLabel1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    UrlLabel1->setGeometry(88, 152, 136, 13);
    UrlLabel1->setToolTip(QStringLiteral("Click here to send email to the author"));
    UrlLabel1->OnClick = [this] { UrlLabel1Click(); };

    OKButton = new QPushButton(QStringLiteral("&Ok"), this);
    OKButton->setGeometry(123, 194, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    QFile picture(QStringLiteral(":/about/AboutPicture.jpg"));
    LoadPicture(picture.open(QIODevice::ReadOnly) ? picture.readAll() : QByteArray());

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAboutBox::LoadPicture(const QByteArray& jfif)
{
    const QImage image = DecodeJpeg(jfif);
    if (image.isNull())
        ProgramIcon->clear();
    else
        ProgramIcon->setPixmap(QPixmap::fromImage(image));
}

void TAboutBox::UrlLabel1Click()
{
    UrlLabel1->SetURL(QStringLiteral("mailto:") + AuthorAddress + QStringLiteral("?subject=") + VersionLabel1->text()
                      + QStringLiteral(" - ") + VersionLabel2->text());
}

void TAboutBox::ProgramIconClick()
{
    if (m_alert)
        m_alert(4);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ProgramIcon && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ProgramIconClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
