#include "platform/linux/desktop/DesktopEntryResolver.h"

#include <QTemporaryDir>
#include <QTest>

// Desktop entries as shortcuts: what their Exec and Path lines start, and which files are none.
class DesktopEntryTest final : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void resolveReadsTheFile();
};

namespace {

QByteArray Entry(const QByteArray& lines)
{
    return "[Desktop Entry]\nType=Application\nName=Prog\n" + lines;
}

} // namespace

void DesktopEntryTest::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("folder");

    QTest::newRow("program alone") << Entry("Exec=/usr/bin/prog\n") << true << "/usr/bin/prog" << QStringList {} << "";
    QTest::newRow("arguments and folder")
        << Entry("Exec=prog -a -b\nPath=/srv/data\n") << true << "prog" << QStringList { "-a", "-b" } << "/srv/data";
    QTest::newRow("blanks around the equals sign, runs of blanks")
        << Entry("Exec =  prog   -a\t-b  \n") << true << "prog" << QStringList { "-a", "-b" } << "";
    QTest::newRow("quoted program with a blank") << Entry("Exec=\"/opt/My Prog/prog\" \"two words\"\n") << true
                                                 << "/opt/My Prog/prog" << QStringList { "two words" } << "";
    QTest::newRow("escapes inside quotes") << Entry("Exec=prog \"a \\\\\"b\\\\\" \\\\$HOME \\\\`x\\\\` \\\\\\\\\"\n")
                                           << true << "prog" << QStringList { "a \"b\" $HOME `x` \\" } << "";
    QTest::newRow("string escapes: blank, tab") << Entry("Exec=prog a\\sb\nPath=/srv/my\\sdata\n") << true << "prog"
                                                << QStringList { "a", "b" } << "/srv/my data";
    QTest::newRow("empty quoted argument stays")
        << Entry("Exec=prog \"\" x\n") << true << "prog" << QStringList { "", "x" } << "";
    QTest::newRow("field codes removed") << Entry("Exec=prog %U --name=%c %i -x %f%F\n") << true << "prog"
                                         << QStringList { "--name=", "-x" } << "";
    QTest::newRow("percent sign") << Entry("Exec=prog 100%% \"50%%\"\n") << true << "prog"
                                  << QStringList { "100%", "50%" } << "";
    QTest::newRow("comments, other groups, localized keys")
        << QByteArray("# made by hand\n\n[Desktop Entry]\r\nType=Application\r\nExec[de]=falsch\r\n"
                      "Exec=prog\r\n# Exec=other\r\n[Desktop Action New]\r\nExec=prog --new\r\n")
        << true << "prog" << QStringList {} << "";
    QTest::newRow("UTF-8 path") << Entry("Exec=/opt/Zeitgeber/zähler\n") << true << "/opt/Zeitgeber/zähler"
                                << QStringList {} << "";

    QTest::newRow("no Exec") << Entry("Path=/srv\n") << false << "" << QStringList {} << "";
    QTest::newRow("Exec of field codes only") << Entry("Exec=%U\n") << false << "" << QStringList {} << "";
    QTest::newRow("open quote") << Entry("Exec=\"prog -a\n") << false << "" << QStringList {} << "";
    QTest::newRow("a link, not an application")
        << QByteArray("[Desktop Entry]\nType=Link\nURL=https://example.org\nExec=prog\n") << false << ""
        << QStringList {} << "";
    QTest::newRow("no type") << QByteArray("[Desktop Entry]\nExec=prog\n") << false << "" << QStringList {} << "";
    QTest::newRow("another group first") << QByteArray("[Other]\nA=b\n[Desktop Entry]\nType=Application\nExec=prog\n")
                                         << false << "" << QStringList {} << "";
    QTest::newRow("key before any group")
        << QByteArray("Exec=prog\n[Desktop Entry]\nType=Application\n") << false << "" << QStringList {} << "";
    QTest::newRow("line without equals sign") << Entry("Exec=prog\njunk\n") << false << "" << QStringList {} << "";
    QTest::newRow("key twice") << Entry("Exec=prog\nExec=other\n") << false << "" << QStringList {} << "";
    QTest::newRow("group twice") << Entry("Exec=prog\n[Desktop Entry]\nType=Application\n") << false << ""
                                 << QStringList {} << "";
    QTest::newRow("unclosed group header")
        << QByteArray("[Desktop Entry\nType=Application\nExec=prog\n") << false << "" << QStringList {} << "";
    QTest::newRow("not text at all") << QByteArray("\x7f"
                                                   "ELF\x02\x01\x01\0\0\0",
                                                   10)
                                     << false << "" << QStringList {} << "";
    QTest::newRow("empty file") << QByteArray() << false << "" << QStringList {} << "";
}

void DesktopEntryTest::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, folder);

    const std::optional<ProcessCommand> command = DesktopEntryResolver::Parse(text);

    QCOMPARE(command.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(command->program, program);
    QCOMPARE(command->arguments, arguments);
    QCOMPARE(command->folder, folder);
}

void DesktopEntryTest::resolveReadsTheFile()
{
    QTemporaryDir dir;
    const DesktopEntryResolver resolver;
    const QString path = dir.filePath("Prog.Desktop");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Entry("Exec=prog -x\nPath=/srv\n"));
    file.close();

    QVERIFY(resolver.IsShortcut(path));
    QVERIFY(!resolver.IsShortcut(dir.filePath("prog.desktop.sh")));
    const std::optional<ProcessCommand> command = resolver.Resolve(path);
    QVERIFY(command);
    QCOMPARE(command->program, QStringLiteral("prog"));
    QCOMPARE(command->arguments, QStringList { "-x" });
    QVERIFY(!resolver.Resolve(dir.filePath("missing.desktop")));
    QVERIFY(!resolver.Resolve(dir.path()));
}

QTEST_GUILESS_MAIN(DesktopEntryTest)
#include "DesktopEntryTest.moc"
