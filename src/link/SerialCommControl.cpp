#include "SerialCommControl.h"

#include "LineFormat.h"
#include "PortNames.h"

#include <QFile>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The lock Qt's serial port takes on a device: LCK.. and its path below /dev, '/' made '_'.
QString lockFilePath(const QString &device)
{
    constexpr QLatin1StringView kDevices("/dev/");
    QString name = device;
    if (name.startsWith(kDevices))
        name.remove(0, kDevices.size());
    return QStringLiteral("/run/lock/LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

// The process the device's lock names, if it is running (another user's counts).
std::optional<qint64> lockHolder(const QString &device)
{
    QFile lock(lockFilePath(device));
    if (!lock.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool number = false;
    const qint64 pid = lock.readLine().trimmed().toLongLong(&number);
    if (!number || pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
        return std::nullopt;
    return pid;
}
#endif

} // namespace

SerialCommControl::SerialCommControl(QObject *parent)
    : CommControl(parent)
    , m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, [this] { raise(CommEvent::Receive); });
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { handleError(error); });
}

SerialCommControl::~SerialCommControl()
{
    // The port goes with the window; release the device before anything else is torn down.
    m_port->close();
}

CommError SerialCommControl::applySettings()
{
    const LineFormat &line = lineFormat();
    if (!m_port->setBaudRate(line.baudRate) || !m_port->setParity(line.parity) || !m_port->setDataBits(line.dataBits)
        || !m_port->setStopBits(line.stopBits) || !m_port->setFlowControl(QSerialPort::NoFlowControl))
        return m_port->errorString();
    return std::nullopt;
}

bool SerialCommControl::portOpen() const
{
    return m_port->isOpen();
}

CommError SerialCommControl::openPort()
{
    const QString device = portDevicePath(commPort());
    m_port->setPortName(device);
    if (!m_port->open(QIODevice::ReadWrite))
        return openingFailure(device);
    if (CommError e = applySettings()) {
        m_port->close();
        return e;
    }
    return std::nullopt;
}

void SerialCommControl::closePort()
{
    m_port->close();
}

CommError SerialCommControl::write(const QByteArray &bytes)
{
    return writeNow(*m_port, bytes);
}

CommError SerialCommControl::openingFailure(const QString &device) const
{
    // Qt reports a device held by another program and one the user may not open alike, as a
    // permission error; each has its own fix.
    const QString message = m_port->errorString();
#ifdef Q_OS_UNIX
    if (m_port->error() != QSerialPort::PermissionError)
        return message;
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return tr("%1. To open serial devices, join the dialout group (sudo adduser $USER dialout), then log "
                  "out and in again.")
            .arg(qt_error_string(EACCES));
    if (const std::optional<qint64> pid = lockHolder(device))
        return tr("The device is in use by another program (PID %1).").arg(*pid);
    // Opened for itself alone by a program that takes no lock.
    if (message == qt_error_string(EBUSY))
        return tr("The device is in use by another program.");
#endif
    return message;
}

QByteArray SerialCommControl::input()
{
    return m_port->readAll();
}

void SerialCommControl::handleError(int error)
{
    switch (QSerialPort::SerialPortError(error)) {
    // Nothing, or the failure of an operation the panel asked for: that operation returns the message.
    case QSerialPort::NoError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::NotOpenError:
    case QSerialPort::UnsupportedOperationError:
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
        // The device is gone (adapter pulled, far end of a pseudo-terminal closed; Qt 6.4
        // reports the latter as a read error). Left open, the port would spin on endless
        // errors; closed, the next send reports it.
        m_port->close();
        raise(CommEvent::DeviceLost);
        return;
    case QSerialPort::WriteError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnknownError:
        raise(CommEvent::Error);
        return;
    }
    Q_UNREACHABLE();
}
