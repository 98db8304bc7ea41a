// A port carried over raw TCP against a gateway played by the test, through the control the
// programs build: a device name beginning tcp:// is what picks the network.
#include "Pty.h"
#include "link/DeviceCommControl.h"
#include "link/PortChoice.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

constexpr int kWaitMs = 5000;

} // namespace

class TestTcpPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void carriesBytesUntilDroppedThenReconnects();
    void switchesBetweenSerialAndNetworkPorts();

private:
    bool accept();
    QByteArray read(qsizetype expected);

    std::unique_ptr<QTcpServer> m_server;
    QTcpSocket *m_peer = nullptr; // the gateway's end
    QByteArray m_device;
};

void TestTcpPort::init()
{
    m_server = std::make_unique<QTcpServer>();
    QVERIFY(m_server->listen(QHostAddress::LocalHost));
    m_device = "tcp://127.0.0.1:" + QByteArray::number(m_server->serverPort());
    qputenv("TOLVEK_COM1", m_device);
    qputenv("TOLVEK_COM2", "/nonexistent/tolvek-com2");
}

bool TestTcpPort::accept()
{
    if (!m_server->hasPendingConnections() && !m_server->waitForNewConnection(kWaitMs))
        return false;
    m_peer = m_server->nextPendingConnection();
    return m_peer != nullptr;
}

QByteArray TestTcpPort::read(qsizetype expected)
{
    QByteArray got;
    while (got.size() < expected && (m_peer->bytesAvailable() > 0 || m_peer->waitForReadyRead(kWaitMs)))
        got.append(m_peer->readAll());
    return got;
}

void TestTcpPort::carriesBytesUntilDroppedThenReconnects()
{
    DeviceCommControl comm;
    // Taken as the transfer takes them: the bytes at each receive.
    QList<CommEvent> events;
    QByteArray received;
    connect(&comm, &CommControl::onComm, this, [&] {
        events.append(comm.commEvent());
        if (comm.commEvent() == CommEvent::Receive)
            received.append(comm.input());
    });
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QVERIFY(accept());

    // The speed is the gateway's: taken and kept, and nothing of it goes on the wire.
    QCOMPARE(comm.setSettings(QStringLiteral("9600,N,8,1")), CommError{});
    QCOMPARE(comm.settings(), QStringLiteral("9600,N,8,1"));
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(comm.setOutput(all), CommError{});
    QCOMPARE(read(all.size()), all);
    m_peer->write(all);
    QTRY_COMPARE_WITH_TIMEOUT(received, all, kWaitMs);

    // The gateway drops the line just after a reply: the reply arrives, the end is told once.
    events.clear();
    received.clear();
    m_peer->write("\x06");
    m_peer->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(!comm.portOpen(), kWaitMs);
    QCOMPARE(events, (QList<CommEvent>{CommEvent::Receive, CommEvent::DeviceLost}));
    QCOMPARE(received, QByteArray("\x06"));
    QVERIFY(comm.setOutput("C00\r"));

    // Opening again, as choosing the port does, reconnects both ways.
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QVERIFY(accept());
    QCOMPARE(comm.setOutput("C00\r"), CommError{});
    QCOMPARE(read(4), QByteArray("C00\r"));
    m_peer->write("\x06");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("\x06\x06"), kWaitMs);

    // Closing from this end is no loss.
    events.clear();
    QCOMPARE(comm.setPortOpen(false), CommError{});
    QTRY_COMPARE_WITH_TIMEOUT(m_peer->state(), QAbstractSocket::UnconnectedState, kWaitMs);
    QCoreApplication::processEvents();
    QVERIFY(events.isEmpty());

    // A gateway that refuses leaves the port closed (its message is tolvek-send's test's).
    m_server->close();
    QVERIFY(comm.setPortOpen(true));
    QVERIFY(!comm.portOpen());
}

void TestTcpPort::switchesBetweenSerialAndNetworkPorts()
{
    // COM1 a serial device (a pseudo-terminal), COM2 the gateway, chosen as the port panel does.
    const Pty pty;
    qputenv("TOLVEK_COM1", pty.path.toLocal8Bit());
    qputenv("TOLVEK_COM2", m_device);

    DeviceCommControl comm;
    PortChoice ports(comm);
    ports.openAtStart();
    QCOMPARE(ports.choosePort(2), CommError{});
    QVERIFY(accept());
    QCOMPARE(comm.setOutput("C07\r"), CommError{});
    QCOMPARE(read(4), QByteArray("C07\r"));

    QCOMPARE(ports.choosePort(1), CommError{});
    QCOMPARE(comm.setOutput("C05\r"), CommError{});
    QCOMPARE(pty.readFar(4), QByteArray("C05\r"));
    QTRY_COMPARE_WITH_TIMEOUT(m_peer->state(), QAbstractSocket::UnconnectedState, kWaitMs);
}

QTEST_GUILESS_MAIN(TestTcpPort)
#include "tst_tcpport.moc"
