#include "app/Alerts.h"
#include "components/About.h"
#include "components/JpegDecoder.h"
#include "components/UrlLabel.h"
#include "components/VersionLabel.h"
#include "tests/fakes/FakeDesktopShell.h"
#include "tests/fakes/FakeSoundOutput.h"
#include "tests/fakes/FakeVersionInfo.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

// The program's own version block, as the build puts it into the program's file.
extern const char KronvikVersionBlock[];

namespace {

QByteArray Picture()
{
    QFile file(QStringLiteral(":/about/AboutPicture.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Seed(const char* name)
{
    QFile file(QStringLiteral(KRONVIK_JPEG_SEEDS "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The built-in picture with its frame header changed: the byte at offset within the SOF0 segment.
QByteArray WithFrameHeader(qsizetype offset, QByteArray bytes)
{
    QByteArray picture = Picture();
    const qsizetype frame = picture.indexOf(QByteArrayLiteral("\xFF\xC0"));
    picture.replace(frame + offset, bytes.size(), bytes);
    return picture;
}

} // namespace

// The About box and its labels against a fake version block and a fake desktop opener; the
// picture's decoder against damaged pictures.
class AboutBoxTest final : public QObject
{
    Q_OBJECT

private slots:
    void versionLabelCaption_data();
    void versionLabelCaption();
    void freshLabel();
    void captionFollowsEveryChange();
    void boxShowsTheVersionBlock();
    void addressLink();
    void linkTarget_data();
    void linkTarget();
    void pictureClickSounds();
    void decoder_data();
    void decoder();
    void badPictureLeavesItEmpty();
};

void AboutBoxTest::versionLabelCaption_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("resource");
    QTest::addColumn<QString>("langCharset");
    QTest::addColumn<bool>("showPrefix");
    QTest::addColumn<QString>("caption");

    const QByteArray block = "[\\StringFileInfo\\041604E4]\nFileVersion=3.0.3.0\nComments=\n";
    QTest::newRow("no version block, prefix on")
        << QByteArray() << int(vrFileVersion) << "041604E4" << true << "File Version: < No Data Available >";
    QTest::newRow("no version block, prefix off")
        << QByteArray() << int(vrFileVersion) << "041604E4" << false << "< No Data Available >";
    QTest::newRow("no such string table")
        << block << int(vrFileVersion) << "080904E4" << true << "File Version: Error retrieving version info";
    QTest::newRow("no such string") << block << int(vrCompanyName) << "041604E4" << false
                                    << "Error retrieving version info";
    QTest::newRow("empty string") << block << int(vrComments) << "041604E4" << true << "Comments: No Version Info";
    QTest::newRow("the string, prefix on")
        << block << int(vrFileVersion) << "041604E4" << true << "File Version: 3.0.3.0";
    QTest::newRow("the string, prefix off") << block << int(vrFileVersion) << "041604E4" << false << "3.0.3.0";
    QTest::newRow("names and tables regardless of case")
        << QByteArray("[\\stringfileinfo\\041604e4]\nfileversion=3.0.3.0\n") << int(vrFileVersion) << "041604E4"
        << false << "3.0.3.0";
}

void AboutBoxTest::versionLabelCaption()
{
    QFETCH(QByteArray, block);
    QFETCH(int, resource);
    QFETCH(QString, langCharset);
    QFETCH(bool, showPrefix);
    QFETCH(QString, caption);

    FakeVersionInfo version;
    version.block = block;
    TVersionLabel label(version);
    label.SetVersionResource(static_cast<TVersionResources>(resource));
    label.SetLangCharset(langCharset);
    label.SetShowInfoPrefix(showPrefix);
    QCOMPARE(label.text(), caption);
}

void AboutBoxTest::freshLabel()
{
    FakeVersionInfo version;
    TVersionLabel label(version);
    QCOMPARE(label.VersionResource(), vrFileVersion);
    QCOMPARE(label.VersionResourceKey(), QStringLiteral("FileVersion"));
    QCOMPARE(label.InfoPrefix(), QStringLiteral("File Version:"));
    QCOMPARE(label.LangCharset(), QStringLiteral("080904E4"));
    QVERIFY(label.ShowInfoPrefix());
    QVERIFY(label.AutoSize());
    QVERIFY(!label.wordWrap());

    label.SetVersionResource(vrComments);
    QCOMPARE(label.VersionResourceKey(), QStringLiteral("Comments"));
    QCOMPARE(label.InfoPrefix(), QStringLiteral("Comments:"));
}

void AboutBoxTest::captionFollowsEveryChange()
{
    FakeVersionInfo version;
    version.block = "[\\StringFileInfo\\080904E4]\nInternalName=Kronvik!\nFileVersion=1.0\n";
    TVersionLabel label(version);
    label.SetShowInfoPrefix(false);
    QCOMPARE(label.text(), QStringLiteral("1.0"));
    // A new key whose name the prefix already reads: the caption must still follow the key.
    label.SetInfoPrefix("InternalName");
    label.SetVersionResourceKey("InternalName");
    QCOMPARE(label.text(), QStringLiteral("Kronvik!"));
    // The block is read again each time, never kept.
    version.block.replace("Kronvik!", "Kronvik?");
    label.SetShowInfoPrefix(true);
    QCOMPARE(label.text(), QStringLiteral("InternalName Kronvik?"));
}

void AboutBoxTest::boxShowsTheVersionBlock()
{
    FakeVersionInfo version;
    version.block = KronvikVersionBlock;
    FakeDesktopShell shell;
    TAboutBox box(nullptr, version, shell, {});

    QCOMPARE(box.windowTitle(), QStringLiteral("About Kronvik"));
    QCOMPARE(box.size(), QSize(322, 224));
    QCOMPARE(box.VersionLabel1->text(), QStringLiteral("Kronvik!"));
    QVERIFY(box.VersionLabel1->font().bold());
    QCOMPARE(box.VersionLabel2->text(), QStringLiteral("Version  3.0.3.0"));
    QVERIFY(box.VersionLabel3->text().startsWith(QStringLiteral("\u00A9 ")));
    QVERIFY(box.VersionLabel3->text().size() > 4);
    QVERIFY(!box.VersionLabel4->text().startsWith(QStringLiteral("Comments:")));
    QVERIFY(box.VersionLabel4->text().endsWith(QLatin1Char('.')));
    QCOMPARE(box.UrlLabel1->text(), TAboutBox::AuthorAddress);
    QVERIFY(box.OKButton->isDefault());
    QCOMPARE(box.ProgramIcon->pixmap().size(), QSize(160, 120));
}

void AboutBoxTest::addressLink()
{
    FakeVersionInfo version;
    version.block = KronvikVersionBlock;
    FakeDesktopShell shell;
    TAboutBox box(nullptr, version, shell, {});
    box.show();
    TUrlLabel& link = *box.UrlLabel1;
    QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(link.font().underline());
    QCOMPARE(link.FontColor(), QColor(Qt::blue));

    QTest::mousePress(&link, Qt::LeftButton);
    QCOMPARE(link.FontColor(), QColor(128, 0, 128));
    QTest::mouseRelease(&link, Qt::LeftButton);
    QCOMPARE(link.FontColor(), QColor(Qt::blue));
    QCOMPARE(shell.opened, QStringList { "mailto:kronvik@example.org?subject=Kronvik! - Version  3.0.3.0" });

    // The menu copies the bare address, not the link.
    QGuiApplication::clipboard()->clear();
    QList<QAction*> items = link.CopyMenu()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first()->text(), QStringLiteral("Copy"));
    items.first()->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), TAboutBox::AuthorAddress);
    QCOMPARE(shell.opened.size(), 1);
}

void AboutBoxTest::linkTarget_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("opened");

    QTest::newRow("the URL") << " https://example.org "
                             << "x" << QStringList { " https://example.org " };
    QTest::newRow("blank URL: the caption") << "   "
                                            << "someone@example.org" << QStringList { "someone@example.org" };
    QTest::newRow("blank both: nothing") << ""
                                         << "   " << QStringList();
}

void AboutBoxTest::linkTarget()
{
    QFETCH(QString, url);
    QFETCH(QString, caption);
    QFETCH(QStringList, opened);

    FakeDesktopShell shell;
    TUrlLabel link(shell);
    link.setText(caption);
    link.SetURL(url);
    link.resize(100, 20);
    link.show();
    // A press on the link and a release beside it is no click.
    QTest::mousePress(&link, Qt::LeftButton);
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(150, 10));
    QVERIFY(shell.opened.isEmpty());

    QTest::mouseClick(&link, Qt::LeftButton);
    QCOMPARE(shell.opened, opened);
}

void AboutBoxTest::pictureClickSounds()
{
    FakeVersionInfo version;
    FakeDesktopShell shell;
    FakeSoundOutput sound;
    TAlerts alerts(sound);
    TAboutBox box(nullptr, version, shell, [&](int code) { alerts.Alert(code); });
    box.show();
    QTest::mouseClick(box.ProgramIcon, Qt::LeftButton);
    QCOMPARE(sound.PlayedNames(), QStringList { "WAV_ZOLB" });
}

void AboutBoxTest::decoder_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size"); // empty: no picture

    const QByteArray picture = Picture();
    QVERIFY(picture.startsWith("\xFF\xD8\xFF\xE0") && picture.mid(6, 5) == QByteArray("JFIF\0", 5));
    QTest::newRow("the About box's picture") << picture << QSize(160, 120);
    QTest::newRow("grey, progressive") << Seed("grey-progressive.jpg") << QSize(48, 32);
    QTest::newRow("cut after its headers") << picture.left(picture.indexOf("\xFF\xDA") + 20) << QSize();
    QTest::newRow("cut halfway") << picture.left(picture.size() / 2) << QSize();
    QTest::newRow("no end marker") << picture.left(picture.size() - 2) << QSize();
    QByteArray endInside = picture;
    endInside.replace(picture.size() * 2 / 3, 2, "\xFF\xD9");
    QTest::newRow("end marker inside the image data") << endInside << QSize();
    QTest::newRow("12-bit samples claimed") << WithFrameHeader(4, "\x0C") << QSize();
    QTest::newRow("not a picture") << QByteArray("GIF89a\x01\x00\x01\x00", 10) << QSize();
    QTest::newRow("nothing") << QByteArray() << QSize();
}

void AboutBoxTest::decoder()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);

    const QImage image = DecodeJpeg(data);
    QCOMPARE(image.isNull(), size.isEmpty());
    if (!size.isEmpty())
        QCOMPARE(image.size(), size);
}

void AboutBoxTest::badPictureLeavesItEmpty()
{
    FakeVersionInfo version;
    FakeDesktopShell shell;
    TAboutBox box(nullptr, version, shell, {});
    const QByteArray picture = Picture();
    box.LoadPicture(picture.left(picture.size() / 2));
    QVERIFY(box.ProgramIcon->pixmap().isNull());
    QByteArray corrupt = picture;
    corrupt.replace(corrupt.indexOf("\xFF\xC0") + 4, 1, "\x0C");
    box.LoadPicture(corrupt);
    QVERIFY(box.ProgramIcon->pixmap().isNull());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
}

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
