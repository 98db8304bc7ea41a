// Reading the replies to the status queries, from the bytes and through the core.
#include "Rig.h"
#include "commands/Names.h"
#include "status/Decode.h"
#include "status/ReplyValue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class TestStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replies_data();
    void replies();
    void readingFollowsTheLastSend();
    void values_data();
    void values();
};

namespace {

const QByteArray kStatus("CR0\r");
const QByteArray kMode("CR1\r");
const QByteArray kLampTime("CR3\r");
const QByteArray kSetting("CR4\r");
const QByteArray kTemp("CR6\r");
const QString kBefore = QStringLiteral(" earlier words");

} // namespace

void TestStatus::replies_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    // The same codes mean other things to other queries.
    QTest::newRow("status 00") << kStatus << QByteArray("00\r") << kBefore << QStringLiteral(" Power ON");
    QTest::newRow("setting 00") << kSetting << QByteArray("00\r") << kBefore
                                << QStringLiteral(" Top/Bottom , Left/Right reversal");
    QTest::newRow("status 10") << kStatus << QByteArray("10\r") << kBefore << QStringLiteral(" Power abnormality");
    QTest::newRow("setting 10") << kSetting << QByteArray("10\r") << kBefore << QStringLiteral(" Top/Bottom reversal");
    QTest::newRow("status 28") << kStatus << QByteArray("28\r") << kBefore
                               << QStringLiteral(" Temperature abnormality");
    QTest::newRow("status 02") << kStatus << QByteArray("02\r") << kBefore << QStringLiteral(" Key input prohibition");

    // The code alone is enough; the closing carriage return is never looked for.
    QTest::newRow("status without its CR") << kStatus << QByteArray("80") << kBefore << QStringLiteral(" Stand by");
    QTest::newRow("status code unknown") << kStatus << QByteArray("81\r") << kBefore << kBefore;
    QTest::newRow("status first half") << kStatus << QByteArray("0") << kBefore << kBefore;
    QTest::newRow("setting code unknown") << kSetting << QByteArray("22\r") << kBefore << kBefore;
    QTest::newRow("status lower-case hex") << kStatus << QByteArray("0a\r") << kBefore << kBefore;

    QTest::newRow("mode 1") << kMode << QByteArray("1\r") << kBefore << QStringLiteral(" Computer");
    QTest::newRow("mode 3") << kMode << QByteArray("3\r") << kBefore << QStringLiteral(" Video");
    QTest::newRow("mode 10") << kMode << QByteArray("10\r") << kBefore << QStringLiteral(" Computer");
    QTest::newRow("mode 2") << kMode << QByteArray("2\r") << kBefore << kBefore;

    QTest::newRow("temp A to Q") << kTemp << QByteArray("ABCDEFGHIJKLMNOPQ\r") << kBefore
                                 << QStringLiteral("  S1= A B C D E C ,  S2= H I J K C ,  S3=M N O P Q C");
    QTest::newRow("temp, nothing past Q is read")
        << kTemp << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ\r") << kBefore
        << QStringLiteral("  S1= A B C D E C ,  S2= H I J K C ,  S3=M N O P Q C");
    QTest::newRow("temp short") << kTemp << QByteArray("25\r") << kBefore
                                << QStringLiteral("  S1= 2 5 CR  C ,  S2= C ,  S3= C");
    QTest::newRow("temp with a control byte")
        << kTemp << QByteArray("2\t5\r") << kBefore << QStringLiteral("  S1= 2 ? 5 CR  C ,  S2= C ,  S3= C");

    QTest::newRow("l-time whole") << kLampTime << QByteArray("0123\r") << kBefore << QStringLiteral(" 0 1 2 3 Hour");
    QTest::newRow("l-time two so far") << kLampTime << QByteArray("01") << kBefore << QStringLiteral(" 0 1  Hour");
    QTest::newRow("l-time leading spaces kept")
        << kLampTime << QByteArray("  07\r") << kBefore << QStringLiteral("     0 7 Hour");

    // ACK renders four wide and shifts everything after it.
    // clang-format off
    QTest::newRow("status after ack") << kStatus << QByteArray("\x06" "00\r") << kBefore << kBefore;
    QTest::newRow("l-time after ack") << kLampTime << QByteArray("\x06" "12\r") << kBefore
                                      << QStringLiteral(" ACK 1 2 Hour");

    // Data still in the buffer comes first and is what gets read.
    QTest::newRow("status behind old 8") << kStatus << QByteArray("8" "00\r") << kBefore << QStringLiteral(" Stand by");
    QTest::newRow("status behind old CR") << kStatus << QByteArray("\r" "00\r") << kBefore << kBefore;
    QTest::newRow("l-time behind old 9") << kLampTime << QByteArray("9" "0123\r") << kBefore
                                         << QStringLiteral(" 9 0 1 2 Hour");
    QTest::newRow("mode behind old 3") << kMode << QByteArray("3" "1\r") << kBefore << QStringLiteral(" Video");
    // clang-format on

    // Only a query, exactly as sent, chooses a reading.
    QTest::newRow("after power on") << QByteArray("C00\r") << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("after volume up") << QByteArray("C09\r") << QByteArray("0123\r") << kBefore << kBefore;
    QTest::newRow("nothing sent yet") << QByteArray() << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("status query without CR") << QByteArray("CR0") << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("status query lower case") << QByteArray("cr0\r") << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("l-time query with LF") << QByteArray("CR3\r\n") << QByteArray("0123\r") << kBefore << kBefore;
    QTest::newRow("query behind a space") << QByteArray(" CR0\r") << QByteArray("00\r") << kBefore << kBefore;
}

void TestStatus::replies()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, received);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QCOMPARE(decodeStatus(sent, received, before), after);
}

void TestStatus::readingFollowsTheLastSend()
{
    Rig r;
    r.click("Command44");
    r.comm->receive("80\r");
    QCOMPARE(r.status.line(), QStringLiteral(" Stand by"));
    r.advance(600); // the reply time-out has emptied the buffer; the clear is still to come
    r.click("Command44");
    r.comm->receive("0");
    QCOMPARE(r.status.line(), QStringLiteral(" Stand by"));
    r.comm->receive("0\r");
    QCOMPARE(r.status.line(), QStringLiteral(" Power ON"));
    r.advance(600);
    r.click("Command17"); // not a query: its reply is not read
    r.comm->receive("80\r");
    QCOMPARE(r.status.line(), QStringLiteral(" Power ON"));
    r.advance(600);

    r.click("Command44"); // a reply after the time-out is still read
    r.advance(500);
    QCOMPARE(r.rxd, QStringLiteral(" X X X X"));
    r.advance(100);
    r.comm->receive("20\r");
    QCOMPARE(r.status.line(), QStringLiteral(" Cooling down"));
    r.advance(399);
    QCOMPARE(r.status.line(), QStringLiteral(" Cooling down"));
    r.advance(1);
    QCOMPARE(r.status.line(), QString());
}

void TestStatus::values_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("value"); // as JSON

    QTest::newRow("status in words") << "status" << QByteArray("40\r") << R"("Count down")";
    QTest::newRow("status code without words") << "status" << QByteArray("81\r") << "null";
    QTest::newRow("status without its CR") << "status" << QByteArray("00") << "null";
    // clang-format off
    QTest::newRow("status behind an ACK") << "status" << QByteArray("\x06" "00\r") << "null";
    // clang-format on
    QTest::newRow("status behind an old byte") << "status" << QByteArray("800\r") << "null";
    QTest::newRow("status with more after") << "status" << QByteArray("00\r0") << "null";
    QTest::newRow("mode in words") << "mode" << QByteArray("3\r") << R"("Video")";
    QTest::newRow("mode of two digits") << "mode" << QByteArray("10\r") << "null";
    QTest::newRow("setting in words") << "setting" << QByteArray("01\r") << R"("Left/Right reversal")";
    QTest::newRow("setting code without words") << "setting" << QByteArray("22\r") << "null";
    QTest::newRow("lamp time") << "lamp-time" << QByteArray("0042\r") << "42";
    QTest::newRow("lamp time of three digits") << "lamp-time" << QByteArray("042\r") << "null";
    QTest::newRow("lamp time of five digits") << "lamp-time" << QByteArray("00042\r") << "null";
    QTest::newRow("lamp time with a space") << "lamp-time" << QByteArray(" 042\r") << "null";
    QTest::newRow("temperatures") << "temp" << QByteArray("+25.0 +30.5 -02.5\r") << "[25,30.5,-2.5]";
    QTest::newRow("temperatures whole") << "temp" << QByteArray("+25 -1 +100\r") << "[25,-1,100]";
    QTest::newRow("temperature unsigned") << "temp" << QByteArray("+25.0 30.5 +27.0\r") << "null";
    QTest::newRow("temperatures two") << "temp" << QByteArray("+25.0 +30.5\r") << "null";
    QTest::newRow("temperatures four") << "temp" << QByteArray("+25.0 +30.5 +27.0 +27.0\r") << "null";
    QTest::newRow("temperatures two spaces") << "temp" << QByteArray("+25.0  +30.5 +27.0\r") << "null";
    QTest::newRow("temperature a point alone") << "temp" << QByteArray("+25. +30.5 +27.0\r") << "null";
    QTest::newRow("temperatures without CR") << "temp" << QByteArray("+25.0 +30.5 +27.0") << "null";
    QTest::newRow("nothing") << "temp" << QByteArray() << "null";
}

void TestStatus::values()
{
    QFETCH(QString, query);
    QFETCH(QByteArray, received);
    QFETCH(QString, value);
    const QJsonValue found = replyValue(*vocabulary::findName(query)->query, received);
    QCOMPARE(QString::fromUtf8(QJsonDocument(QJsonArray{found}).toJson(QJsonDocument::Compact)), "[" + value + "]");
}

QTEST_GUILESS_MAIN(TestStatus)
#include "tst_status.moc"
