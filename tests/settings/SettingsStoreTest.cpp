#include "app/Errors.h"
#include "app/PasswordScrambler.h"
#include "app/RegFormSaver.h"
#include "tests/fakes/FakeRegistry.h"

#include <QTest>

#include <functional>

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void storedIntegers_data();
    void storedIntegers();
    void numbersComeFromTheStore();
    void firstStartGivesDefaultsAndCreatesTheKey();
    void textsAreUtf8WithoutTerminator();
    void textEndsAtZeroByteButBytesDoNot();
    void expandableTextIsText();
    void sectionTexts_data();
    void sectionTexts();
    void dropSectionRemovesEverythingBelow();
    void failures_data();
    void failures();
    void keyName_data();
    void keyName();
    void iniFileNameNamesTheKey();
    void scrambleRoundTripsEveryByteAtEveryPosition();
    void scrambledFormIsStable();
};

void SettingsStoreTest::storedIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    // The default is 42 throughout, so a result of 42 means "not an integer".
    QTest::newRow("decimal") << "7" << 7;
    QTest::newRow("negative") << "-5" << -5;
    QTest::newRow("plus sign") << "+5" << 5;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("lowest") << "-2147483648" << std::numeric_limits<int>::min();
    QTest::newRow("highest") << "2147483647" << std::numeric_limits<int>::max();
    QTest::newRow("above 32 bits") << "99999999999" << 42;
    QTest::newRow("just above") << "2147483648" << 42;
    QTest::newRow("just below") << "-2147483649" << 42;
    QTest::newRow("hex 0x1") << "0x1" << 1;
    QTest::newRow("hex upper prefix") << "0X1F" << 31;
    QTest::newRow("hex digits any case") << "0xaB" << 171;
    QTest::newRow("hex all ones") << "0xFFFFFFFF" << -1;
    QTest::newRow("hex leading zeros") << "0x000000001" << 1;
    QTest::newRow("hex above 32 bits") << "0x100000000" << 42;
    QTest::newRow("prefix alone") << "0x" << 42;
    QTest::newRow("hex with sign") << "0x-5" << 42;
    QTest::newRow("hex repeated prefix") << "0x0x5" << 42;
    QTest::newRow("hex bad digit") << "0xg" << 42;
    QTest::newRow("letters") << "abc" << 42;
    QTest::newRow("empty") << "" << 42;
    QTest::newRow("sign alone") << "-" << 42;
    QTest::newRow("leading blank") << " 5" << 42;
    QTest::newRow("trailing blank") << "5 " << 42;
    QTest::newRow("fraction") << "2.5" << 42;
    QTest::newRow("dollar hex") << "$10" << 42;
    QTest::newRow("arabic-indic digit") << QStringLiteral("\u0665") << 42;
}

void SettingsStoreTest::storedIntegers()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(StoredTextToInt(text, 42), expected);
}

void SettingsStoreTest::numbersComeFromTheStore()
{
    FakeRegistry registry;
    TRegFormSaver store(registry);
    registry.SetValue("Kronvik\\Server", "TimeMode", Registry::RegSz, "0x1");
    registry.SetValue("Kronvik\\Server", "DetectMode", Registry::RegSz, "abc");
    QCOMPARE(store.FetchNumber("Server", "TimeMode", 0), 1);
    QCOMPARE(store.FetchNumber("Server", "DetectMode", 3), 3);
    QCOMPARE(store.FetchNumber("Server", "Missing", -7), -7);

    store.PutNumber("Position", "TSetupForm_Left", -8);
    QCOMPARE(registry.Writes().last().data, QByteArray("-8"));
    QCOMPARE(store.FetchNumber("Position", "TSetupForm_Left", 0), -8);
}

void SettingsStoreTest::firstStartGivesDefaultsAndCreatesTheKey()
{
    FakeRegistry registry;
    TRegFormSaver store(registry);
    QStringList list { "left over" };

    QCOMPARE(store.FetchText("Server", "Address", "none"), QString("none"));
    QCOMPARE(store.FetchNumber("Server", "TimeMode", 0), 0);
    QCOMPARE(store.FetchText("EmailVfy", "EmailClient", "C:\\"), QString("C:\\"));
    QCOMPARE(store.FetchBytes("EmailVfy", "Password", "x"), QByteArray("x"));
    store.FetchSectionTexts("AppLauncher", list, true);

    QVERIFY(list.isEmpty());
    QCOMPARE(registry.Keys(), QStringList { "Kronvik" });
    QVERIFY(registry.Writes().isEmpty());
}

void SettingsStoreTest::textsAreUtf8WithoutTerminator()
{
    FakeRegistry registry;
    TRegFormSaver store(registry);
    store.PutText("Server", "Address", QStringLiteral("zürich.example"));

    QCOMPARE(registry.Writes().size(), 1);
    QCOMPARE(registry.Writes()[0].key, QString("Kronvik\\Server"));
    QCOMPARE(registry.Writes()[0].data, QByteArray("z\xC3\xBCrich.example"));
    QCOMPARE(store.FetchText("server", "ADDRESS", {}), QStringLiteral("zürich.example"));
}

void SettingsStoreTest::textEndsAtZeroByteButBytesDoNot()
{
    FakeRegistry registry;
    TRegFormSaver store(registry);
    const QByteArray data("abc\0def", 7);
    store.PutBytes("EmailVfy", "Password", data);

    QCOMPARE(store.FetchText("EmailVfy", "Password", {}), QString("abc"));
    QCOMPARE(store.FetchBytes("EmailVfy", "Password", {}), data);
}

void SettingsStoreTest::expandableTextIsText()
{
    FakeRegistry registry;
    TRegFormSaver store(registry);
    registry.SetValue("Kronvik\\EmailVfy", "EmailClient", Registry::RegExpandSz, "%HOME%/mail");
    QCOMPARE(store.FetchText("EmailVfy", "EmailClient", {}), QString("%HOME%/mail"));
}

void SettingsStoreTest::sectionTexts_data()
{
    QTest::addColumn<bool>("valuesOnly");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("values only") << true << QStringList { "/usr/bin/a", "/opt/b=c", "/usr/bin/z" };
    QTest::newRow("name=text") << false << QStringList { "App0=/usr/bin/a", "App2=/opt/b=c", "x=y=/usr/bin/z" };
}

void SettingsStoreTest::sectionTexts()
{
    QFETCH(bool, valuesOnly);
    QFETCH(QStringList, expected);
    FakeRegistry registry;
    TRegFormSaver store(registry);
    registry.SetValue("Kronvik\\AppLauncher", "App0", Registry::RegSz, "/usr/bin/a");
    registry.SetValue("Kronvik\\AppLauncher", "App1", Registry::RegSz, "");
    registry.SetValue("Kronvik\\AppLauncher", "App2", Registry::RegSz, "/opt/b=c");
    registry.SetValue("Kronvik\\AppLauncher", "App3", Registry::RegSz, QByteArray("\0hidden", 7));
    registry.SetValue("Kronvik\\AppLauncher", "x=y", Registry::RegSz, "/usr/bin/z");

    QStringList list { "stale entry" };
    store.FetchSectionTexts("AppLauncher", list, valuesOnly);
    QCOMPARE(list, expected);
}

void SettingsStoreTest::dropSectionRemovesEverythingBelow()
{
    FakeRegistry registry;
    TRegFormSaver store(registry);
    store.PutText("AppLauncher", "App0", "a");
    registry.SetValue("Kronvik\\AppLauncher\\Sub", "x", Registry::RegSz, "y");
    store.PutText("Server", "Address", "host");

    store.DropSection("appLAUNCHER");
    QCOMPARE(registry.Keys(), (QStringList { "Kronvik", "Kronvik\\Server" }));
    store.DropSection("AppLauncher");
    QStringList list;
    store.FetchSectionTexts("AppLauncher", list, true);
    QVERIFY(list.isEmpty());
}

enum class Operation
{
    PutText,
    FetchText,
    FetchNumber,
    FetchSectionTexts,
    DropSection
};

void SettingsStoreTest::failures_data()
{
    QTest::addColumn<std::function<void(FakeRegistry&)>>("arrange");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("message");

    const auto put = static_cast<int>(Operation::PutText);
    const auto fetch = static_cast<int>(Operation::FetchText);
    QTest::newRow("store key refused on read") << std::function([](FakeRegistry& r) { r.FailCreateKey("Kronvik"); })
                                               << fetch << "Failed to create key Kronvik";
    QTest::newRow("section refused on write")
        << std::function([](FakeRegistry& r) { r.FailCreateKey("Kronvik\\Server"); }) << put
        << "Failed to create key Server";
    QTest::newRow("write refused") << std::function([](FakeRegistry& r) { r.SetFailWrites(true); }) << put
                                   << "Failed to set data for 'Address'";
    QTest::newRow("read refused") << std::function([](FakeRegistry& r) { r.SetFailReads(true); }) << fetch
                                  << "Failed to get data for 'Address'";
    QTest::newRow("enumeration refused") << std::function([](FakeRegistry& r) { r.SetFailReads(true); })
                                         << static_cast<int>(Operation::FetchSectionTexts)
                                         << "Failed to get data for 'AppLauncher'";
    QTest::newRow("delete refused") << std::function([](FakeRegistry& r) { r.SetFailDeletes(true); })
                                    << static_cast<int>(Operation::DropSection)
                                    << "Failed to set data for 'AppLauncher'";
    QTest::newRow("dword read as text") << std::function([](FakeRegistry& r) {
        r.SetValue("Kronvik\\Server", "Address", Registry::RegDword, "1234");
    }) << fetch << "Invalid data type for 'Address'";
    QTest::newRow("dword read as number")
        << std::function([](FakeRegistry& r) { r.SetValue("Kronvik\\Server", "TimeMode", Registry::RegDword, "1234"); })
        << static_cast<int>(Operation::FetchNumber) << "Invalid data type for 'TimeMode'";
    QTest::newRow("binary in the launcher list") << std::function([](FakeRegistry& r) {
        r.SetValue("Kronvik\\AppLauncher", "App0", Registry::RegSz, "a");
        r.SetValue("Kronvik\\AppLauncher", "App1", Registry::RegBinary, "b");
    }) << static_cast<int>(Operation::FetchSectionTexts)
                                                 << "Invalid data type for 'App1'";
}

void SettingsStoreTest::failures()
{
    QFETCH(std::function<void(FakeRegistry&)>, arrange);
    QFETCH(int, operation);
    QFETCH(QString, message);
    FakeRegistry registry;
    TRegFormSaver store(registry);
    arrange(registry);

    QStringList list { "kept" };
    try {
        switch (static_cast<Operation>(operation)) {
        case Operation::PutText:
            store.PutText("Server", "Address", "host");
            break;
        case Operation::FetchText:
            store.FetchText("Server", "Address", {});
            break;
        case Operation::FetchNumber:
            store.FetchNumber("Server", "TimeMode", 0);
            break;
        case Operation::FetchSectionTexts:
            store.FetchSectionTexts("AppLauncher", list, true);
            break;
        case Operation::DropSection:
            store.DropSection("AppLauncher");
            break;
        }
        QFAIL("no error raised");
    } catch (const ERegistryException& error) {
        QCOMPARE(QString::fromStdString(error.what()), message);
    }
    QCOMPARE(list, QStringList { "kept" });
}

void SettingsStoreTest::keyName_data()
{
    QTest::addColumn<QString>("iniFileName");
    QTest::addColumn<QString>("key");
    QTest::newRow("plain") << "Kronvik"
                           << "Kronvik";
    QTest::newRow("extension") << "Kronvik.ini"
                               << "Kronvik";
    QTest::newRow("last extension only") << "kron.vik.ini"
                                         << "kron.vik";
    QTest::newRow("windows folder") << "C:\\Data\\Kronvik.ini"
                                    << "Kronvik";
    QTest::newRow("unix folder") << "/etc/Kronvik"
                                 << "Kronvik";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("nothing left") << ".ini"
                                  << "";
}

void SettingsStoreTest::keyName()
{
    QFETCH(QString, iniFileName);
    QFETCH(QString, key);
    QCOMPARE(StoreKeyName(iniFileName), key);
}

void SettingsStoreTest::iniFileNameNamesTheKey()
{
    FakeRegistry registry;
    TRegFormSaver store(registry);
    QCOMPARE(store.IniFileName(), QString("Kronvik"));
    store.SetIniFileName("Other.ini");
    store.PutText("Server", "Address", "host");
    QCOMPARE(registry.Writes().last().key, QString("Other\\Server"));
    store.SetIniFileName("");
    store.PutText("Server", "Address", "host");
    QCOMPARE(registry.Writes().last().key, QString("settings_store_test\\Server"));
}

void SettingsStoreTest::scrambleRoundTripsEveryByteAtEveryPosition()
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
}

void SettingsStoreTest::scrambledFormIsStable()
{
    // Stored passwords depend on this exact form; a change would make them unreadable.
    QCOMPARE(ScramblePassword("abc"), QByteArray("\xAD\xAF\xB1"));
    QCOMPARE(ScramblePassword(QByteArray(1, '\xB4')), QByteArray(1, '\0'));
}

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
