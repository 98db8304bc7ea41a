// A port carried over TCP to a gateway played by the test on the loopback, through the control
// the programs build and the port choice: connections in real time, the time-outs in virtual time.
#include "Pty.h"
#include "VirtualClock.h"
#include "link/DeviceCommControl.h"
#include "link/LineFormat.h"
#include "link/PortChoice.h"
#include "link/TcpCommControl.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

constexpr int kWaitMs = 5000;
const QByteArray kDoComPort("\xff\xfd\x2c");
const QByteArray kRefuseComPort("\xff\xfe\x2c");
// A gateway's report of its port's speed (RFC 2217), the speed four bytes as on the wire.
QByteArray report(QByteArrayView speed)
{
    return QByteArray("\xff\xfa\x2c\x65") + speed.toByteArray() + QByteArray("\xff\xf0");
}

} // namespace

class TestTcpPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void openings_data();
    void openings();
    void carriesBytesUntilDroppedThenReconnects();
    void switchesBetweenSerialAndNetworkPorts();

private:
    QString gateway(const char *scheme) const;
    bool accept();
    QByteArray read(qsizetype expected);
    bool connectionUp(const QObject &comm, QAbstractSocket::SocketState state = QAbstractSocket::ConnectedState);

    std::unique_ptr<QTcpServer> m_server;
    QTcpSocket *m_peer = nullptr; // the gateway's end
    VirtualClock m_clock;
};

void TestTcpPort::init()
{
    m_server = std::make_unique<QTcpServer>();
    QVERIFY(m_server->listen(QHostAddress::LocalHost));
    qputenv("TOLVEK_COM1", gateway("tcp").toUtf8());
    qputenv("TOLVEK_COM2", "/nonexistent/tolvek-com2");
}

QString TestTcpPort::gateway(const char *scheme) const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1StringView(scheme)).arg(m_server->serverPort());
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

bool TestTcpPort::connectionUp(const QObject &comm, QAbstractSocket::SocketState state)
{
    const QList<QTcpSocket *> sockets = comm.findChildren<QTcpSocket *>();
    return std::any_of(sockets.begin(), sockets.end(), [state](const QTcpSocket *s) { return s->state() == state; });
}

// From the choice to the opening's one end: when the gateway's words and hang-up come, or when
// the time-out passes, counted from the connection coming up (or failing to).
void TestTcpPort::openings_data()
{
    QTest::addColumn<QString>("scheme"); // or a whole device name that is no gateway's
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QByteArray>("says"); // as soon as it accepts
    QTest::addColumn<int>("at");          // ms of virtual time the end waits for; 0: none
    QTest::addColumn<QString>("told");    // after "COM1 (device): ", or "opened"
    const QByteArray busy("Port already in use\r\n");
    // clang-format off
    QTest::newRow("raw, up for a while") << "tcp" << "answers" << QByteArray() << 200 << "opened";
    QTest::newRow("raw, a greeting kept for the port") << "tcp" << "answers" << QByteArray("room 101\r\n") << 200 << "opened";
    QTest::newRow("raw, busy") << "tcp" << "hangs up" << busy << 0 << "the gateway closed the connection: Port already in use";
    QTest::newRow("raw, hung up unsaid") << "tcp" << "hangs up" << QByteArray() << 0 << "the gateway closed the connection";
    QTest::newRow("raw, refused") << "tcp" << "is gone" << QByteArray() << 0 << "Connection refused";
    QTest::newRow("raw, never answers") << "tcp" << "never answers" << QByteArray() << 5000 << "Connection timed out";
    QTest::newRow("raw, abandoned connecting") << "tcp" << "never answers" << QByteArray() << -1 << "";
    QTest::newRow("raw, abandoned settling") << "tcp" << "answers" << QByteArray() << -1 << "";
    QTest::newRow("telnet, speed reported") << "rfc2217" << "answers" << kDoComPort + report({"\0\0\x4b\0", 4}) << 0 << "opened";
    QTest::newRow("telnet, another speed reported") << "rfc2217" << "answers" << kDoComPort + report({"\0\0\x25\x80", 4}) << 5000 << "the gateway did not set its serial port to 19200 baud";
    QTest::newRow("telnet, option refused") << "rfc2217" << "answers" << kRefuseComPort << 0 << "the gateway refused to set its serial port (RFC 2217)";
    QTest::newRow("telnet, busy") << "rfc2217" << "hangs up" << kDoComPort + busy << 0 << "the gateway closed the connection: Port already in use";
    QTest::newRow("no port") << "tcp://127.0.0.1" << "answers" << QByteArray() << 0 << "\"tcp://127.0.0.1\" is not a gateway's address of the form tcp://HOST:PORT.";
    // clang-format on
}

void TestTcpPort::openings()
{
    QFETCH(QString, scheme);
    QFETCH(QString, gateway);
    QFETCH(QByteArray, says);
    QFETCH(int, at);
    QFETCH(QString, told);
    // A gateway that never answers: the one place in its queue is taken and never accepted, so
    // the kernel drops every further attempt.
    QTcpSocket filler;
    if (gateway == u"never answers") {
        m_server = std::make_unique<QTcpServer>();
        m_server->setListenBacklogSize(0);
        QVERIFY(m_server->listen(QHostAddress::LocalHost));
        m_server->pauseAccepting();
        filler.connectToHost(QHostAddress::LocalHost, m_server->serverPort());
        QVERIFY(filler.waitForConnected(kWaitMs));
    }
    const QString device = scheme.contains(u':') ? scheme : this->gateway(qPrintable(scheme));
    if (gateway == u"is gone")
        m_server->close();
    qputenv("TOLVEK_COM1", device.toUtf8());
    bool said = false;
    connect(m_server.get(), &QTcpServer::newConnection, this, [&] {
        m_peer = m_server->nextPendingConnection();
        m_peer->write(says);
        m_peer->flush();
        said = true;
        if (gateway == u"hangs up")
            m_peer->disconnectFromHost();
    });

    DeviceCommControl comm(m_clock.factory());
    PortChoice ports(comm);
    QStringList heard;
    connect(&ports, &PortChoice::opened, this, [&] { heard << QStringLiteral("opened"); });
    connect(&ports, &PortChoice::failed, this, [&](const QString &failure) { heard << failure; });
    QByteArray received;
    connect(&comm, &CommControl::onComm, this, [&] { received += comm.input(); });
    (void)ports.chooseSpeed(kSettings19200);
    ports.choosePort(1, 2);
    if (at != 0) {
        QVERIFY(comm.portOpening());
        // Up, with what the gateway said there to be read, or connecting for good.
        const bool never = gateway == u"never answers";
        QTRY_VERIFY_WITH_TIMEOUT(
            connectionUp(comm, never ? QAbstractSocket::ConnectingState : QAbstractSocket::ConnectedState)
                && (never || said),
            kWaitMs);
        QCoreApplication::processEvents();
        if (at < 0) {
            QCOMPARE(comm.setPortOpen(false), CommError{});
        } else {
            m_clock.advance(std::chrono::milliseconds(at - 1));
            QCoreApplication::processEvents();
            QCOMPARE(heard, QStringList());
            m_clock.advance(std::chrono::milliseconds(1));
        }
    }
    const QString expected =
        told.isEmpty() || told == u"opened" ? told : QStringLiteral("COM1 (%1): %2").arg(device, told);
    QTRY_COMPARE_WITH_TIMEOUT(heard.join(u'|'), expected, kWaitMs);
    // One end only, and an abandoned opening has none.
    m_clock.advance(GatewayCommControl::kOpenTimeout * 2);
    QCoreApplication::processEvents();
    QCOMPARE(heard.join(u'|'), expected);
    QCOMPARE(comm.portOpen(), told == u"opened");
    QCOMPARE(received, told == u"opened" && scheme == u"tcp" ? says : QByteArray());
    if (!comm.portOpen())
        return;
    // The port's bytes both ways, 0xFF escaped over telnet.
    const QByteArray ff = scheme == u"tcp" ? "\xff" : "\xff\xff";
    QCOMPARE(comm.setOutput("\xffZ"), CommError{});
    QByteArray wire;
    QTRY_VERIFY_WITH_TIMEOUT((wire += m_peer->readAll()).endsWith(ff + 'Z'), kWaitMs);
    const QByteArray before = received;
    m_peer->write(ff + 'Y');
    QTRY_COMPARE_WITH_TIMEOUT(received, before + "\xffY", kWaitMs);
}

void TestTcpPort::carriesBytesUntilDroppedThenReconnects()
{
    DeviceCommControl comm(m_clock.factory());
    // Taken as the transfer takes them: the bytes at each receive.
    QList<CommEvent> events;
    QByteArray received;
    connect(&comm, &CommControl::onComm, this, [&] {
        events.append(comm.commEvent());
        if (comm.commEvent() == CommEvent::Receive)
            received.append(comm.input());
    });
    const auto open = [&] {
        QCOMPARE(comm.setPortOpen(true), CommError{});
        QVERIFY(accept());
        QTRY_VERIFY_WITH_TIMEOUT(connectionUp(comm), kWaitMs);
        m_clock.advance(TcpCommControl::kSettle);
        QVERIFY(comm.portOpen());
    };
    open();

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
    open();
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
}

void TestTcpPort::switchesBetweenSerialAndNetworkPorts()
{
    // COM1 a serial device (a pseudo-terminal), COM2 the gateway, chosen as the port panel does.
    const Pty pty;
    QVERIFY(!pty.path.isEmpty()); // an empty name would be the platform's own COM1
    qputenv("TOLVEK_COM1", pty.path.toLocal8Bit());
    qputenv("TOLVEK_COM2", gateway("tcp").toUtf8());

    DeviceCommControl comm(m_clock.factory());
    PortChoice ports(comm);
    ports.choosePort(1, 2);
    QVERIFY(comm.portOpen());
    ports.choosePort(2, 1);
    QVERIFY(accept());
    QTRY_VERIFY_WITH_TIMEOUT(connectionUp(comm), kWaitMs);
    m_clock.advance(TcpCommControl::kSettle);
    QCOMPARE(comm.setOutput("C07\r"), CommError{});
    QCOMPARE(read(4), QByteArray("C07\r"));

    ports.choosePort(1, 2);
    QCOMPARE(comm.setOutput("C05\r"), CommError{});
    QCOMPARE(pty.readFar(4), QByteArray("C05\r"));
    QTRY_COMPARE_WITH_TIMEOUT(m_peer->state(), QAbstractSocket::UnconnectedState, kWaitMs);
}

QTEST_GUILESS_MAIN(TestTcpPort)
#include "tst_tcpport.moc"
