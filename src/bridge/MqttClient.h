#pragma once

#include "link/CommControl.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

struct mosquitto;
class QSocketNotifier;
class QTimer;

// One client of an MQTT broker (3.1.1) through libmosquitto, run by the event loop: notifiers on
// the library's socket and a timer for its keep-alive, no thread. A lost connection is made again
// after a back-off, until disconnectFromBroker. The library's callbacks come out as signals.
class MqttClient final : public QObject
{
    Q_OBJECT

public:
    struct Broker
    {
        QString host;
        quint16 port = 0;
        bool tls = false;
        QString caFile; // with tls: the authorities to trust; empty, the system's
        QString username;
        QByteArray password;
    };

    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;

        bool operator==(const Message &) const = default;
    };

    // The keep-alive, and the back-off the library's own loop takes between attempts (the first
    // delay times the square of the attempt, up to the longest).
    struct Timing
    {
        std::chrono::seconds keepAlive;
        std::chrono::seconds firstRetry;
        std::chrono::seconds longestRetry;
    };
    static constexpr Timing kTiming{std::chrono::seconds{60}, std::chrono::seconds{1}, std::chrono::seconds{60}};
    static constexpr std::chrono::seconds retryDelay(int attempt, Timing timing = kTiming)
    {
        const auto n = std::chrono::seconds::rep(attempt) + 1;
        return std::min(timing.firstRetry * n * n, timing.longestRetry);
    }

    // An empty id: the library makes one up.
    explicit MqttClient(const QString &clientId, QObject *parent = nullptr);
    ~MqttClient() override;

    // Credentials, TLS and the last will, before connecting. A file that does not do is refused.
    [[nodiscard]] CommError configure(const Broker &broker, const std::optional<Message> &will = std::nullopt);
    void connectToBroker();
    bool isConnected() const { return m_connected; }
    // What we say goes at most once, unless it must be confirmed; what we listen to comes at
    // least once. Refused while not connected.
    enum class Delivery : quint8 { AtMostOnce, Confirmed };
    [[nodiscard]] CommError publish(const Message &message, Delivery delivery = Delivery::AtMostOnce);
    [[nodiscard]] CommError subscribe(const QByteArray &topic);
    // Says goodbye to the broker, after what is queued; finished follows, once.
    void disconnectFromBroker();

Q_SIGNALS:
    void connected();
    // The connection was lost or could not be made; the next attempt is due in retryIn.
    void connectionLost(const QString &reason, std::chrono::seconds retryIn);
    void received(const MqttClient::Message &message);
    void finished();
    // Everything published is written, and what was to be confirmed confirmed by the broker.
    void published();

private:
    struct Destroy
    {
        void operator()(mosquitto *handle) const;
    };

    void onConnect(int result);
    void onDisconnect(int result);
    void attempt();
    void retryLater(QString reason);
    void watchSocket();
    void readSocket();
    void writeSocket();
    void keepAlive();
    void afterLoop(int result);
    void finish();

    std::unique_ptr<mosquitto, Destroy> m_handle;
    QByteArray m_host;
    int m_port = 0;
    QString m_refusal;      // the broker's reason for refusing the last connection
    QString m_libraryError; // the library's last logged error
    QSocketNotifier *m_readable = nullptr;
    QSocketNotifier *m_writable = nullptr;
    int m_socket = -1;
    QTimer *m_keepAlive = nullptr;
    QTimer *m_retry = nullptr;
    QTimer *m_goodbye = nullptr;
    int m_attempts = 0;
    bool m_connected = false;
    bool m_leaving = false;
    bool m_finished = false;
    int m_unpublished = 0;
};
