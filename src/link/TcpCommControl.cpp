#include "TcpCommControl.h"

#include "DeviceName.h"
#include "PortNames.h"

#include <QTcpSocket>

TcpCommControl::TcpCommControl(QObject *parent)
    : CommControl(parent)
    , m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { raise(CommEvent::Receive); });
    connect(m_socket, &QTcpSocket::disconnected, this, &TcpCommControl::connectionEnded);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TcpCommControl::handleError);
}

TcpCommControl::~TcpCommControl()
{
    (void)setPortOpen(false);
}

void TcpCommControl::closePort()
{
    m_open = false; // before the socket says it disconnected: this end is no loss
    m_socket->flush();
    m_socket->abort();
}

CommError TcpCommControl::openPort()
{
    const DeviceName::Parsed name = DeviceName::parse(portDeviceName(commPort()));
    if (!name.device)
        return name.error;
    m_socket->connectToHost(name.device->host, name.device->port);
    // Blocking, as opening a serial device is, and bounded.
    if (!m_socket->waitForConnected(int(kConnectTimeout.count()))) {
        const QString message = m_socket->errorString();
        m_socket->abort();
        return message;
    }
    m_open = true;
    return std::nullopt;
}

CommError TcpCommControl::write(const QByteArray &bytes)
{
    if (m_socket->write(bytes) != bytes.size())
        return m_socket->errorString();
    // Out now rather than at the next turn of the event loop, as with the serial port.
    m_socket->flush();
    return std::nullopt;
}

QByteArray TcpCommControl::input()
{
    return m_socket->readAll();
}

void TcpCommControl::connectionEnded()
{
    if (!m_open)
        return;
    m_open = false;
    m_socket->abort();
    raise(CommEvent::DeviceLost);
}

void TcpCommControl::handleError(QAbstractSocket::SocketError error)
{
    switch (error) {
    // The far end closing or resetting: told once, as the end of the connection.
    case QAbstractSocket::RemoteHostClosedError:
        return;
    // What connecting can meet: the opening returns the message.
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::SocketAccessError:
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::AddressInUseError:
    case QAbstractSocket::SocketAddressNotAvailableError:
    case QAbstractSocket::UnsupportedSocketOperationError:
    case QAbstractSocket::UnfinishedSocketOperationError:
    case QAbstractSocket::ProxyAuthenticationRequiredError:
    case QAbstractSocket::ProxyConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::ProxyNotFoundError:
    case QAbstractSocket::ProxyProtocolError:
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return;
    // Trouble on the connection itself.
    case QAbstractSocket::SocketResourceError:
    case QAbstractSocket::DatagramTooLargeError:
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::OperationError:
    case QAbstractSocket::TemporaryError:
    case QAbstractSocket::UnknownSocketError:
        if (m_open && m_socket->state() == QAbstractSocket::ConnectedState)
            raise(CommEvent::Error);
        return;
    }
    Q_UNREACHABLE();
}
