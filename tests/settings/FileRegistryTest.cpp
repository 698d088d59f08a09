#include "platform/linux/FileRegistry.h"

#include "app/Errors.h"
#include "app/PasswordScrambler.h"
#include "app/RegFormSaver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Result = Registry::Result;

QByteArray AllBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList TemporaryFiles(const QString& folder)
{
    return QDir(folder).entryList({ ".user.reg.*" }, QDir::Files | QDir::Hidden);
}

QStringList Names(const QList<Registry::Value>& values)
{
    QStringList names;
    for (const Registry::Value& value : values)
        names.append(value.name);
    return names;
}

} // namespace

class FileRegistryTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void valueRoundTrips_data();
    void valueRoundTrips();
    void foreignContentSurvivesWrites();
    void namesAreCaseInsensitiveAndKeepTheirFirstCase();
    void valuesKeepCreationOrder();
    void keysAboveAndBelow();
    void fileAndFolderArePrivate();
    void damagedFileIsLeftIntact_data();
    void damagedFileIsLeftIntact();
    void damagedFileReachesTheUser();
    void killedWriterLeavesOldOrNewFile();
    void passwordSurvivesTheFile_data();
    void passwordSurvivesTheFile();
    void defaultPath_data();
    void defaultPath();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    QString m_path;
};

void FileRegistryTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder = m_dir->filePath("config/kronvik");
    m_path = m_folder + "/user.reg";
}

void FileRegistryTest::valueRoundTrips_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("plain") << QByteArray("time.example.org") << QByteArray("\"Address\"=\"time.example.org\"");
    QTest::newRow("empty") << QByteArray() << QByteArray("\"Address\"=\"\"");
    QTest::newRow("quotes and backslashes") << QByteArray(R"(C:\"x"\)") << QByteArray(R"("Address"="C:\\\"x\"\\")");
    QTest::newRow("utf-8") << QByteArray("z\xC3\xBCrich") << QByteArray("\"Address\"=\"z\xC3\xBCrich\"");
    QTest::newRow("zero byte") << QByteArray("a\0b", 3) << QByteArray("\"Address\"=hex(1):61,00,62");
    QTest::newRow("line break") << QByteArray("a\r\nb") << QByteArray("\"Address\"=hex(1):61,0d,0a,62");
    QTest::newRow("not utf-8") << QByteArray("\xFF") << QByteArray("\"Address\"=hex(1):ff");
    QTest::newRow("delete char") << QByteArray("\x7F") << QByteArray("\"Address\"=hex(1):7f");
    QTest::newRow("every byte") << AllBytes() << QByteArray("\"Address\"=hex(1):00,01,02,03");
}

void FileRegistryTest::valueRoundTrips()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, line);
    FileRegistry writer(m_path);
    QCOMPARE(writer.CreateKey("Kronvik\\Server"), Result::Ok);
    QCOMPARE(writer.WriteText("Kronvik\\Server", "Address", data), Result::Ok);

    FileRegistry reader(m_path);
    Registry::Value value;
    QCOMPARE(reader.ReadValue("Kronvik\\Server", "Address", value), Result::Ok);
    QCOMPARE(value.type, Registry::RegSz);
    QCOMPARE(value.data, data);
    QVERIFY2(ReadFile(m_path).contains("\n" + line), ReadFile(m_path).constData());
}

void FileRegistryTest::foreignContentSurvivesWrites()
{
    const QByteArray original = "REGEDIT4\r\n\r\n"
                                "; written by hand\r\n"
                                "[HKEY_CURRENT_USER\\Other\\Deep]\r\n"
                                "@=\"default\"\r\n"
                                "\"Bin\"=hex:00,01,ff\r\n"
                                "\"Count\"=dword:0000002a\r\n"
                                "\"Multi\"=hex(7):61,00,00,\\\r\n"
                                "  00\r\n"
                                "\"Big\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Kronvik\\Server]\r\n"
                                "\"Extra\"=\"keep me\"\r\n"
                                "[HKEY_CURRENT_USER\\Kronvik\\AppLauncher]\r\n"
                                "\"App0\"=\"/usr/bin/a\"\r\n";
    QVERIFY(WriteFile(m_path, original));

    FileRegistry registry(m_path);
    QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "host"), Result::Ok);
    QCOMPARE(registry.DeleteKey("Kronvik\\AppLauncher"), Result::Ok);
    QCOMPARE(registry.CreateKey("Kronvik\\EmailVfy"), Result::Ok);

    QList<Registry::Value> values;
    QCOMPARE(registry.EnumValues("Other\\Deep", values), Result::Ok);
    QCOMPARE(values.size(), 5);
    const QList<std::pair<std::uint32_t, QByteArray>> expected { { Registry::RegSz, "default" },
                                                                 { Registry::RegBinary, QByteArray("\x00\x01\xFF", 3) },
                                                                 { Registry::RegDword, QByteArray("\x2A\0\0\0", 4) },
                                                                 { 7, QByteArray("a\0\0\0", 4) },
                                                                 { 0xB, "\x01\x02\x03\x04\x05\x06\x07\x08" } };
    for (qsizetype i = 0; i < values.size(); ++i) {
        QCOMPARE(values[i].type, expected[i].first);
        QCOMPARE(values[i].data, expected[i].second);
    }
    QCOMPARE(registry.EnumValues("Kronvik\\Server", values), Result::Ok);
    QCOMPARE(Names(values), (QStringList { "Extra", "Address" }));
    QCOMPARE(registry.KeyExists("Kronvik\\AppLauncher"), Result::NotFound);

    // A second rewrite must reproduce the first byte for byte: nothing drifts or is lost.
    const QByteArray rewritten = ReadFile(m_path);
    QVERIFY(rewritten.contains("; written by hand\n[HKEY_CURRENT_USER\\Other\\Deep]\n"));
    QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "other"), Result::Ok);
    QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "host"), Result::Ok);
    QCOMPARE(ReadFile(m_path), rewritten);
}

void FileRegistryTest::namesAreCaseInsensitiveAndKeepTheirFirstCase()
{
    FileRegistry registry(m_path);
    QCOMPARE(registry.CreateKey("Kronvik\\Server"), Result::Ok);
    QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "a"), Result::Ok);
    QCOMPARE(registry.CreateKey("KRONVIK\\server"), Result::Ok);
    QCOMPARE(registry.WriteText("kronvik\\SERVER", "ADDRESS", "b"), Result::Ok);

    QList<Registry::Value> values;
    QCOMPARE(registry.EnumValues("KrOnViK\\SeRvEr", values), Result::Ok);
    QCOMPARE(values.size(), 1);
    QCOMPARE(values[0].name, QString("Address"));
    QCOMPARE(values[0].data, QByteArray("b"));
    const QByteArray file = ReadFile(m_path);
    QVERIFY(file.contains("[HKEY_CURRENT_USER\\Kronvik\\Server]\n\"Address\"=\"b\""));
    QVERIFY(!file.contains("SERVER") && !file.contains("KRONVIK"));
}

void FileRegistryTest::valuesKeepCreationOrder()
{
    FileRegistry registry(m_path);
    QCOMPARE(registry.CreateKey("Kronvik\\AppLauncher"), Result::Ok);
    QStringList written;
    for (int i = 0; i < 12; ++i) {
        written.append(QStringLiteral("App%1").arg(i));
        QCOMPARE(registry.WriteText("Kronvik\\AppLauncher", written.last(), "/usr/bin/x"), Result::Ok);
    }
    QCOMPARE(registry.WriteText("Kronvik\\AppLauncher", "App5", "/usr/bin/changed"), Result::Ok);

    QList<Registry::Value> values;
    QCOMPARE(FileRegistry(m_path).EnumValues("Kronvik\\AppLauncher", values), Result::Ok);
    QCOMPARE(Names(values), written);
    QCOMPARE(values[5].data, QByteArray("/usr/bin/changed"));
}

void FileRegistryTest::keysAboveAndBelow()
{
    FileRegistry registry(m_path);
    QList<Registry::Value> values;
    QCOMPARE(registry.KeyExists("Kronvik"), Result::NotFound);
    QCOMPARE(registry.EnumValues("Kronvik", values), Result::NotFound);
    QCOMPARE(registry.WriteText("Kronvik", "x", "y"), Result::NotFound);
    QVERIFY(!QFile::exists(m_path));

    QCOMPARE(registry.CreateKey("Kronvik\\AppLauncher\\Deep"), Result::Ok);
    QCOMPARE(registry.KeyExists("Kronvik"), Result::Ok);
    QCOMPARE(registry.KeyExists("Kron"), Result::NotFound);
    QCOMPARE(registry.DeleteKey("Kronvik\\AppLauncher"), Result::Ok);
    QCOMPARE(registry.KeyExists("Kronvik\\AppLauncher\\Deep"), Result::NotFound);
    QCOMPARE(registry.KeyExists("Kronvik"), Result::Ok);
    QCOMPARE(registry.DeleteKey("Kronvik\\AppLauncher"), Result::NotFound);
    QCOMPARE(registry.CreateKey("Kronvik\\\\Server"), Result::Failed);
    QCOMPARE(registry.WriteText("Kronvik", "line\nbreak", "x"), Result::Failed);
}

void FileRegistryTest::fileAndFolderArePrivate()
{
    FileRegistry registry(m_path);
    QCOMPARE(registry.CreateKey("Kronvik"), Result::Ok);
    struct stat file
    { };
    struct stat folder
    { };
    QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &file), 0);
    QCOMPARE(::stat(QFile::encodeName(m_folder).constData(), &folder), 0);
    QCOMPARE(file.st_mode & 07777, 0600u);
    QCOMPARE(folder.st_mode & 07777, 0700u);

    QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    QCOMPARE(registry.CreateKey("Kronvik\\Server"), Result::Ok);
    QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &file), 0);
    QCOMPARE(file.st_mode & 07777, 0600u);
    QVERIFY(TemporaryFiles(m_folder).isEmpty());
}

void FileRegistryTest::damagedFileIsLeftIntact_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");
    QTest::newRow("no header") << QByteArray("[HKEY_CURRENT_USER\\Kronvik]\n") << 1;
    QTest::newRow("newer format") << QByteArray("Windows Registry Editor Version 5.00\n") << 1;
    QTest::newRow("unclosed text") << QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik]\n\"A\"=\"open\n") << 4;
    QTest::newRow("bad hex") << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\Kronvik]\n\"A\"=hex:0g\n") << 3;
    QTest::newRow("unknown escape") << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\Kronvik]\n\"A\"=\"\\n\"\n") << 3;
    QTest::newRow("value outside a key") << QByteArray("REGEDIT4\n\"A\"=\"x\"\n") << 2;
    QTest::newRow("deletion entry") << QByteArray("REGEDIT4\n[-HKEY_CURRENT_USER\\Kronvik]\n") << 2;
    QTest::newRow("stray text") << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\Kronvik]\nAddress=x\n") << 3;
    QTest::newRow("cut short") << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\Kronvik]\n\"A\"=hex:00,\\") << 3;
}

void FileRegistryTest::damagedFileIsLeftIntact()
{
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QVERIFY(WriteFile(m_path, content));

    FileRegistry registry(m_path);
    Registry::Value value;
    QList<Registry::Value> values;
    QCOMPARE(registry.CreateKey("Kronvik"), Result::Failed);
    QCOMPARE(registry.WriteText("Kronvik", "A", "x"), Result::Failed);
    QCOMPARE(registry.DeleteKey("Kronvik"), Result::Failed);
    QCOMPARE(registry.ReadValue("Kronvik", "A", value), Result::Failed);
    QCOMPARE(registry.EnumValues("Kronvik", values), Result::Failed);
    QCOMPARE(registry.KeyExists("Kronvik"), Result::Failed);
    QVERIFY2(registry.LastError().contains(m_path), qPrintable(registry.LastError()));
    QVERIFY2(registry.LastError().contains(QStringLiteral("line %1:").arg(line)), qPrintable(registry.LastError()));
    QCOMPARE(ReadFile(m_path), content);
    QVERIFY(TemporaryFiles(m_folder).isEmpty());
}

void FileRegistryTest::damagedFileReachesTheUser()
{
    const QByteArray content = "REGEDIT4\n[HKEY_CURRENT_USER\\Kronvik\\Server]\n\"Address\"=\"host\n";
    QVERIFY(WriteFile(m_path, content));
    FileRegistry registry(m_path);
    TRegFormSaver store(registry);

    QVERIFY_THROWS_EXCEPTION(ERegistryException, store.FetchText("Server", "Address", {}));
    QVERIFY_THROWS_EXCEPTION(ERegistryException, store.PutText("Server", "Address", "other"));
    QCOMPARE(ReadFile(m_path), content);
}

void FileRegistryTest::killedWriterLeavesOldOrNewFile()
{
    const QByteArray first(20000, 'a');
    const QByteArray second = AllBytes().repeated(100);
    FileRegistry registry(m_path);
    QCOMPARE(registry.CreateKey("Kronvik\\Server"), Result::Ok);
    QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", first), Result::Ok);

    QElapsedTimer elapsed;
    elapsed.start();
    int changes = 0;
    QByteArray previous = first;
    for (int round = 0; round < 60 && elapsed.elapsed() < 20000; ++round) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            FileRegistry writer(m_path);
            QElapsedTimer running;
            running.start();
            for (int i = 0; i < 100000 && running.elapsed() < 10000; ++i)
                writer.WriteText("Kronvik\\Server", "Address", i % 2 == 0 ? second : first);
            ::_exit(0);
        }
        ::usleep(QRandomGenerator::global()->bounded(1000u, 30000u));
        Registry::Value whileWriting;
        const Result during = FileRegistry(m_path).ReadValue("Kronvik\\Server", "Address", whileWriting);
        ::kill(child, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);

        QCOMPARE(during, Result::Ok);
        QVERIFY(whileWriting.data == first || whileWriting.data == second);
        Registry::Value after;
        QCOMPARE(FileRegistry(m_path).ReadValue("Kronvik\\Server", "Address", after), Result::Ok);
        QVERIFY(after.data == first || after.data == second);
        changes += after.data != previous ? 1 : 0;
        previous = after.data;
        QVERIFY(TemporaryFiles(m_folder).size() <= 2);
    }
    QVERIFY2(changes > 0, "the writer never finished a write; the test proved nothing");

    QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "done"), Result::Ok);
    QVERIFY(TemporaryFiles(m_folder).isEmpty());
}

void FileRegistryTest::passwordSurvivesTheFile_data()
{
    QTest::addColumn<QByteArray>("scrambled");
    QTest::newRow("zero byte") << QByteArray("ab\0cd", 5);
    QTest::newRow("line breaks") << QByteArray("a\r\nb\n");
    QTest::newRow("quotes") << QByteArray("\"quoted\" \\ '");
    QTest::newRow("every byte") << AllBytes();
    QTest::newRow("empty") << QByteArray();
}

void FileRegistryTest::passwordSurvivesTheFile()
{
    // Chosen by its stored form, so that exactly the awkward bytes reach the file.
    QFETCH(QByteArray, scrambled);
    const QByteArray password = UnscramblePassword(scrambled);
    {
        FileRegistry registry(m_path);
        TRegFormSaver store(registry);
        store.PutBytes("EmailVfy", "Password", ScramblePassword(password));
    }
    FileRegistry registry(m_path);
    TRegFormSaver store(registry);
    QCOMPARE(store.FetchBytes("EmailVfy", "Password", "default"), scrambled);
    QCOMPARE(UnscramblePassword(store.FetchBytes("EmailVfy", "Password", {})), password);
}

void FileRegistryTest::defaultPath_data()
{
    QTest::addColumn<QString>("xdgConfigHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("set") << "/x/cfg"
                         << "/x/cfg/kronvik/user.reg";
    QTest::newRow("unset") << QString() << "/home/u/.config/kronvik/user.reg";
    QTest::newRow("empty") << ""
                           << "/home/u/.config/kronvik/user.reg";
    QTest::newRow("relative") << "cfg"
                              << "/home/u/.config/kronvik/user.reg";
}

void FileRegistryTest::defaultPath()
{
    QFETCH(QString, xdgConfigHome);
    QFETCH(QString, expected);
    QCOMPARE(DefaultRegistryPath(xdgConfigHome, "/home/u"), expected);
}

QTEST_GUILESS_MAIN(FileRegistryTest)
#include "FileRegistryTest.moc"
