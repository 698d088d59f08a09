#include "mail/StatReply.h"

#include <QTest>

// The count and size read from a STAT reply, and the replies that must end a check instead.
class StatReplyTest final : public QObject
{
    Q_OBJECT

private slots:
    void figures_data();
    void figures();
};

void StatReplyTest::figures_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("octets");

    QTest::newRow("count and size") << "+OK 2 320\r\n" << true << 2 << 320;
    QTest::newRow("empty mailbox, no line end") << "+OK 0 0" << true << 0 << 0;
    QTest::newRow("two blanks: no size") << "+OK 2  320\r\n" << true << 2 << 0;
    QTest::newRow("count digits to the end: nothing") << "+OK 2" << true << 0 << 0;
    QTest::newRow("shorter than a count") << "+OK" << true << 0 << 0;
    QTest::newRow("size digits to the end") << "+OK 12 345" << true << 12 << 345;
    QTest::newRow("text after the size") << "+OK 2 320 messages\r\n" << true << 2 << 320;
    QTest::newRow("letters for the size") << "+OK 2 many\r\n" << true << 2 << 0;
    QTest::newRow("any separator after +OK") << "+OK\t3\t4\r\n" << true << 3 << 4;
    QTest::newRow("leading zeros") << "+OK 0000000000000000000007 0000000000008\r\n" << true << 7 << 8;
    QTest::newRow("largest figures") << "+OK 2147483647 2147483647\r\n" << true << 2147483647 << 2147483647;
    QTest::newRow("letters for the count") << "+OK two 320\r\n" << false << 0 << 0;
    QTest::newRow("no numbers") << "+OK\r\n" << false << 0 << 0;
    QTest::newRow("blank where the count goes") << "+OK  2 320\r\n" << false << 0 << 0;
    QTest::newRow("a sign is no digit") << "+OK -1 320\r\n" << false << 0 << 0;
    QTest::newRow("other scripts' digits are none") << QStringLiteral("+OK \u0663 320\r\n") << false << 0 << 0;
    QTest::newRow("count past 32 bits") << "+OK 2147483648 1\r\n" << false << 0 << 0;
    QTest::newRow("size past 32 bits") << "+OK 1 2147483648\r\n" << false << 0 << 0;
    QTest::newRow("size far past 64 bits") << "+OK 1 " + QString(40, QLatin1Char('9')) + "\r\n" << false << 0 << 0;
}

void StatReplyTest::figures()
{
    QFETCH(QString, reply);
    QFETCH(bool, readable);
    QFETCH(int, count);
    QFETCH(int, octets);

    const std::optional<StatFigures> figures = ParseStatReply(reply);
    QCOMPARE(figures.has_value(), readable);
    if (!figures)
        return;
    QCOMPARE(figures->MessageCount, count);
    QCOMPARE(figures->MessageOctets, octets);
}

QTEST_GUILESS_MAIN(StatReplyTest)
#include "StatReplyTest.moc"
