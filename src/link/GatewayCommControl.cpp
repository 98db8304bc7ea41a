#include "GatewayCommControl.h"

#include "DeviceName.h"
#include "PortNames.h"

#include <QTcpSocket>

namespace {

// Of what a gateway says as it hangs up, the message shows this much; a flood shows its start.
constexpr qsizetype kFarewellShown = 120;

} // namespace

GatewayCommControl::GatewayCommControl(const TimerFactory &makeTimer, QObject *parent)
    : CommControl(parent)
    , m_socket(new QTcpSocket(this))
    , m_deadline(makeTimer(this))
{
    connect(m_socket, &QTcpSocket::connected, this, &GatewayCommControl::socketConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &GatewayCommControl::received);
    connect(m_socket, &QTcpSocket::disconnected, this, &GatewayCommControl::connectionEnded);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &GatewayCommControl::handleError);
    connect(m_deadline, &Timer::timeout, this, &GatewayCommControl::timeUp);
}

GatewayCommControl::~GatewayCommControl()
{
    (void)setPortOpen(false);
}

CommError GatewayCommControl::openPort()
{
    const DeviceName::Parsed name = DeviceName::parse(portDeviceName(commPort()));
    if (!name.device)
        return name.error;
    m_input.clear();
    m_stage = Stage::Connecting;
    m_readyWhenTimeUp = false;
    // The lookup is part of connecting: the one deadline bounds both.
    m_deadline->setInterval(kOpenTimeout);
    m_deadline->start();
    m_inOpenPort = true;
    m_socket->connectToHost(name.device->host, name.device->port);
    m_inOpenPort = false;
    // A refusal on the loopback may come before connectToHost returns: it is this call's failure.
    return std::exchange(m_failedAtOnce, std::nullopt);
}

void GatewayCommControl::closePort()
{
    m_stage = Stage::Closed; // before the socket says it disconnected: this end is no loss
    m_deadline->stop();
    m_input.clear();
    m_socket->flush();
    m_socket->abort();
}

QByteArray GatewayCommControl::input()
{
    return std::exchange(m_input, {});
}

CommError GatewayCommControl::put(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return std::nullopt;
    return writeNow(*m_socket, bytes);
}

void GatewayCommControl::socketConnected()
{
    if (m_stage != Stage::Connecting)
        return;
    m_stage = Stage::Settling;
    // A command is a few bytes that must not wait for more.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connected();
}

void GatewayCommControl::readyAfter(std::chrono::milliseconds quiet)
{
    m_readyWhenTimeUp = true;
    m_deadline->setInterval(quiet);
    m_deadline->start();
}

void GatewayCommControl::ready(const CommError &failure)
{
    if (m_stage == Stage::Settling)
        finish(failure);
}

void GatewayCommControl::timeUp()
{
    switch (m_stage) {
    case Stage::Closed:
    case Stage::Open:
        return;
    case Stage::Connecting:
        finish(tr("Connection timed out"));
        return;
    case Stage::Settling:
        finish(m_readyWhenTimeUp ? CommError() : notReady());
        return;
    }
    Q_UNREACHABLE();
}

void GatewayCommControl::finish(const CommError &failure)
{
    m_deadline->stop();
    m_stage = failure ? Stage::Closed : Stage::Open;
    if (failure) {
        m_input.clear();
        m_socket->abort();
    }
    if (m_inOpenPort) {
        m_failedAtOnce = failure;
        return;
    }
    emit openFinished(failure);
    // What came while settling (a gateway's greeting, say) is the port's, as it would be on a line.
    if (m_stage == Stage::Open && !m_input.isEmpty())
        raise(CommEvent::Receive);
}

void GatewayCommControl::received()
{
    const Unwrapped got = unwrap(m_socket->readAll());
    if (m_stage == Stage::Closed) // closed by whoever heard the opening end
        return;
    // Kept before answering: an answer to a gateway that has hung up ends the connection here,
    // and what it said before is its reason.
    m_input += got.data;
    (void)put(got.answer); // a connection that fails says so through the socket's own signals
    if (m_stage == Stage::Open && !m_input.isEmpty())
        raise(CommEvent::Receive);
}

void GatewayCommControl::connectionEnded()
{
    switch (m_stage) {
    case Stage::Closed:
    case Stage::Connecting: // a connection that never came up ends in an error
        return;
    case Stage::Settling: {
        // A gateway that turns a client away says why, if at all, just before it hangs up.
        const QString farewell =
            QString::fromUtf8(m_input.first(std::min(m_input.size(), kFarewellShown))).simplified();
        finish(farewell.isEmpty() ? tr("the gateway closed the connection")
                                  : tr("the gateway closed the connection: %1").arg(farewell));
        return;
    }
    case Stage::Open:
        m_stage = Stage::Closed;
        m_socket->abort();
        raise(CommEvent::DeviceLost);
        return;
    }
    Q_UNREACHABLE();
}

void GatewayCommControl::handleError(QAbstractSocket::SocketError error)
{
    switch (error) {
    // The far end closing or resetting: told once, as the end of the connection.
    case QAbstractSocket::RemoteHostClosedError:
        return;
    // What connecting can meet: the opening ends with the message.
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
        if (portOpening())
            finish(m_socket->errorString());
        return;
    // Trouble on the connection itself; one that ends it while opening ends the opening.
    case QAbstractSocket::SocketResourceError:
    case QAbstractSocket::DatagramTooLargeError:
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::OperationError:
    case QAbstractSocket::TemporaryError:
    case QAbstractSocket::UnknownSocketError:
        if (m_socket->state() == QAbstractSocket::ConnectedState) {
            if (portOpen())
                raise(CommEvent::Error);
        } else if (portOpening()) {
            finish(m_socket->errorString());
        }
        return;
    }
    Q_UNREACHABLE();
}
