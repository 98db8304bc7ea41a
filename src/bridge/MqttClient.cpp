#include "MqttClient.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>

namespace {

using namespace std::chrono_literals;

// A clean goodbye is a packet written and the socket closed; past this the broker is left to see
// the socket close on its own.
constexpr auto kGoodbye = 2s;
constexpr int kSubscribeQos = 1;
constexpr int kWillQos = 1;
constexpr const char *kSystemAuthorities = "/etc/ssl/certs";

void useLibrary()
{
    struct Library
    {
        Library() { mosquitto_lib_init(); }
        ~Library() { mosquitto_lib_cleanup(); }
        Library(const Library &) = delete;
        Library &operator=(const Library &) = delete;
    };
    static const Library library;
}

// The library's sentences without their full stops, to go inside ours.
QString clause(const char *sentence)
{
    QString text = QString::fromUtf8(sentence);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

QString describe(int result)
{
    // The library's text for a system error is "see errno"; the system's own is the useful one.
    return clause(result == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(result));
}

CommError refusal(int result)
{
    return result == MOSQ_ERR_SUCCESS ? CommError() : describe(result);
}

MqttClient *clientOf(void *self)
{
    return static_cast<MqttClient *>(self);
}

} // namespace

void MqttClient::Destroy::operator()(mosquitto *handle) const
{
    mosquitto_destroy(handle);
}

MqttClient::MqttClient(const QString &clientId, QObject *parent)
    : QObject(parent)
    , m_keepAlive(new QTimer(this))
    , m_retry(new QTimer(this))
    , m_goodbye(new QTimer(this))
{
    useLibrary();
    const QByteArray id = clientId.toUtf8();
    m_handle.reset(mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this));
    if (!m_handle)
        qFatal("No MQTT client: %s", std::strerror(errno));
    mosquitto_connect_callback_set(m_handle.get(),
                                   [](mosquitto *, void *self, int result) { clientOf(self)->onConnect(result); });
    mosquitto_disconnect_callback_set(
        m_handle.get(), [](mosquitto *, void *self, int result) { clientOf(self)->onDisconnect(result); });
    mosquitto_message_callback_set(m_handle.get(), [](mosquitto *, void *self, const mosquitto_message *m) {
        emit clientOf(self)->received(
            {QByteArray(m->topic), QByteArray(static_cast<const char *>(m->payload), m->payloadlen), m->retain});
    });

    mosquitto_publish_callback_set(m_handle.get(), [](mosquitto *, void *self, int) {
        MqttClient *client = clientOf(self);
        if (client->m_unpublished > 0 && --client->m_unpublished == 0)
            emit client->published();
    });
    mosquitto_log_callback_set(m_handle.get(), [](mosquitto *, void *self, int level, const char *text) {
        if (level == MOSQ_LOG_ERR)
            clientOf(self)->m_libraryError = QString::fromUtf8(text);
    });

    // The library sends its pings and notices a silent broker only when asked to look.
    m_keepAlive->setInterval(kTiming.keepAlive / 4);
    connect(m_keepAlive, &QTimer::timeout, this, &MqttClient::keepAlive);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &MqttClient::attempt);
    m_goodbye->setSingleShot(true);
    m_goodbye->setInterval(kGoodbye);
    connect(m_goodbye, &QTimer::timeout, this, &MqttClient::finish);
}

MqttClient::~MqttClient()
{
    // The notifiers go before the handle closes their socket.
    delete std::exchange(m_readable, nullptr);
    delete std::exchange(m_writable, nullptr);
}

CommError MqttClient::configure(const Broker &broker, const std::optional<Message> &will)
{
    mosquitto *h = m_handle.get();
    if (!broker.username.isEmpty()) {
        const QByteArray password = broker.password;
        if (CommError e = refusal(mosquitto_username_pw_set(h, broker.username.toUtf8().constData(),
                                                            password.isEmpty() ? nullptr : password.constData())))
            return e;
    }
    if (broker.tls) {
        // Not MOSQ_OPT_TLS_USE_OS_CERTS: with it alone libmosquitto 2.0.11 makes one attempt and no more.
        const QByteArray caFile = QFile::encodeName(broker.caFile);
        const int result =
            mosquitto_tls_set(h, caFile.isEmpty() ? nullptr : caFile.constData(),
                              caFile.isEmpty() ? kSystemAuthorities : nullptr, nullptr, nullptr, nullptr);
        if (result != MOSQ_ERR_SUCCESS)
            return QStringLiteral("cannot read the CA file %1").arg(broker.caFile);
    }
    if (will)
        if (CommError e = refusal(mosquitto_will_set(h, will->topic.constData(), int(will->payload.size()),
                                                     will->payload.constData(), kWillQos, will->retain)))
            return e;
    m_host = broker.host.toUtf8();
    m_port = broker.port;
    return std::nullopt;
}

void MqttClient::connectToBroker()
{
    m_keepAlive->start();
    attempt();
}

void MqttClient::attempt()
{
    // Each attempt from the start: after a failed TLS handshake the library cannot reconnect.
    const int result =
        mosquitto_connect_async(m_handle.get(), m_host.constData(), m_port, int(kTiming.keepAlive.count()));
    watchSocket();
    if (result != MOSQ_ERR_SUCCESS)
        retryLater(describe(result));
}

void MqttClient::retryLater(QString reason)
{
    // What the library logged says more: what in TLS went wrong.
    if (const QString detail = std::exchange(m_libraryError, QString()); !detail.isEmpty())
        reason += QStringLiteral(" (%1)").arg(detail);
    const std::chrono::seconds delay = retryDelay(m_attempts);
    if (delay < kTiming.longestRetry)
        ++m_attempts;
    m_retry->start(delay);
    emit connectionLost(reason, delay);
}

void MqttClient::onConnect(int result)
{
    if (result != 0) {
        // Refused by the broker: the library closes the connection, and onDisconnect follows.
        m_refusal = clause(mosquitto_connack_string(result));
        return;
    }
    m_attempts = 0;
    m_connected = true;
    emit connected();
}

void MqttClient::onDisconnect(int result)
{
    m_connected = false;
    m_unpublished = 0; // what was not written is lost with the connection
    if (m_leaving) {
        // After the socket is closed, not inside the library's call.
        QMetaObject::invokeMethod(this, &MqttClient::finish, Qt::QueuedConnection);
        return;
    }
    const QString refusal = std::exchange(m_refusal, QString());
    retryLater(refusal.isEmpty() ? describe(result) : refusal);
}

void MqttClient::watchSocket()
{
    const int socket = mosquitto_socket(m_handle.get());
    if (socket != m_socket) {
        delete std::exchange(m_readable, nullptr);
        delete std::exchange(m_writable, nullptr);
        m_socket = socket;
        if (socket >= 0) {
            m_readable = new QSocketNotifier(socket, QSocketNotifier::Read, this);
            connect(m_readable, &QSocketNotifier::activated, this, &MqttClient::readSocket);
            m_writable = new QSocketNotifier(socket, QSocketNotifier::Write, this);
            connect(m_writable, &QSocketNotifier::activated, this, &MqttClient::writeSocket);
        }
    }
    if (m_writable)
        m_writable->setEnabled(mosquitto_want_write(m_handle.get()));
}

void MqttClient::readSocket()
{
    afterLoop(mosquitto_loop_read(m_handle.get(), 1));
}

void MqttClient::writeSocket()
{
    afterLoop(mosquitto_loop_write(m_handle.get(), 1));
}

void MqttClient::keepAlive()
{
    if (m_socket >= 0)
        afterLoop(mosquitto_loop_misc(m_handle.get()));
}

void MqttClient::afterLoop(int result)
{
    watchSocket();
    // A TLS handshake that fails closes the socket without the disconnect callback.
    if (m_socket < 0 && !m_leaving && !m_retry->isActive()) {
        m_connected = false;
        retryLater(describe(result));
    }
}

CommError MqttClient::publish(const Message &message, Delivery delivery)
{
    if (!m_connected)
        return QStringLiteral("not connected");
    const int result =
        mosquitto_publish(m_handle.get(), nullptr, message.topic.constData(), int(message.payload.size()),
                          message.payload.constData(), delivery == Delivery::Confirmed ? 1 : 0, message.retain);
    if (result == MOSQ_ERR_SUCCESS)
        ++m_unpublished;
    watchSocket();
    return refusal(result);
}

CommError MqttClient::subscribe(const QByteArray &topic)
{
    const int result = mosquitto_subscribe(m_handle.get(), nullptr, topic.constData(), kSubscribeQos);
    watchSocket();
    return refusal(result);
}

void MqttClient::disconnectFromBroker()
{
    m_leaving = true;
    m_retry->stop();
    m_keepAlive->stop();
    if (mosquitto_disconnect(m_handle.get()) != MOSQ_ERR_SUCCESS) {
        QMetaObject::invokeMethod(this, &MqttClient::finish, Qt::QueuedConnection);
        return;
    }
    watchSocket();
    m_goodbye->start();
}

void MqttClient::finish()
{
    m_goodbye->stop();
    if (!std::exchange(m_finished, true))
        emit finished();
}
