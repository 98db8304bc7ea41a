#include "link/Rendering.h"
#include "status/Decode.h"

#include <QTest>

// Every row is written as the bytes on the line; the decoding reads them the way the monitor
// shows them, so each is rendered first, as the window does.
class TestDecode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replies_data();
    void replies();
};

namespace {

const QByteArray kStatus("CR0\r");
const QByteArray kMode("CR1\r");
const QByteArray kLampTime("CR3\r");
const QByteArray kSetting("CR4\r");
const QByteArray kTemp("CR6\r");
const QString kBefore = QStringLiteral(" earlier words");

} // namespace

void TestDecode::replies_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    const struct
    {
        const char *code;
        const char *words;
    } status[] = {
        {"00", " Power ON"},
        {"80", " Stand by"},
        {"40", " Count down"},
        {"20", " Cooling down"},
        {"10", " Power abnormality"},
        {"88", " Temperature abnormality"},
        {"08", " Temperature abnormality"},
        {"24", " Power Management Cooling"},
        {"04", " Power Management"},
        {"28", " Temperature abnormality"},
        {"02", " Key input prohibition"},
    };
    for (const auto &s : status)
        QTest::addRow("status %s", s.code) << kStatus << QByteArray(s.code) + '\r' << kBefore
                                           << QString::fromLatin1(s.words);

    const struct
    {
        const char *code;
        const char *words;
    } setting[] = {
        {"11", " Normally"},
        {"10", " Top/Bottom reversal"},
        {"01", " Left/Right reversal"},
        {"00", " Top/Bottom , Left/Right reversal"},
    };
    for (const auto &s : setting)
        QTest::addRow("setting %s", s.code) << kSetting << QByteArray(s.code) + '\r' << kBefore
                                            << QString::fromLatin1(s.words);

    // The code alone is enough; the closing carriage return is never looked for.
    QTest::newRow("status without its CR") << kStatus << QByteArray("80") << kBefore << QStringLiteral(" Stand by");
    QTest::newRow("status code unknown") << kStatus << QByteArray("81\r") << kBefore << kBefore;
    QTest::newRow("status code unknown, line blank") << kStatus << QByteArray("81\r") << QString() << QString();
    QTest::newRow("status first half") << kStatus << QByteArray("0") << kBefore << kBefore;
    QTest::newRow("setting code unknown") << kSetting << QByteArray("22\r") << kBefore << kBefore;
    QTest::newRow("status lower-case hex") << kStatus << QByteArray("0a\r") << kBefore << kBefore;

    QTest::newRow("mode 1") << kMode << QByteArray("1\r") << kBefore << QStringLiteral(" Computer");
    QTest::newRow("mode 3") << kMode << QByteArray("3\r") << kBefore << QStringLiteral(" Video");
    QTest::newRow("mode 10") << kMode << QByteArray("10\r") << kBefore << QStringLiteral(" Computer");
    QTest::newRow("mode 2") << kMode << QByteArray("2\r") << kBefore << kBefore;

    QTest::newRow("temp A to Q") << kTemp << QByteArray("ABCDEFGHIJKLMNOPQ\r") << kBefore
                                 << QStringLiteral("  S1= A B C D E C ,  S2= H I J K C ,  S3=M N O P Q C");
    QTest::newRow("temp, nothing past Q is read") << kTemp << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ\r") << kBefore
                                                  << QStringLiteral("  S1= A B C D E C ,  S2= H I J K C ,  S3=M N O P Q C");
    QTest::newRow("temp short") << kTemp << QByteArray("25\r") << kBefore
                                << QStringLiteral("  S1= 2 5 CR  C ,  S2= C ,  S3= C");
    QTest::newRow("temp with a control byte") << kTemp << QByteArray("2\t5\r") << kBefore
                                              << QStringLiteral("  S1= 2 ? 5 CR  C ,  S2= C ,  S3= C");

    QTest::newRow("l-time whole") << kLampTime << QByteArray("0123\r") << kBefore << QStringLiteral(" 0 1 2 3 Hour");
    QTest::newRow("l-time two so far") << kLampTime << QByteArray("01") << kBefore << QStringLiteral(" 0 1  Hour");
    QTest::newRow("l-time leading spaces kept") << kLampTime << QByteArray("  07\r") << kBefore
                                                << QStringLiteral("     0 7 Hour");

    // ACK renders four wide and shifts everything after it.
    QTest::newRow("status after ack") << kStatus << QByteArray("\x06" "00\r") << kBefore << kBefore;
    QTest::newRow("setting after ack") << kSetting << QByteArray("\x06" "11\r") << kBefore << kBefore;
    QTest::newRow("l-time after ack") << kLampTime << QByteArray("\x06" "12\r") << kBefore
                                      << QStringLiteral(" ACK 1 2 Hour");

    // Data still in the buffer comes first and is what gets read.
    QTest::newRow("status behind old 8") << kStatus << QByteArray("8" "00\r") << kBefore << QStringLiteral(" Stand by");
    QTest::newRow("status behind old CR") << kStatus << QByteArray("\r" "00\r") << kBefore << kBefore;
    QTest::newRow("l-time behind old 9") << kLampTime << QByteArray("9" "0123\r") << kBefore
                                         << QStringLiteral(" 9 0 1 2 Hour");
    QTest::newRow("mode behind old 3") << kMode << QByteArray("3" "1\r") << kBefore << QStringLiteral(" Video");

    // Only a query, exactly as sent, chooses a reading.
    QTest::newRow("after power on") << QByteArray("C00\r") << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("after power on, line blank") << QByteArray("C00\r") << QByteArray("00\r") << QString() << QString();
    QTest::newRow("after volume up") << QByteArray("C09\r") << QByteArray("0123\r") << kBefore << kBefore;
    QTest::newRow("nothing sent yet") << QByteArray() << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("status query without CR") << QByteArray("CR0") << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("status query lower case") << QByteArray("cr0\r") << QByteArray("00\r") << kBefore << kBefore;
    QTest::newRow("temp query lower case") << QByteArray("Cr6\r") << QByteArray("25\r") << kBefore << kBefore;
    QTest::newRow("l-time query with LF") << QByteArray("CR3\r\n") << QByteArray("0123\r") << kBefore << kBefore;
    QTest::newRow("query behind a space") << QByteArray(" CR0\r") << QByteArray("00\r") << kBefore << kBefore;
}

void TestDecode::replies()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, received);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QCOMPARE(decodeStatus(sent, tolvek::render(received), before), after);
}

QTEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
