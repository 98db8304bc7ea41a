// Reading the replies to the status queries, from the bytes and through the core.
#include "Rig.h"
#include "status/Decode.h"

#include <QTest>

class TestStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replies_data();
    void replies();
    void readingFollowsTheLastSend();
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
    QTest::addColumn<QString>("after"); // the status line after it, from kBefore

    // Every word the decoder has, written out here: the same codes mean other things to other queries.
    using Words = QList<std::pair<const char *, const char *>>;
    const auto words = [](const char *query, const QByteArray &sent, const Words &codes) {
        for (const auto &[code, word] : codes)
            QTest::addRow("%s %s", query, code) << sent << QByteArray(code) + '\r' << QString::fromLatin1(word);
    };
    // clang-format off
    words("status", kStatus, {{"00", " Power ON"}, {"80", " Stand by"}, {"40", " Count down"}, {"20", " Cooling down"},
        {"10", " Power abnormality"}, {"88", " Temperature abnormality"}, {"08", " Temperature abnormality"},
        {"28", " Temperature abnormality"}, {"24", " Power Management Cooling"}, {"04", " Power Management"},
        {"02", " Key input prohibition"}});
    words("mode", kMode, {{"1", " Computer"}, {"3", " Video"}});
    words("setting", kSetting, {{"11", " Normally"}, {"10", " Top/Bottom reversal"}, {"01", " Left/Right reversal"},
        {"00", " Top/Bottom , Left/Right reversal"}});
    // clang-format on

    // The code alone is enough; the closing carriage return is never looked for.
    QTest::newRow("status without its CR") << kStatus << QByteArray("80") << QStringLiteral(" Stand by");
    QTest::newRow("status code unknown") << kStatus << QByteArray("81\r") << kBefore;
    QTest::newRow("status first half") << kStatus << QByteArray("0") << kBefore;
    QTest::newRow("setting code unknown") << kSetting << QByteArray("22\r") << kBefore;
    QTest::newRow("status lower-case hex") << kStatus << QByteArray("0a\r") << kBefore;
    QTest::newRow("mode 10") << kMode << QByteArray("10\r") << QStringLiteral(" Computer");
    QTest::newRow("mode 2") << kMode << QByteArray("2\r") << kBefore;

    QTest::newRow("temp A to Z, read to Q") << kTemp << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ\r")
                                            << QStringLiteral("  S1= A B C D E C ,  S2= H I J K C ,  S3=M N O P Q C");
    QTest::newRow("temp short") << kTemp << QByteArray("25\r") << QStringLiteral("  S1= 2 5 CR  C ,  S2= C ,  S3= C");
    QTest::newRow("temp with a control byte")
        << kTemp << QByteArray("2\t5\r") << QStringLiteral("  S1= 2 ? 5 CR  C ,  S2= C ,  S3= C");

    QTest::newRow("l-time whole") << kLampTime << QByteArray("0123\r") << QStringLiteral(" 0 1 2 3 Hour");
    QTest::newRow("l-time two so far") << kLampTime << QByteArray("01") << QStringLiteral(" 0 1  Hour");
    QTest::newRow("l-time leading spaces kept") << kLampTime << QByteArray("  07\r") << QStringLiteral("     0 7 Hour");

    // ACK renders four wide and shifts everything after it.
    // clang-format off
    QTest::newRow("status after ack") << kStatus << QByteArray("\x06" "00\r") << kBefore;
    QTest::newRow("l-time after ack") << kLampTime << QByteArray("\x06" "12\r") << QStringLiteral(" ACK 1 2 Hour");

    // Data still in the buffer comes first and is what gets read.
    QTest::newRow("status behind old 8") << kStatus << QByteArray("8" "00\r") << QStringLiteral(" Stand by");
    QTest::newRow("status behind old CR") << kStatus << QByteArray("\r" "00\r") << kBefore;
    QTest::newRow("l-time behind old 9") << kLampTime << QByteArray("9" "0123\r") << QStringLiteral(" 9 0 1 2 Hour");
    QTest::newRow("mode behind old 3") << kMode << QByteArray("3" "1\r") << QStringLiteral(" Video");
    // clang-format on

    // Only a query, exactly as sent, chooses a reading.
    QTest::newRow("after power on") << QByteArray("C00\r") << QByteArray("00\r") << kBefore;
    QTest::newRow("after volume up") << QByteArray("C09\r") << QByteArray("0123\r") << kBefore;
    QTest::newRow("nothing sent yet") << QByteArray() << QByteArray("00\r") << kBefore;
    QTest::newRow("status query without CR") << QByteArray("CR0") << QByteArray("00\r") << kBefore;
    QTest::newRow("status query lower case") << QByteArray("cr0\r") << QByteArray("00\r") << kBefore;
    QTest::newRow("l-time query with LF") << QByteArray("CR3\r\n") << QByteArray("0123\r") << kBefore;
    QTest::newRow("query behind a space") << QByteArray(" CR0\r") << QByteArray("00\r") << kBefore;
}

void TestStatus::replies()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, received);
    QFETCH(QString, after);
    QCOMPARE(decodeStatus(sent, received, kBefore), after);
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

QTEST_GUILESS_MAIN(TestStatus)
#include "tst_status.moc"
