// The serial control over QSerialPort, against a real pseudo-terminal pair made by the test.
#include "Pty.h"
#include "link/SerialCommControl.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// What stands between the control and the device.
enum class Obstacle : unsigned char { None, Held, NoPermission };

} // namespace

Q_DECLARE_METATYPE(Obstacle)

class TestSerialPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void opensSendsAndChangesSpeedWhileOpen();
    void failuresSayWhatIsWrong_data();
    void failuresSayWhatIsWrong();
    void vanishedDeviceClosesThePort();
    void anyPathLeadsToTheDevice_data();
    void anyPathLeadsToTheDevice();

private:
    std::unique_ptr<Pty> m_pty;
};

void TestSerialPort::init()
{
    m_pty = std::make_unique<Pty>();
    QVERIFY(!m_pty->path.isEmpty());
    qputenv("TOLVEK_COM1", m_pty->path.toLocal8Bit());
    qputenv("TOLVEK_COM2", "/nonexistent/tolvek-com2");
}

void TestSerialPort::opensSendsAndChangesSpeedWhileOpen()
{
    SerialCommControl comm;
    QCOMPARE(comm.setSettings(QStringLiteral("19200,N,8,1")), CommError{});
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QVERIFY(comm.portOpen());
    termios t = m_pty->attributes();
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
    QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
    QVERIFY(comm.setCommPort(2)); // refused while open
    QCOMPARE(comm.commPort(), 1);

    // Every byte value goes out as it is: nothing added, removed or translated.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(comm.setOutput("C09\r"), CommError{});
    QCOMPARE(comm.setOutput(all), CommError{});
    QCOMPARE(m_pty->readFar(4 + 256), QByteArray("C09\r") + all);

    QCOMPARE(comm.setSettings(QStringLiteral("9600,N,8,1")), CommError{});
    QVERIFY(comm.portOpen());
    t = m_pty->attributes();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(comm.setOutput("CR0\r"), CommError{});
    QCOMPARE(m_pty->readFar(4), QByteArray("CR0\r"));

    QCOMPARE(comm.setPortOpen(false), CommError{});
    QCOMPARE(comm.setPortOpen(false), CommError{}); // closing a closed port is no failure
}

void TestSerialPort::failuresSayWhatIsWrong_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<Obstacle>("obstacle");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing device") << 2 << Obstacle::None << QStringLiteral("No such file or directory");
    // The other holder is in this process, so the lock names this process.
    QTest::newRow("held by another program")
        << 1 << Obstacle::Held
        << QStringLiteral("The device is in use by another program (PID %1).").arg(QCoreApplication::applicationPid());
    QTest::newRow("not permitted") << 1 << Obstacle::NoPermission
                                   << QStringLiteral(
                                          "Permission denied. To open serial devices, join the dialout group "
                                          "(sudo adduser $USER dialout), then log out and in again.");
}

void TestSerialPort::failuresSayWhatIsWrong()
{
    QFETCH(int, port);
    QFETCH(Obstacle, obstacle);
    QFETCH(QString, message);

    SerialCommControl other;
    switch (obstacle) {
    case Obstacle::None:
        break;
    case Obstacle::Held:
        QCOMPARE(other.setPortOpen(true), CommError{});
        break;
    case Obstacle::NoPermission:
        if (geteuid() == 0)
            QSKIP("root opens a device whatever its permissions; run as another user to check this row");
        QCOMPARE(::chmod(m_pty->path.toLocal8Bit().constData(), 0), 0);
        break;
    }

    SerialCommControl comm;
    QCOMPARE(comm.setCommPort(port), CommError{});
    QCOMPARE(comm.setPortOpen(true), CommError(message));
    QVERIFY(!comm.portOpen());
    const CommError send = comm.setOutput("C00\r");
    QVERIFY(send && !send->isEmpty());
}

void TestSerialPort::vanishedDeviceClosesThePort()
{
    SerialCommControl comm;
    QCOMPARE(comm.setPortOpen(true), CommError{});
    QSignalSpy spy(&comm, &CommControl::onComm);
    m_pty->closeFar();
    QTRY_VERIFY_WITH_TIMEOUT(!comm.portOpen(), 5000);
    QVERIFY(!spy.isEmpty());
    QCOMPARE(comm.commEvent(), CommEvent::DeviceLost);
    QVERIFY(comm.setOutput("C00\r"));
}

void TestSerialPort::anyPathLeadsToTheDevice_data()
{
    QTest::addColumn<QByteArray>("link");               // made in a scratch folder, to the pseudo-terminal
    QTest::newRow("long name") << QByteArray(200, 'l'); // with its folders, past 255 bytes
    QTest::newRow("name not UTF-8") << QByteArray("projector-\xe9\xff");
}

void TestSerialPort::anyPathLeadsToTheDevice()
{
    QFETCH(QByteArray, link);
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/tolvek-serialport-XXXXXX"));
    QByteArray path = QFile::encodeName(scratch.path()) + '/';
    while (path.size() + link.size() < 255)
        path += "dir/";
    QVERIFY(QDir().mkpath(QFile::decodeName(path)));
    path += link;
    QCOMPARE(::symlink(m_pty->path.toLocal8Bit().constData(), path.constData()), 0);
    qputenv("TOLVEK_COM2", path);

    SerialCommControl byLink;
    QCOMPARE(byLink.setCommPort(2), CommError{});
    QCOMPARE(byLink.setPortOpen(true), CommError{});
    QCOMPARE(byLink.setOutput("C00\r"), CommError{});
    QCOMPARE(m_pty->readFar(4), QByteArray("C00\r"));
    // One device, one holder, whichever path each took to it; root included.
    SerialCommControl byName;
    QVERIFY(byName.setPortOpen(true));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
