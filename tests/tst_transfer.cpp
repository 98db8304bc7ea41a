// The transfer monitor and the reply time-out, in virtual time on a fake port.
#include "Harness.h"
#include "link/Rendering.h"

#include <QTest>

class TestTransfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replyTimeline_data();
    void replyTimeline();
    void replyInTwoPieces();
    void lateReplyStartsAFreshBuffer();
    void otherEventsChangeNothing_data();
    void otherEventsChangeNothing();
    void receivedLineFollowsTheBufferPastItsBound();
    void sendOnClosedPortWarnsAndQueuesNothing();
    void lostDeviceIsReportedAtTheNextSend();
    void endRunsNoLaterTick();
};

void TestTransfer::replyTimeline_data()
{
    QTest::addColumn<QByteArray>("reply"); // arrives at 100 ms, if any
    QTest::addColumn<QStringList>("shown"); // RXD at 99, 499, 500, 999 and 1000 ms
    const QString marker = QStringLiteral(" X X X X");
    QTest::newRow("no reply") << QByteArray() << QStringList{{}, {}, marker, marker, {}};
    const QString ack = QStringLiteral(" ACK ");
    QTest::newRow("ack") << QByteArray("\x06") << QStringList{{}, ack, ack, ack, {}};
}

void TestTransfer::replyTimeline()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, shown);

    auto h = Harness::started();
    h->click("Command28");
    QCOMPARE(h->takeWrites(), QByteArrayList{"C07\r"});
    QCOMPARE(h->txd(), QStringLiteral(" C 0 7 CR "));
    QCOMPARE(h->form->state().AwaitingReply, quint8(1));
    int now = 0;
    for (const int at : {99, 499, 500, 999, 1000}) {
        if (now == 99 && !reply.isEmpty()) {
            h->advance(1);
            h->comm->receive(reply);
            now = 100;
        }
        h->advance(at - now);
        now = at;
        QVERIFY2(h->rxd() == shown.takeFirst(), qPrintable(QStringLiteral("at %1 ms: \"%2\"").arg(at).arg(h->rxd())));
    }
    QCOMPARE(h->txd(), QString());
    QCOMPARE(h->form->state().AwaitingReply, quint8(0));
    QVERIFY(h->form->state().ReceiveBuffer.isEmpty());
}

void TestTransfer::replyInTwoPieces()
{
    auto h = Harness::started();
    h->click("Command44");
    h->comm->receive("0");
    QCOMPARE(h->rxd(), QStringLiteral(" 0 "));
    h->comm->receive("0\r");
    QCOMPARE(h->rxd(), QStringLiteral(" 0 0 CR "));
    QCOMPARE(h->form->state().ReceiveBuffer.bytes(), QByteArrayView("00\r"));
}

void TestTransfer::lateReplyStartsAFreshBuffer()
{
    // Unsolicited bytes ahead of the send count for nothing: the marker still shows, and the
    // time-out empties the buffer, so the late reply stands alone.
    auto h = Harness::started();
    h->comm->receive("old");
    h->click("Command28");
    QCOMPARE(h->rxd(), QStringLiteral(" o l d "));
    h->advance(500);
    QCOMPARE(h->rxd(), QStringLiteral(" X X X X"));
    h->comm->receive("\x06");
    QCOMPARE(h->rxd(), QStringLiteral(" ACK "));
    QCOMPARE(h->form->state().ReceiveBuffer.bytes(), QByteArrayView("\x06"));
}

void TestTransfer::otherEventsChangeNothing_data()
{
    QTest::addColumn<qint16>("event");
    QTest::newRow("error") << CommControl::kError;
    QTest::newRow("device lost") << CommControl::kDeviceLost;
    QTest::newRow("unknown") << qint16(7);
}

void TestTransfer::otherEventsChangeNothing()
{
    QFETCH(qint16, event);
    auto h = Harness::started();
    h->click("Command28");
    h->comm->receive("A");
    h->click("Command28");
    h->comm->raiseEvent(event);
    QCOMPARE(h->form->state().AwaitingReply, quint8(1));
    QCOMPARE(h->rxd(), QStringLiteral(" A "));
    QCOMPARE(h->form->state().ReceiveBuffer.bytes(), QByteArrayView("A"));
}

void TestTransfer::receivedLineFollowsTheBufferPastItsBound()
{
    // A device that never stops talking: RXD always shows exactly the whole bounded buffer,
    // also after the marker or a clear has replaced it in between.
    auto h = Harness::started();
    QByteArray stream;
    for (int i = 0; i < 3 * ReceivedBytes::kCapacity; ++i)
        stream.append(char((i * 13) % 256));
    qsizetype at = 0;
    int round = 0;
    while (at < stream.size()) {
        const qsizetype n = std::min<qsizetype>(1 + (round * 37) % 600, stream.size() - at);
        h->comm->receive(stream.sliced(at, n));
        at += n;
        if (++round % 50 == 0) {
            QCOMPARE(h->rxd(), tolvek::render(h->form->state().ReceiveBuffer.bytes()));
            h->advance(1000); // the clear blanks RXD; the buffer stays, nothing was sent
        }
    }
    const ReceivedBytes &buffer = h->form->state().ReceiveBuffer;
    QCOMPARE(buffer.size(), ReceivedBytes::kCapacity);
    QVERIFY(buffer.bytes() == QByteArrayView(stream).last(ReceivedBytes::kCapacity));
    QCOMPARE(h->rxd(), tolvek::render(buffer.bytes()));
}

void TestTransfer::sendOnClosedPortWarnsAndQueuesNothing()
{
    auto h = Harness::started();
    h->comm->failOpening(2, QStringLiteral("No such file or directory"));
    h->button("Command33")->click();
    h->control<QAbstractButton>("Option2")->click();
    QCOMPARE(h->warnings, QStringList{QStringLiteral("No such file or directory")});
    QVERIFY(!h->comm->portOpen());

    h->click("Command17");
    QCOMPARE(h->warnings.size(), 2);
    QCOMPARE(h->txd(), QStringLiteral(" C 0 0 CR "));
    QCOMPARE(h->form->state().AwaitingReply, quint8(1));
    h->advance(500);
    QCOMPARE(h->rxd(), QStringLiteral(" X X X X"));

    h->control<QAbstractButton>("Option1")->click();
    QVERIFY(h->comm->portOpen());
    QCOMPARE(h->takeWrites(), QByteArrayList{});
}

void TestTransfer::lostDeviceIsReportedAtTheNextSend()
{
    auto h = Harness::started();
    h->comm->loseDevice();
    QVERIFY(h->warnings.isEmpty());
    h->click("Command18");
    QCOMPARE(h->warnings.size(), 1);
    h->advance(3000);
    QCOMPARE(h->warnings.size(), 1);
}

void TestTransfer::endRunsNoLaterTick()
{
    auto h = Harness::started();
    h->press("Command1");
    h->click("Command44");
    h->click("Command16");
    QVERIFY(!h->comm->portOpen());
    QVERIFY(!h->form->isVisible());
    const QString txd = h->txd();
    h->takeWrites();
    h->advance(10000);
    QCOMPARE(h->takeWrites(), QByteArrayList{});
    QCOMPARE(h->txd(), txd);
    QVERIFY(h->warnings.isEmpty());
}

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
