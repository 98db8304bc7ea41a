// The serial control over QSerialPort, against a real pseudo-terminal pair made by the test.
#include "link/SerialCommControl.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A pseudo-terminal pair; the test holds the far end, the control opens the near one by path.
struct Pty
{
    int far = -1;
    int near = -1;
    QString path;

    Pty()
    {
        char name[256] = {};
        if (openpty(&far, &near, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
        ::close(near); // the control opens it by name, as it would a USB adapter
        near = -1;
    }
    ~Pty() { closeFar(); }
    void closeFar()
    {
        if (far >= 0)
            ::close(far);
        far = -1;
    }

    QByteArray readFar(qsizetype expected)
    {
        QByteArray got;
        QElapsedTimer waited;
        waited.start();
        while (got.size() < expected && waited.elapsed() < 5000) {
            char buffer[256];
            const ssize_t n = ::read(far, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
            else
                QTest::qWait(5);
        }
        return got;
    }

    speed_t speed() const
    {
        termios t{};
        tcgetattr(far, &t);
        return cfgetospeed(&t);
    }
    tcflag_t cflag() const
    {
        termios t{};
        tcgetattr(far, &t);
        return t.c_cflag;
    }
};

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void opensTheDeviceNamedForThePort();
    void outputArrivesExactly();
    void receivedBytesRaiseOnComm();
    void speedChangesOnTheOpenPort();
    void failuresComeWithTheServiceMessage_data();
    void failuresComeWithTheServiceMessage();
    void portNumberIsRefusedWhileOpen();
    void vanishedDeviceClosesThePort();

private:
    std::unique_ptr<Pty> m_pty;
};

void TestSerialPort::init()
{
    m_pty = std::make_unique<Pty>();
    QVERIFY(!m_pty->path.isEmpty());
    fcntl(m_pty->far, F_SETFL, fcntl(m_pty->far, F_GETFL) | O_NONBLOCK);
    qputenv("TOLVEK_COM1", m_pty->path.toLocal8Bit());
    qputenv("TOLVEK_COM2", "/nonexistent/tolvek-com2");
}

void TestSerialPort::opensTheDeviceNamedForThePort()
{
    SerialCommControl comm;
    QCOMPARE(comm.setCommPort(1), CommError{});
    QCOMPARE(comm.setSettings(QStringLiteral("19200,N,8,1")), CommError{});
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QVERIFY(comm.portOpen());
    QCOMPARE(m_pty->speed(), speed_t(B19200));
    const tcflag_t c = m_pty->cflag();
    QCOMPARE(c & CSIZE, tcflag_t(CS8));
    QVERIFY(!(c & PARENB));
    QVERIFY(!(c & CSTOPB));

    QCOMPARE(comm.setPortOpen(false), CommError{});
    QVERIFY(!comm.portOpen());
    QCOMPARE(comm.setPortOpen(false), CommError{}); // closing a closed port is no failure
}

void TestSerialPort::outputArrivesExactly()
{
    SerialCommControl comm;
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(comm.setOutput("C09\r"), CommError{});
    QCOMPARE(comm.setOutput(all), CommError{});
    // Nothing added, removed or translated on the way.
    QCOMPARE(m_pty->readFar(4 + 256), QByteArray("C09\r") + all);
}

void TestSerialPort::receivedBytesRaiseOnComm()
{
    SerialCommControl comm;
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QSignalSpy spy(&comm, &CommControl::onComm);
    QVERIFY(spy.isValid());
    QCOMPARE(::write(m_pty->far, "\x06", 1), ssize_t(1));
    QVERIFY(spy.wait(5000));
    QCOMPARE(comm.commEvent(), CommControl::kReceive);
    QCOMPARE(comm.input(), QByteArray("\x06"));
    QCOMPARE(comm.input(), QByteArray());
}

void TestSerialPort::speedChangesOnTheOpenPort()
{
    SerialCommControl comm;
    QCOMPARE(comm.setSettings(QStringLiteral("19200,N,8,1")), CommError{});
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QCOMPARE(comm.setSettings(QStringLiteral("9600,N,8,1")), CommError{});
    QVERIFY(comm.portOpen());
    QCOMPARE(m_pty->speed(), speed_t(B9600));
    QCOMPARE(comm.setOutput("CR0\r"), CommError{});
    QCOMPARE(m_pty->readFar(4), QByteArray("CR0\r"));
}

void TestSerialPort::failuresComeWithTheServiceMessage_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("heldElsewhere");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing device") << 2 << false << QStringLiteral("No such file or directory");
    QTest::newRow("held by another program") << 1 << true << QString();
}

void TestSerialPort::failuresComeWithTheServiceMessage()
{
    QFETCH(int, port);
    QFETCH(bool, heldElsewhere);
    QFETCH(QString, message);

    SerialCommControl other;
    if (heldElsewhere)
        QCOMPARE(other.setPortOpen(true), CommError{});

    SerialCommControl comm;
    QCOMPARE(comm.setCommPort(port), CommError{});
    const CommError error = comm.setPortOpen(true);
    QVERIFY(error);
    QVERIFY(!error->isEmpty());
    if (!message.isEmpty())
        QCOMPARE(*error, message);
    QVERIFY(!comm.portOpen());
    const CommError send = comm.setOutput("C00\r");
    QVERIFY(send && !send->isEmpty());
}

void TestSerialPort::portNumberIsRefusedWhileOpen()
{
    SerialCommControl comm;
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QVERIFY(comm.setCommPort(2));
    QCOMPARE(comm.commPort(), 1);
}

void TestSerialPort::vanishedDeviceClosesThePort()
{
    SerialCommControl comm;
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QSignalSpy spy(&comm, &CommControl::onComm);
    m_pty->closeFar();
    QTRY_VERIFY_WITH_TIMEOUT(!comm.portOpen(), 5000);
    QVERIFY(!spy.isEmpty());
    QCOMPARE(comm.commEvent(), CommControl::kDeviceLost);
    QVERIFY(comm.setOutput("C00\r"));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
