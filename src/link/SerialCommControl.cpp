#include "SerialCommControl.h"

#include "LineFormat.h"
#include "PortNames.h"

#include <QSerialPort>

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
    const std::optional<LineFormat> s = LineFormat::parse(settings());
    Q_ASSERT(s);
    if (!m_port->setBaudRate(s->baudRate) || !m_port->setParity(s->parity) || !m_port->setDataBits(s->dataBits)
        || !m_port->setStopBits(s->stopBits) || !m_port->setFlowControl(QSerialPort::NoFlowControl))
        return m_port->errorString();
    return std::nullopt;
}

bool SerialCommControl::portOpen() const
{
    return m_port->isOpen();
}

CommError SerialCommControl::openPort()
{
    m_port->setPortName(portDevicePath(commPort()));
    if (!m_port->open(QIODevice::ReadWrite))
        return m_port->errorString();
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
    if (m_port->write(bytes) != bytes.size())
        return m_port->errorString();
    // QSerialPort would otherwise leave the bytes for the next turn of the event loop.
    m_port->flush();
    return std::nullopt;
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
