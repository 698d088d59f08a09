#include "components/IconList.h"

#include "base/Errors.h"
#include "components/IconFile.h"

#include <QFile>
#include <QPixmap>
#include <QTest>
#include <QtEndian>

// The icon list's stored form and the icon files inside it: the program's own frames, and data
// that is cut short or is no icon.
class IconListTest final : public QObject
{
    Q_OBJECT

private slots:
    void programFramesLoad();
    void storedFormOddities_data();
    void storedFormOddities();
    void iconFilesThatCannotBeRead_data();
    void iconFilesThatCannotBeRead();
    void updateBracketReportsOnce();
};

namespace {

QByteArray Int32(std::int32_t value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray Resource()
{
    QFile file(QStringLiteral(":/kronvik/RxTrayIcon1.Icons"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first icon file of the program's frames.
QByteArray FirstFrameFile()
{
    return Resource().mid(8, 766);
}

} // namespace

void IconListTest::programFramesLoad()
{
    const QByteArray stored = Resource();
    QCOMPARE(stored.size(), 2314);
    TIconList frames;
    frames.ReadData(stored);
    QCOMPARE(frames.Count(), 3);
    QList<QImage> pictures;
    for (int i = 0; i < frames.Count(); ++i) {
        QCOMPARE(qFromLittleEndian<std::int32_t>(stored.constData() + 4 + i * 770), 766);
        const QImage picture = ReadIconFile(stored.mid(8 + i * 770, 766));
        QCOMPARE(picture.size(), QSize(32, 32));
        QVERIFY(!frames.Items(i).isNull());
        // A picture with a see-through background, not a filled square.
        QCOMPARE(picture.pixelColor(0, 0).alpha(), 0);
        int opaque = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                opaque += picture.pixelColor(x, y).alpha() == 255 ? 1 : 0;
        QVERIFY(opaque > 200);
        for (const QImage& other : pictures)
            QVERIFY(picture != other);
        pictures << picture;
    }
}

void IconListTest::storedFormOddities_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("expectedCount"); // -1: a read error
    QTest::addColumn<QList<bool>>("expectedEmpty");

    const QByteArray icon = FirstFrameFile();
    QTest::newRow("empty and negative sizes are empty entries")
        << Int32(3) + Int32(0) + Int32(766) + icon + Int32(-5) << 3 << QList<bool> { true, false, true };
    QTest::newRow("bytes that are no icon: an empty entry")
        << Int32(1) + Int32(4) + QByteArray("junk") << 1 << QList<bool> { true };
    QTest::newRow("no count") << QByteArray("\x01\x00", 2) << -1 << QList<bool> {};
    QTest::newRow("negative count") << Int32(-1) << -1 << QList<bool> {};
    QTest::newRow("a size missing") << Int32(2) + Int32(766) + icon << -1 << QList<bool> {};
    QTest::newRow("a size past the end") << Int32(1) + Int32(767) + icon << -1 << QList<bool> {};
    QTest::newRow("a huge size") << Int32(1) + Int32(0x7FFFFFFF) + icon << -1 << QList<bool> {};
}

void IconListTest::storedFormOddities()
{
    QFETCH(QByteArray, data);
    QFETCH(int, expectedCount);
    QFETCH(QList<bool>, expectedEmpty);

    TIconList list;
    list.Add(QIcon());
    int changes = 0;
    list.OnChange = [&changes] { ++changes; };
    if (expectedCount < 0) {
        QVERIFY_THROWS_EXCEPTION(EReadError, list.ReadData(data));
        QCOMPARE(list.Count(), 1); // unchanged
        QCOMPARE(changes, 0);
        return;
    }
    list.ReadData(data);
    QCOMPARE(list.Count(), expectedCount);
    for (int i = 0; i < expectedCount; ++i)
        QCOMPARE(list.Items(i).isNull(), expectedEmpty[i]);
    QCOMPARE(changes, 1);
}

void IconListTest::iconFilesThatCannotBeRead_data()
{
    QTest::addColumn<QByteArray>("file");

    const QByteArray good = FirstFrameFile();
    const auto patched
        = [&good](int offset, QByteArray bytes) { return QByteArray(good).replace(offset, bytes.size(), bytes); };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("a cursor, not an icon") << patched(2, Int32(2).left(2));
    QTest::newRow("no picture") << patched(4, QByteArray(2, '\0'));
    QTest::newRow("image beyond the data") << patched(18, Int32(100));
    QTest::newRow("image longer than the data") << patched(14, Int32(745));
    QTest::newRow("true colour") << patched(22 + 14, QByteArray("\x18\x00", 2));
    QTest::newRow("compressed") << patched(22 + 16, Int32(2));
    QTest::newRow("odd bitmap height") << patched(22 + 8, Int32(63));
    QTest::newRow("wider than the rows stored") << patched(22 + 4, Int32(64));
    QTest::newRow("more colours than the depth allows") << patched(22 + 32, Int32(17));
    QTest::newRow("cut inside the mask") << good.left(700);
}

void IconListTest::iconFilesThatCannotBeRead()
{
    QFETCH(QByteArray, file);
    QVERIFY(!ReadIconFile(FirstFrameFile()).isNull());
    QVERIFY(ReadIconFile(file).isNull());
}

void IconListTest::updateBracketReportsOnce()
{
    TIconList list;
    int changes = 0;
    list.OnChange = [&changes] { ++changes; };
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add(QIcon());
    list.Add(QIcon());
    list.EndUpdate();
    QCOMPARE(changes, 0);
    list.EndUpdate();
    QCOMPARE(changes, 1);
    list.BeginUpdate();
    list.EndUpdate();
    QCOMPARE(changes, 1); // nothing changed inside
    list.Clear();
    QCOMPARE(changes, 2);
}

QTEST_MAIN(IconListTest)
#include "IconListTest.moc"
