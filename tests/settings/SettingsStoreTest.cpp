#include "app/PasswordScrambler.h"
#include "app/RegFormSaver.h"
#include "base/Errors.h"
#include "tests/fakes/FakeRegistry.h"

#include <QTest>

#include <functional>

using Arrange = std::function<void(FakeRegistry&)>;
using Act = std::function<void(TRegFormSaver&, QStringList&)>;

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void storedIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        // The default is 42 throughout, so a result of 42 means "not an integer".
        const auto row
            = [](const char* text, int expected) { QTest::addRow("\"%s\"", text) << QString(text) << expected; };
        row("7", 7);
        row("-5", -5);
        row("+5", 5);
        row("-2147483648", std::numeric_limits<int>::min());
        row("2147483647", std::numeric_limits<int>::max());
        row("0x1", 1);
        row("0XaB", 171);
        row("0xFFFFFFFF", -1);
        row("0x000000001", 1);
        for (const char* text : { "2147483648", "-2147483649", "0x100000000", "0x", "0x-5", "0x0x5", "0xg", "abc", "",
                                  "-", " 5", "5 ", "2.5", "$10" })
            row(text, 42);
        QTest::newRow("arabic-indic digit") << QStringLiteral("\u0665") << 42;
    }
    void storedIntegers()
    {
        QFETCH(QString, text);
        QTEST(StoredTextToInt(text, 42), "expected");
    }

    void valuesThroughTheStore()
    {
        FakeRegistry registry;
        TRegFormSaver store(registry);
        store.SetIniFileName("Kronvik");
        // First start: defaults, and nothing but the store's own key is created.
        QStringList list { "left over" };
        QCOMPARE(store.FetchText("Server", "Address", "none"), QString("none"));
        QCOMPARE(store.FetchNumber("Server", "TimeMode", -7), -7);
        QCOMPARE(store.FetchBytes("EmailVfy", "Password", "x"), QByteArray("x"));
        store.FetchSectionTexts("AppLauncher", list, true);
        QVERIFY(list.isEmpty());
        QCOMPARE(registry.Keys(), QStringList { "Kronvik" });
        QVERIFY(registry.Writes().isEmpty());

        store.PutText("Server", "Address", QStringLiteral("zürich.example"));
        QCOMPARE(registry.Writes().size(), 1);
        QCOMPARE(registry.Writes()[0].key, QString("Kronvik\\Server"));
        QCOMPARE(registry.Writes()[0].data, QByteArray("z\xC3\xBCrich.example")); // UTF-8, no terminator
        QCOMPARE(store.FetchText("server", "ADDRESS", {}), QStringLiteral("zürich.example"));

        store.PutNumber("Position", "TSetupForm_Left", -8);
        QCOMPARE(registry.Writes().last().data, QByteArray("-8"));
        registry.SetValue("Kronvik\\Server", "TimeMode", Registry::RegSz, "0x1");
        registry.SetValue("Kronvik\\Server", "DetectMode", Registry::RegSz, "abc");
        QCOMPARE(store.FetchNumber("Server", "TimeMode", 0), 1);
        QCOMPARE(store.FetchNumber("Server", "DetectMode", 3), 3);

        // Text ends at a zero byte; bytes keep it.
        const QByteArray data("abc\0def", 7);
        store.PutBytes("EmailVfy", "Password", data);
        QCOMPARE(store.FetchText("EmailVfy", "Password", {}), QString("abc"));
        QCOMPARE(store.FetchBytes("EmailVfy", "Password", {}), data);

        registry.SetValue("Kronvik\\EmailVfy", "EmailClient", Registry::RegExpandSz, "%HOME%/mail");
        QCOMPARE(store.FetchText("EmailVfy", "EmailClient", {}), QString("%HOME%/mail"));

        // The ini file name names the key; without one, the program's own name does.
        store.SetIniFileName("Other.ini");
        store.PutText("Server", "Address", "host");
        QCOMPARE(registry.Writes().last().key, QString("Other\\Server"));
        store.SetIniFileName("");
        store.PutText("Server", "Address", "host");
        QCOMPARE(registry.Writes().last().key, QString("settings_store_test\\Server"));
    }

    void sectionTexts_data()
    {
        QTest::addColumn<bool>("valuesOnly");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("values only") << true << QStringList { "/usr/bin/a", "/opt/b=c", "/usr/bin/z" };
        QTest::newRow("name=text") << false << QStringList { "App0=/usr/bin/a", "App2=/opt/b=c", "x=y=/usr/bin/z" };
    }
    void sectionTexts()
    {
        QFETCH(bool, valuesOnly);
        FakeRegistry registry;
        TRegFormSaver store(registry);
        store.SetIniFileName("Kronvik");
        const QString key = "Kronvik\\AppLauncher";
        registry.SetValue(key, "App0", Registry::RegSz, "/usr/bin/a");
        registry.SetValue(key, "App1", Registry::RegSz, "");
        registry.SetValue(key, "App2", Registry::RegSz, "/opt/b=c");
        registry.SetValue(key, "App3", Registry::RegSz, QByteArray("\0hidden", 7));
        registry.SetValue(key, "x=y", Registry::RegSz, "/usr/bin/z");
        registry.SetValue(key + "\\Sub", "x", Registry::RegSz, "y");
        QStringList list { "stale entry" };
        store.FetchSectionTexts("AppLauncher", list, valuesOnly);
        QTEST(list, "expected");

        store.PutText("Server", "Address", "host");
        store.DropSection("appLAUNCHER");
        QCOMPARE(registry.Keys(), (QStringList { "Kronvik", "Kronvik\\Server" }));
        store.DropSection("AppLauncher"); // already gone: no error
    }

    void failures_data()
    {
        QTest::addColumn<Arrange>("arrange");
        QTest::addColumn<Act>("act");
        QTest::addColumn<QString>("message");
        const Act put = [](TRegFormSaver& s, QStringList&) { s.PutText("Server", "Address", "host"); };
        const Act fetch = [](TRegFormSaver& s, QStringList&) { s.FetchText("Server", "Address", {}); };
        const Act list = [](TRegFormSaver& s, QStringList& l) { s.FetchSectionTexts("AppLauncher", l, true); };
        const Act drop = [](TRegFormSaver& s, QStringList&) { s.DropSection("AppLauncher"); };
        const Act number = [](TRegFormSaver& s, QStringList&) { s.FetchNumber("Server", "TimeMode", 0); };
        const auto refuse
            = [](void (FakeRegistry::*set)(bool)) { return Arrange([=](FakeRegistry& r) { (r.*set)(true); }); };
        const auto refuseKey = [](const char* key) { return Arrange([=](FakeRegistry& r) { r.FailCreateKey(key); }); };
        const auto stored = [](const char* key, const char* name, std::uint32_t type) {
            return Arrange([=](FakeRegistry& r) { r.SetValue(key, name, type, "1234"); });
        };
        // The store's sentence first; what the store itself says of a failure after it.
        const auto row = [](const Arrange& arrange, const Act& act, const char* message, const char* why = nullptr) {
            QString text = QString::fromLatin1(message);
            if (why)
                text += QStringLiteral(".\r\n\r\n") + QString::fromLatin1(why);
            QTest::newRow(message) << arrange << act << text;
        };
        row(refuseKey("Kronvik"), fetch, "Failed to create key Kronvik", "creating Kronvik refused");
        row(refuseKey("Kronvik\\Server"), put, "Failed to create key Server", "creating Kronvik\\Server refused");
        row(refuse(&FakeRegistry::SetFailWrites), put, "Failed to set data for 'Address'", "writing refused");
        row(refuse(&FakeRegistry::SetFailReads), fetch, "Failed to get data for 'Address'", "reading refused");
        row(refuse(&FakeRegistry::SetFailReads), list, "Failed to get data for 'AppLauncher'", "reading refused");
        row(refuse(&FakeRegistry::SetFailDeletes), drop, "Failed to set data for 'AppLauncher'", "deleting refused");
        row(stored("Kronvik\\Server", "Address", Registry::RegDword), fetch, "Invalid data type for 'Address'");
        row(stored("Kronvik\\Server", "TimeMode", Registry::RegDword), number, "Invalid data type for 'TimeMode'");
        row(stored("Kronvik\\AppLauncher", "App1", Registry::RegBinary), list, "Invalid data type for 'App1'");
    }
    void failures()
    {
        QFETCH(Arrange, arrange);
        QFETCH(Act, act);
        FakeRegistry registry;
        TRegFormSaver store(registry);
        store.SetIniFileName("Kronvik");
        registry.SetValue("Kronvik\\AppLauncher", "App0", Registry::RegSz, "a");
        arrange(registry);
        QStringList list { "kept" };
        try {
            act(store, list);
            QFAIL("no error raised");
        } catch (const ERegistryException& error) {
            QTEST(QString::fromStdString(error.what()), "message");
        }
        QCOMPARE(list, QStringList { "kept" });
    }

    void keyName_data()
    {
        QTest::addColumn<QString>("iniFileName");
        QTest::addColumn<QString>("key");
        for (const char* name : { "Kronvik", "Kronvik.ini", "C:\\Data\\Kronvik.ini", "/etc/Kronvik" })
            QTest::addRow("%s", name) << QString(name) << QString("Kronvik");
        QTest::newRow("last extension only") << QString("kron.vik.ini") << QString("kron.vik");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("nothing left") << QString(".ini") << QString();
    }
    void keyName()
    {
        QFETCH(QString, iniFileName);
        QTEST(StoreKeyName(iniFileName), "key");
    }

    void scrambling()
    {
        for (int shift = 0; shift < 256; ++shift) {
            QByteArray password(300, '\0');
            for (int i = 0; i < password.size(); ++i)
                password[i] = static_cast<char>((i + shift) & 0xFF);
            const QByteArray scrambled = ScramblePassword(password);
            QCOMPARE(scrambled.size(), password.size());
            QCOMPARE(UnscramblePassword(scrambled), password);
        }
        QCOMPARE(ScramblePassword({}), QByteArray());
        // Stored passwords depend on this exact form; a change would make them unreadable.
        QCOMPARE(ScramblePassword("abc"), QByteArray("\xAD\xAF\xB1"));
        QCOMPARE(ScramblePassword(QByteArray(1, '\xB4')), QByteArray(1, '\0'));
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
