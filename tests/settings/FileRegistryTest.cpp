#include "platform/linux/settings/FileRegistry.h"

#include "app/RegFormSaver.h"
#include "base/Errors.h"

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

unsigned Mode(const QString& path)
{
    struct stat info
    { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
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

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    QString m_path;

    QStringList TemporaryFiles() const
    {
        return QDir(m_folder).entryList({ ".user.reg.*" }, QDir::Files | QDir::Hidden);
    }
    bool WriteFile(const QByteArray& bytes) const
    {
        QDir().mkpath(m_folder);
        QFile file(m_path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = m_dir->filePath("config/kronvik");
        m_path = m_folder + "/user.reg";
    }

    // Passwords are stored scrambled, which makes any byte possible.
    void valuesAndPasswordsRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QByteArray() << QByteArray("\"Password\"=\"\"");
        QTest::newRow("quotes, backslashes")
            << QByteArray("C:\\\"x\"\\") << QByteArray("\"Password\"=\"C:\\\\\\\"x\\\"\\\\\"");
        QTest::newRow("utf-8") << QByteArray("z\xC3\xBCrich") << QByteArray("\"Password\"=\"z\xC3\xBCrich\"");
        QTest::newRow("zero byte") << QByteArray("a\0b", 3) << QByteArray("\"Password\"=hex(1):61,00,62");
        QTest::newRow("line break") << QByteArray("a\r\nb") << QByteArray("\"Password\"=hex(1):61,0d,0a,62");
        QTest::newRow("not utf-8") << QByteArray("\xFF") << QByteArray("\"Password\"=hex(1):ff");
        QTest::newRow("delete char") << QByteArray("\x7F") << QByteArray("\"Password\"=hex(1):7f");
        QTest::newRow("every byte") << AllBytes() << QByteArray("\"Password\"=hex(1):00,01,02,03");
    }
    void valuesAndPasswordsRoundTrip()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, line);
        {
            FileRegistry registry(m_path);
            TRegFormSaver store(registry);
            store.SetIniFileName("Kronvik");
            store.PutBytes("EmailVfy", "Password", data);
        }
        FileRegistry registry(m_path);
        TRegFormSaver store(registry);
        store.SetIniFileName("Kronvik");
        QCOMPARE(store.FetchBytes("EmailVfy", "Password", "default"), data);
        Registry::Value value;
        QCOMPARE(registry.ReadValue("Kronvik\\EmailVfy", "Password", value), Result::Ok);
        QCOMPARE(value.type, Registry::RegSz);
        QVERIFY2(ReadFile(m_path).contains("\n" + line), ReadFile(m_path).constData());
    }

    void foreignContentSurvivesWrites()
    {
        QVERIFY(WriteFile("REGEDIT4\r\n\r\n; written by hand\r\n[HKEY_CURRENT_USER\\Other\\Deep]\r\n@=\"default\"\r\n"
                          "\"Bin\"=hex:00,01,ff\r\n\"Count\"=dword:0000002a\r\n\"Multi\"=hex(7):61,00,00,\\\r\n  00\r\n"
                          "\"Big\"=hex(b):01,02,03,04,05,06,07,08\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Kronvik\\Server]\r\n\"Extra\"=\"keep me\"\r\n"
                          "[HKEY_CURRENT_USER\\Kronvik\\AppLauncher]\r\n\"App0\"=\"/usr/bin/a\"\r\n"));
        FileRegistry registry(m_path);
        QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "host"), Result::Ok);
        QCOMPARE(registry.DeleteKey("Kronvik\\AppLauncher"), Result::Ok);
        QCOMPARE(registry.CreateKey("Kronvik\\EmailVfy"), Result::Ok);

        QList<Registry::Value> values;
        QCOMPARE(FileRegistry(m_path).EnumValues("Other\\Deep", values), Result::Ok);
        const QList<std::pair<std::uint32_t, QByteArray>> expected {
            { Registry::RegSz, "default" },
            { Registry::RegBinary, QByteArray("\x00\x01\xFF", 3) },
            { Registry::RegDword, QByteArray("\x2A\0\0\0", 4) },
            { 7, QByteArray("a\0\0\0", 4) },
            { 0xB, "\x01\x02\x03\x04\x05\x06\x07\x08" }
        };
        QCOMPARE(values.size(), expected.size());
        for (qsizetype i = 0; i < values.size(); ++i)
            QCOMPARE(std::pair(values[i].type, values[i].data), expected[i]);
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

    // A file edited in another code page: its names are no UTF-8, and must neither merge nor change.
    void foreignNamesSurviveByteForByte()
    {
        QVERIFY(WriteFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik\\Z\xFCrich]\n\"Stra\xDF"
                          "e\"=\"x\"\n\"Stra\xE9"
                          "e\"=\"y\"\n"
                          "\"Upper\"=hex(1):4A,4b,4C\n"));
        FileRegistry registry(m_path);
        QCOMPARE(registry.CreateKey("Kronvik\\Server"), Result::Ok);
        QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "host"), Result::Ok);

        const QByteArray file = ReadFile(m_path);
        QVERIFY2(file.contains("[HKEY_CURRENT_USER\\Kronvik\\Z\xFCrich]\n\"Stra\xDF"
                               "e\"=\"x\"\n\"Stra\xE9"
                               "e\"=\"y\"\n"),
                 file.constData());
        QList<Registry::Value> values;
        QCOMPARE(registry.EnumValues(QStringLiteral("Kronvik\\Z\u00FCrich"), values), Result::Ok);
        QCOMPARE(Names(values),
                 (QStringList { QStringLiteral("Stra\u00DFe"), QStringLiteral("Stra\u00E9e"), "Upper" }));
        QCOMPARE(values[2].data, QByteArray("JKL"));
    }

    void namesAreCaseInsensitiveKeepFirstCaseAndOrder()
    {
        FileRegistry registry(m_path);
        QCOMPARE(registry.CreateKey("Kronvik\\AppLauncher"), Result::Ok);
        QStringList written;
        for (int i = 0; i < 12; ++i) {
            written.append(QStringLiteral("App%1").arg(i));
            QCOMPARE(registry.WriteText("Kronvik\\AppLauncher", written.last(), "/usr/bin/x"), Result::Ok);
        }
        QCOMPARE(registry.CreateKey("KRONVIK\\applauncher"), Result::Ok);
        QCOMPARE(registry.WriteText("kronvik\\APPLAUNCHER", "APP5", "/usr/bin/changed"), Result::Ok);

        QList<Registry::Value> values;
        QCOMPARE(FileRegistry(m_path).EnumValues("KrOnViK\\ApPlAuNcHeR", values), Result::Ok);
        QCOMPARE(Names(values), written);
        QCOMPARE(values[5].data, QByteArray("/usr/bin/changed"));
        const QByteArray file = ReadFile(m_path);
        QVERIFY(file.contains("[HKEY_CURRENT_USER\\Kronvik\\AppLauncher]\n\"App0\"="));
        QVERIFY(!file.contains("APP") && !file.contains("KRONVIK") && !file.contains("applauncher"));
    }

    void keysAboveAndBelow()
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

        // Private, and made private again after being loosened by hand.
        QCOMPARE(Mode(m_path), 0600u);
        QCOMPARE(Mode(m_folder), 0700u);
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QCOMPARE(registry.CreateKey("Kronvik\\Server"), Result::Ok);
        QCOMPARE(Mode(m_path), 0600u);
        QVERIFY(TemporaryFiles().isEmpty());
    }

    void damagedFileIsLeftIntact_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("line");
        const QByteArray key = "REGEDIT4\n[HKEY_CURRENT_USER\\Kronvik]\n";
        QTest::newRow("no header") << QByteArray("[HKEY_CURRENT_USER\\Kronvik]\n") << 1;
        QTest::newRow("newer format") << QByteArray("Windows Registry Editor Version 5.00\n") << 1;
        const QString newer = QStringLiteral("\uFEFFWindows Registry Editor Version 5.00\r\n");
        QTest::newRow("newer format, UTF-16")
            << QByteArray(reinterpret_cast<const char*>(newer.utf16()), newer.size() * 2) << 1;
        QTest::newRow("unclosed text") << QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\Kronvik]\n\"A\"=\"open\n") << 4;
        QTest::newRow("bad hex") << key + "\"A\"=hex:0g\n" << 3;
        QTest::newRow("unknown escape") << key + "\"A\"=\"\\n\"\n" << 3;
        QTest::newRow("value outside a key") << QByteArray("REGEDIT4\n\"A\"=\"x\"\n") << 2;
        QTest::newRow("deletion entry") << QByteArray("REGEDIT4\n[-HKEY_CURRENT_USER\\Kronvik]\n") << 2;
        QTest::newRow("stray text") << key + "Address=x\n" << 3;
        QTest::newRow("cut short") << key + "\"A\"=hex:00,\\" << 3;
    }
    void damagedFileIsLeftIntact()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, line);
        QVERIFY(WriteFile(content));
        FileRegistry registry(m_path);
        Registry::Value value;
        QList<Registry::Value> values;
        const QList<Result> results { registry.CreateKey("Kronvik"),          registry.WriteText("Kronvik", "A", "x"),
                                      registry.DeleteKey("Kronvik"),          registry.ReadValue("Kronvik", "A", value),
                                      registry.EnumValues("Kronvik", values), registry.KeyExists("Kronvik") };
        QCOMPARE(results, QList<Result>(results.size(), Result::Failed));
        const QString error = registry.LastError();
        QVERIFY2(error.contains(m_path) && error.contains(QStringLiteral("line %1:").arg(line)), qPrintable(error));
        // The user hears of it through the store's errors, with the file, the line and what to do.
        TRegFormSaver store(registry);
        store.SetIniFileName("Kronvik");
        for (const auto& act : { std::function<void()>([&] { store.FetchText("Server", "Address", {}); }),
                                 std::function<void()>([&] { store.PutText("Server", "Address", "other"); }) }) {
            try {
                act();
                QFAIL("no error raised");
            } catch (const ERegistryException& raised) {
                const QString text = QString::fromStdString(raised.what());
                QVERIFY2(text.startsWith("Failed to create key Kronvik.\r\n\r\nThe settings file " + m_path)
                             && text.contains(QStringLiteral("line %1:").arg(line)) && text.contains("left untouched"),
                         qPrintable(text));
            }
        }
        if (content.startsWith("\xFF\xFE") || content.startsWith("Windows"))
            QVERIFY2(error.contains("REGEDIT4") && error.contains("UTF-16"), qPrintable(error));
        QCOMPARE(ReadFile(m_path), content);
        QVERIFY(TemporaryFiles().isEmpty());
    }

    void killedWriterLeavesOldOrNewFile()
    {
        const QByteArray first(20000, 'a');
        const QByteArray second = AllBytes().repeated(100);
        const auto read
            = [this](Registry::Value& v) { return FileRegistry(m_path).ReadValue("Kronvik\\Server", "Address", v); };
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
            Registry::Value during;
            const Result duringResult = read(during);
            ::kill(child, SIGKILL);
            QCOMPARE(::waitpid(child, nullptr, 0), child);

            Registry::Value after;
            QCOMPARE(duringResult, Result::Ok);
            QCOMPARE(read(after), Result::Ok);
            QVERIFY(during.data == first || during.data == second);
            QVERIFY(after.data == first || after.data == second);
            changes += after.data != previous ? 1 : 0;
            previous = after.data;
            QVERIFY(TemporaryFiles().size() <= 2);
        }
        QVERIFY2(changes > 0, "the writer never finished a write; the test proved nothing");
        QCOMPARE(registry.WriteText("Kronvik\\Server", "Address", "done"), Result::Ok);
        QVERIFY(TemporaryFiles().isEmpty());
    }

    void defaultPath_data()
    {
        QTest::addColumn<QString>("xdgConfigHome");
        QTest::addColumn<QString>("expected");
        const QString home = "/home/u/.config/kronvik/user.reg";
        QTest::newRow("set") << QString("/x/cfg") << QString("/x/cfg/kronvik/user.reg");
        QTest::newRow("unset") << QString() << home;
        QTest::newRow("empty") << QString("") << home;
        QTest::newRow("relative") << QString("cfg") << home;
    }
    void defaultPath()
    {
        QFETCH(QString, xdgConfigHome);
        QTEST(DefaultRegistryPath(xdgConfigHome, "/home/u"), "expected");
    }
};

QTEST_GUILESS_MAIN(FileRegistryTest)
#include "FileRegistryTest.moc"
