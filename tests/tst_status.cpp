// Reading the replies to the status queries, from the bytes and through the core.
#include "Rig.h"
#include "commands/Names.h"
#include "status/Decode.h"
#include "status/NameSender.h"
#include "status/ReplyValue.h"
#include "wire/Text.h"

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
    void sendingByName_data();
    void sendingByName();
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

    // Positions count from the first byte after the send, whatever it is.
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

void TestStatus::values_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("value"); // as JSON; a command has none

    QTest::newRow("status in words") << "status" << QByteArray("40\r") << true << R"("Count down")";
    QTest::newRow("status code without words") << "status" << QByteArray("81\r") << true << "null";
    QTest::newRow("status without its CR") << "status" << QByteArray("00") << false << "null";
    // clang-format off
    QTest::newRow("status behind an ACK") << "status" << QByteArray("\x06" "00\r") << false << "null";
    // clang-format on
    QTest::newRow("status behind an old byte") << "status" << QByteArray("800\r") << false << "null";
    QTest::newRow("status with more after") << "status" << QByteArray("00\r0") << false << "null";
    QTest::newRow("mode in words") << "mode" << QByteArray("3\r") << true << R"("Video")";
    QTest::newRow("mode of two digits") << "mode" << QByteArray("10\r") << false << "null";
    QTest::newRow("setting in words") << "setting" << QByteArray("01\r") << true << R"("Left/Right reversal")";
    QTest::newRow("setting code without words") << "setting" << QByteArray("22\r") << true << "null";
    QTest::newRow("lamp time") << "lamp-time" << QByteArray("0042\r") << true << "42";
    QTest::newRow("lamp time of three digits") << "lamp-time" << QByteArray("042\r") << false << "null";
    QTest::newRow("lamp time of five digits") << "lamp-time" << QByteArray("00042\r") << false << "null";
    QTest::newRow("lamp time with a space") << "lamp-time" << QByteArray(" 042\r") << false << "null";
    QTest::newRow("temperatures") << "temp" << QByteArray("+25.0 +30.5 -02.5\r") << true << "[25,30.5,-2.5]";
    QTest::newRow("temperatures whole") << "temp" << QByteArray("+25 -1 +100\r") << true << "[25,-1,100]";
    QTest::newRow("temperature unsigned") << "temp" << QByteArray("+25.0 30.5 +27.0\r") << false << "null";
    QTest::newRow("temperatures two") << "temp" << QByteArray("+25.0 +30.5\r") << false << "null";
    QTest::newRow("temperatures four") << "temp" << QByteArray("+25.0 +30.5 +27.0 +27.0\r") << false << "null";
    QTest::newRow("temperatures two spaces") << "temp" << QByteArray("+25.0  +30.5 +27.0\r") << false << "null";
    QTest::newRow("temperature a point alone") << "temp" << QByteArray("+25. +30.5 +27.0\r") << false << "null";
    QTest::newRow("temperatures without CR") << "temp" << QByteArray("+25.0 +30.5 +27.0") << false << "null";
    QTest::newRow("nothing") << "temp" << QByteArray() << false << "null";
    QTest::newRow("command ACK") << "power-on" << QByteArray("\x06") << true << QString();
    QTest::newRow("command two ACKs") << "power-on" << QByteArray("\x06\x06") << false << QString();
    QTest::newRow("command answered with ?") << "power-on" << QByteArray("?\r") << false << QString();
}

void TestStatus::values()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, received);
    QFETCH(bool, answer);
    QFETCH(QString, value);
    const vocabulary::Named named = *vocabulary::findName(name);
    QCOMPARE(isAnswer(named, received), answer);
    if (!named.query)
        return;
    const QJsonValue found = replyValue(*named.query, received);
    QCOMPARE(QString::fromUtf8(QJsonDocument(QJsonArray{found}).toJson(QJsonDocument::Compact)), "[" + value + "]");
}

void TestStatus::sendingByName_data()
{
    QTest::addColumn<QString>("names");
    // What the line does after the first send, split at "|": "+N" N ms pass, "lost" the device
    // goes away, "unwritable" writes fail from now on, anything else arrives as bytes.
    QTest::addColumn<QString>("line");
    // "MS NAME ok|no LINE" for each name as tolvek-send prints it, then "MS finished[: FAILURE]".
    QTest::addColumn<QString>("outcomes");
    const auto row = [](const char *name, const char *names, const char *line, const char *outcomes) {
        QTest::newRow(name) << QString(names) << QString(line) << QString(outcomes);
    };
    row("a command ends at its ACK, the next goes at once", "power-on status", "+5|\x06|+5|00\r",
        "5 power-on ok ACK|10 status ok Power ON|10 finished");
    row("a query in pieces ends at its CR", "lamp-time", "+3|00|+3|42\r", "6 lamp-time ok 0 0 4 2 Hour|6 finished");
    row("no reply waits out the time-out", "status power-on", "+500|+2|\x06",
        "500 status no no reply|502 power-on ok ACK|502 finished");
    row("more after the answer waits out the time-out", "status", "+5|00\r0|+495",
        "500 status no 0 0 CR 0|500 finished");
    row("a ? ends a command at its CR", "power-on", "+5|?\r", "5 power-on no ? CR|5 finished");
    row("an ACK does not end a query", "status", "+5|\x06|+5|00\r", "10 status no ACK 0 0 CR|10 finished");
    row("a late reply is no answer to the next name", "mode lamp-time", "+510|3\r",
        "500 mode no no reply|510 lamp-time no 3 CR|510 finished");
    row("a lost device ends the name and the port at once", "power-off", "+1|Port already in use\r\n|+1|lost",
        "2 power-off no P o r t   a l r e a d y   i n   u s e CR LF|"
        "2 finished: COM1 (/nonexistent/tolvek-com1): The port is not open.");
    row("a send that fails ends the names", "power-on status mode", "+5|unwritable|\x06",
        "5 power-on ok ACK|5 finished: COM1 (/nonexistent/tolvek-com1): Write refused");
}

void TestStatus::sendingByName()
{
    QFETCH(QString, names);
    QFETCH(QString, line);
    QFETCH(QString, outcomes);
    Rig r;
    NameSender sender(r.transfer);
    QStringList seen;
    const auto at = [&r] { return QString::number(r.clock.now().count()); };
    connect(&sender, &NameSender::answered, [&](const NameSender::Outcome &o) {
        seen << QStringList{at(), latin1(o.named.name), o.ok ? "ok" : "no",
                            NameSender::line(o, NameSender::Wording::Words)}
                    .join(u' ');
    });
    connect(&sender, &NameSender::finished,
            [&](const CommError &f) { seen << at() + " finished" + (f ? ": " + *f : ""); });
    QList<vocabulary::Named> named;
    for (const QString &name : names.split(u' '))
        named << *vocabulary::findName(name);
    sender.start(named);
    QCoreApplication::sendPostedEvents();
    for (const QString &step : line.split(u'|')) {
        if (step.startsWith(u'+'))
            r.advance(step.mid(1).toInt());
        else if (step == u"lost")
            r.comm->loseDevice();
        else if (step == u"unwritable")
            r.comm->failWriting(QStringLiteral("Write refused"));
        else
            r.comm->receive(step.toLatin1());
        QCoreApplication::sendPostedEvents();
    }
    QCOMPARE(seen.join(u'|'), outcomes);
}

QTEST_GUILESS_MAIN(TestStatus)
#include "tst_status.moc"
