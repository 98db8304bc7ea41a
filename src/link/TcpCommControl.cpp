#include "TcpCommControl.h"

#include "PortNames.h"

#include <QTcpSocket>
#include <QUrl>

namespace {

const QString kScheme = QStringLiteral("tcp");

struct Address
{
    QString host;
    quint16 port = 0;
};

std::optional<Address> addressOf(const QString &device)
{
    const QUrl url(device, QUrl::StrictMode);
    const int port = url.port();
    if (!url.isValid() || url.scheme().compare(kScheme, Qt::CaseInsensitive) != 0 || url.host().isEmpty() || port <= 0
        || !url.userInfo().isEmpty() || !url.path().isEmpty() || url.hasQuery() || url.hasFragment())
        return std::nullopt;
    return Address{url.host(), quint16(port)};
}

} // namespace

bool TcpCommControl::carries(const QString &device)
{
    return device.startsWith(kScheme + QStringLiteral("://"), Qt::CaseInsensitive);
}

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
    const QString device = portDeviceName(commPort());
    const std::optional<Address> address = addressOf(device);
    if (!address)
        return tr("\"%1\" is not a network device of the form tcp://HOST:PORT.").arg(device);
    m_socket->connectToHost(address->host, address->port);
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
