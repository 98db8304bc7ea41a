// Sending, receiving and the reply time-out, in virtual time on a fake port.
#include "Rig.h"
#include "link/DeviceName.h"
#include "wire/Rendering.h"

#include <QSignalSpy>
#include <QTest>

class TestLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replyTimeline_data();
    void replyTimeline();
    void lateReplyStartsAFreshBuffer();
    void otherEventsLeaveWaitingBytes();
    void failedSendIsNotShownAsSent();
    void deviceNames_data();
    void deviceNames();
};

void TestLink::replyTimeline_data()
{
    QTest::addColumn<QByteArray>("reply");  // at 100 ms, in pieces split at '|'; before a '>', before the send
    QTest::addColumn<QStringList>("shown"); // RXD at 99, 499, 500, 999 and 1000 ms
    QTest::addColumn<QByteArray>("read");   // the reply the last receive gave for the send
    const QString marker = QStringLiteral(" X X X X");
    QTest::newRow("no reply") << QByteArray() << QStringList{{}, {}, marker, marker, {}} << QByteArray();
    const QString ack = QStringLiteral(" ACK ");
    QTest::newRow("ack") << QByteArray("\x06") << QStringList{{}, ack, ack, ack, {}} << QByteArray("\x06");
    // Shown whole at each piece, and read whole.
    const QString whole = QStringLiteral(" 0 0 CR ");
    QTest::newRow("two pieces") << QByteArray("0|0\r") << QStringList{{}, whole, whole, whole, {}}
                                << QByteArray("00\r");
    // RXD goes on showing what came before the send; the reply starts after it.
    const QString both = QStringLiteral(" ACK 0 0 CR ");
    QTest::newRow("behind an earlier ack")
        << QByteArray("\x06>0|0\r") << QStringList{ack, both, both, both, {}} << QByteArray("00\r");
    // Behind a full buffer, a reply longer than the buffer: what the bound left of it.
    const QByteArray full(ReceivedBytes::kCapacity, 'o'), flood = QByteArray(ReceivedBytes::kCapacity, 'y') + 'z';
    const QString last = tolvek::render(flood.last(ReceivedBytes::kCapacity));
    QTest::newRow("past the bound") << full + '>' + flood.first(ReceivedBytes::kCapacity) + "|z"
                                    << QStringList{tolvek::render(full), last, last, last, {}}
                                    << flood.last(ReceivedBytes::kCapacity);
}

void TestLink::replyTimeline()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, shown);
    QFETCH(QByteArray, read);

    Rig r;
    if (const qsizetype send = reply.indexOf('>'); send >= 0) {
        r.comm->receive(reply.first(send));
        reply.remove(0, send + 1);
    }
    QByteArray replied;
    QObject::connect(&r.transfer, &Transfer::replyReceived,
                     [&replied](const QByteArray &, QByteArrayView received) { replied = received.toByteArray(); });
    r.click("Command28");
    QCOMPARE(r.takeWrites(), QByteArrayList{"C07\r"});
    QCOMPARE(r.txd, QStringLiteral(" C 0 7 CR "));
    QCOMPARE(r.transfer.state().AwaitingReply, quint8(1));
    int now = 0;
    for (const int at : {99, 499, 500, 999, 1000}) {
        if (now == 99 && !reply.isEmpty()) {
            r.advance(1);
            for (const QByteArray &piece : reply.split('|'))
                r.comm->receive(piece);
            now = 100;
        }
        r.advance(at - now);
        now = at;
        QVERIFY2(r.rxd == shown.takeFirst(), qPrintable(QStringLiteral("at %1 ms: \"%2\"").arg(at).arg(r.rxd)));
    }
    QCOMPARE(replied, read);
    QCOMPARE(r.txd, QString());
    QCOMPARE(r.transfer.state().AwaitingReply, quint8(0));
    QVERIFY(r.transfer.state().ReceiveBuffer.isEmpty());
    QVERIFY(r.failures.isEmpty());
}

void TestLink::lateReplyStartsAFreshBuffer()
{
    // Unsolicited bytes ahead of the send count for nothing: the marker still shows, and the
    // time-out empties the buffer, so the late reply stands alone.
    Rig r;
    r.comm->receive("old");
    r.click("Command28");
    QCOMPARE(r.rxd, QStringLiteral(" o l d "));
    r.advance(500);
    QCOMPARE(r.rxd, QStringLiteral(" X X X X"));
    r.comm->receive("\x06");
    QCOMPARE(r.rxd, QStringLiteral(" ACK "));
    QCOMPARE(r.transfer.state().ReceiveBuffer.bytes(), QByteArrayView("\x06"));
    // Emptied with nothing shown over it: the next bytes replace the old ones on RXD.
    r.click("Command28");
    r.advance(500);
    r.comm->receive("B");
    QCOMPARE(r.rxd, QStringLiteral(" B "));
}

void TestLink::otherEventsLeaveWaitingBytes()
{
    // Only the receive event takes the bytes; they wait for it, whatever else happens first.
    Rig r;
    r.click("Command28");
    for (const CommEvent e : {CommEvent::Error, CommEvent::None, CommEvent(7)})
        r.comm->receive("A", e);
    QCOMPARE(r.transfer.state().AwaitingReply, quint8(1));
    QCOMPARE(r.rxd, QString());
    QVERIFY(r.transfer.state().ReceiveBuffer.isEmpty());
    r.comm->receive("B");
    QCOMPARE(r.rxd, QStringLiteral(" A A A B "));
}

void TestLink::failedSendIsNotShownAsSent()
{
    // A pulled adapter: the port has closed itself, and the next send says so, once. What did
    // not go out is not on TXD, and no time-out marks a reply to it.
    Rig r;
    r.click("Command17");
    r.advance(10);
    r.comm->receive("\x06");
    r.advance(90);
    r.comm->loseDevice();
    QVERIFY(r.failures.isEmpty());
    r.click("Command18");
    QCOMPARE(r.failures, QStringList{"COM1 (/nonexistent/tolvek-com1): The port is not open."});
    QCOMPARE(r.txd, QStringLiteral(" C 0 0 CR "));
    QCOMPARE(r.transfer.state().AwaitingReply, quint8(0));
    r.advance(500);
    QCOMPARE(r.rxd, QStringLiteral(" ACK "));
    r.advance(3000);
    QCOMPARE(r.failures.size(), 1);
    QCOMPARE(r.takeWrites(), QByteArrayList{"C00\r"});
}

void TestLink::deviceNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("read"); // kind host port, or the start of the reason it is none
    QTest::newRow("a path") << "/dev/ttyUSB0"
                            << "serial";
    QTest::newRow("a platform name") << "COM3"
                                     << "serial";
    QTest::newRow("raw") << "tcp://gw.example:4001"
                         << "raw gw.example 4001";
    QTest::newRow("telnet, scheme in capitals") << "RFC2217://192.0.2.7:2217"
                                                << "rfc2217 192.0.2.7 2217";
    QTest::newRow("IPv6") << "tcp://[::1]:4001"
                          << "raw ::1 4001";
    for (const char *bad : {"tcp://", "tcp://:1", "tcp://gw.example", "tcp://gw.example:0", "tcp://gw.example:99999",
                            "tcp://gw.example:4001/", "tcp://gw.example:4001?x", "tcp://me@gw.example:4001"})
        QTest::newRow(bad) << bad << "\"" + QString(bad) + "\" is not a gateway's address of the form tcp://HOST:PORT";
    QTest::newRow("another scheme") << "ssh://gw.example:22"
                                    << "\"ssh://gw.example:22\" is no device";
}

void TestLink::deviceNames()
{
    QFETCH(QString, name);
    QFETCH(QString, read);
    const DeviceName::Parsed parsed = DeviceName::parse(name);
    const auto kinds = QStringList{"serial", "raw", "rfc2217"};
    const QString got = parsed.device ? QStringLiteral("%1 %2 %3")
                                            .arg(kinds.at(int(parsed.device->kind)), parsed.device->host)
                                            .arg(parsed.device->port)
                                      : parsed.error;
    QVERIFY2(got.startsWith(read) && (parsed.device || !parsed.error.isEmpty()), qPrintable(got));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
