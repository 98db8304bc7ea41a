// A port carried over raw TCP, against a server in the test: the panel's control as the
// programs build it, so a device name beginning tcp:// is what picks the network.
#include "link/DeviceCommControl.h"
#include "link/PortChoice.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pty.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 5000;

// The gateway's end of the connection.
struct Gateway
{
    QTcpServer server;
    QTcpSocket *peer = nullptr;

    QString device() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()); }
    bool accept()
    {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(kWaitMs))
            return false;
        peer = server.nextPendingConnection();
        return peer != nullptr;
    }
    QByteArray read(qsizetype expected)
    {
        QByteArray got;
        while (got.size() < expected && (peer->bytesAvailable() > 0 || peer->waitForReadyRead(kWaitMs)))
            got.append(peer->readAll());
        return got;
    }
};

} // namespace

class TestTcpPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void carriesBytesBothWaysUnchanged();
    void droppedConnectionIsALostDeviceAndReconnects();
    void switchesBetweenSerialAndNetworkPorts();
    void failuresComeWithTheSystemMessage_data();
    void failuresComeWithTheSystemMessage();

private:
    std::unique_ptr<Gateway> m_gateway;
};

void TestTcpPort::init()
{
    m_gateway = std::make_unique<Gateway>();
    QVERIFY(m_gateway->server.listen(QHostAddress::LocalHost));
    qputenv("TOLVEK_COM1", m_gateway->device().toLocal8Bit());
    qputenv("TOLVEK_COM2", "/nonexistent/tolvek-com2");
}

void TestTcpPort::carriesBytesBothWaysUnchanged()
{
    DeviceCommControl comm;
    QCOMPARE(comm.setSettings(QStringLiteral("19200,N,8,1")), CommError{});
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QVERIFY(comm.portOpen() && m_gateway->accept());

    // The speed is the gateway's: taken and kept, and nothing of it goes on the wire.
    QCOMPARE(comm.setSettings(QStringLiteral("9600,N,8,1")), CommError{});
    QCOMPARE(comm.settings(), QStringLiteral("9600,N,8,1"));
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(comm.setOutput("C09\r"), CommError{});
    QCOMPARE(comm.setOutput(all), CommError{});
    QCOMPARE(m_gateway->read(4 + 256), QByteArray("C09\r") + all);

    QSignalSpy spy(&comm, &CommControl::onComm);
    m_gateway->peer->write(all);
    QByteArray received;
    while (received.size() < all.size() && (!spy.isEmpty() || spy.wait(kWaitMs))) {
        spy.clear();
        QCOMPARE(comm.commEvent(), CommEvent::Receive);
        received.append(comm.input());
    }
    QCOMPARE(received, all);
}

void TestTcpPort::droppedConnectionIsALostDeviceAndReconnects()
{
    DeviceCommControl comm;
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QVERIFY(m_gateway->accept());
    // Taken as the transfer takes them: the bytes at each receive.
    QList<CommEvent> events;
    QByteArray received;
    connect(&comm, &CommControl::onComm, this, [&] {
        events.append(comm.commEvent());
        if (comm.commEvent() == CommEvent::Receive)
            received.append(comm.input());
    });
    m_gateway->peer->write("\x06");
    m_gateway->peer->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(!comm.portOpen(), kWaitMs);
    // The reply just before the end still arrives, and the end is told once.
    QCOMPARE(events, (QList<CommEvent>{CommEvent::Receive, CommEvent::DeviceLost}));
    QCOMPARE(received, QByteArray("\x06"));
    QVERIFY(comm.setOutput("C00\r"));

    QCOMPARE(comm.setPortOpen(true), CommError{}); // choosing the port again
    QVERIFY(m_gateway->accept());
    QCOMPARE(comm.setOutput("C00\r"), CommError{});
    QCOMPARE(m_gateway->read(4), QByteArray("C00\r"));
    events.clear();
    m_gateway->peer->write("\x06");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("\x06\x06"), kWaitMs);

    // Closing from this end is no loss.
    events.clear();
    QCOMPARE(comm.setPortOpen(false), CommError{});
    QTRY_COMPARE_WITH_TIMEOUT(m_gateway->peer->state(), QAbstractSocket::UnconnectedState, kWaitMs);
    QCoreApplication::processEvents();
    QVERIFY(events.isEmpty());
}

void TestTcpPort::switchesBetweenSerialAndNetworkPorts()
{
    // COM1 a serial device (a pseudo-terminal), COM2 a gateway, chosen as the port panel does.
    int far = -1;
    int near = -1;
    char name[256] = {};
    QCOMPARE(openpty(&far, &near, name, nullptr, nullptr), 0);
    ::close(near);
    qputenv("TOLVEK_COM1", name);
    qputenv("TOLVEK_COM2", m_gateway->device().toLocal8Bit());

    DeviceCommControl comm;
    PortChoice ports(comm);
    ports.openAtStart();
    QVERIFY(comm.portOpen());
    QCOMPARE(ports.choosePort(2), CommError{});
    QVERIFY(m_gateway->accept());
    QCOMPARE(comm.setOutput("C07\r"), CommError{});
    QCOMPARE(m_gateway->read(4), QByteArray("C07\r"));

    QCOMPARE(ports.choosePort(1), CommError{});
    QTRY_COMPARE_WITH_TIMEOUT(m_gateway->peer->state(), QAbstractSocket::UnconnectedState, kWaitMs);
    QCOMPARE(comm.setOutput("C05\r"), CommError{});
    char got[4] = {};
    QCOMPARE(::read(far, got, sizeof got), ssize_t(4));
    QCOMPARE(QByteArray(got, 4), QByteArray("C05\r"));
    ::close(far);
}

void TestTcpPort::failuresComeWithTheSystemMessage_data()
{
    QTest::addColumn<QString>("device"); // %1: a port nothing listens on
    QTest::addColumn<QString>("message");
    QTest::newRow("refused") << "tcp://127.0.0.1:%1" << "Connection refused";
    QTest::newRow("no port") << "tcp://127.0.0.1" << "\"tcp://127.0.0.1\" is not a network device of the form tcp://HOST:PORT.";
}

void TestTcpPort::failuresComeWithTheSystemMessage()
{
    QFETCH(QString, device);
    QFETCH(QString, message);
    const quint16 closed = m_gateway->server.serverPort();
    m_gateway->server.close();
    qputenv("TOLVEK_COM1", device.arg(closed).toLocal8Bit());

    DeviceCommControl comm;
    QCOMPARE(comm.setPortOpen(true), CommError{message});
    QVERIFY(!comm.portOpen());
    QVERIFY(comm.setOutput("C00\r"));
}

QTEST_GUILESS_MAIN(TestTcpPort)
#include "tst_tcpport.moc"
