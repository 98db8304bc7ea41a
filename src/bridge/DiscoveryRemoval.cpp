#include "DiscoveryRemoval.h"

#include "Topics.h"

DiscoveryRemoval::DiscoveryRemoval(QString id, QString prefix, QObject *parent)
    : QObject(parent)
    , m_id(std::move(id))
    , m_prefix(std::move(prefix))
{
    connect(&m_mqtt, &MqttClient::connected, this, [this] {
        for (const bridge::Publication &p : bridge::removal(m_id, m_prefix))
            (void)m_mqtt.publish(p, MqttClient::Delivery::Confirmed);
    });
    connect(&m_mqtt, &MqttClient::published, &m_mqtt, &MqttClient::disconnectFromBroker);
    // Taking a projector out is one try: a broker that cannot be reached is the caller's to say.
    connect(
        &m_mqtt, &MqttClient::connectionLost, this, [this](const QString &reason) { emit finished(reason); },
        Qt::SingleShotConnection);
    connect(&m_mqtt, &MqttClient::finished, this, [this] { emit finished(std::nullopt); });
}

CommError DiscoveryRemoval::start(const MqttClient::Broker &broker)
{
    if (CommError e = m_mqtt.configure(broker))
        return e;
    QMetaObject::invokeMethod(&m_mqtt, &MqttClient::connectToBroker, Qt::QueuedConnection);
    return std::nullopt;
}

void DiscoveryRemoval::stop()
{
    m_mqtt.disconnectFromBroker();
}
