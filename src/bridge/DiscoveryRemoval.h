#pragma once

#include "MqttClient.h"

#include <QObject>

// Empties the retained discovery configs of one projector on the broker, for someone taking it
// out, and ends once the broker has confirmed every one. It keeps a client id of its own, so a
// bridge still running is not pushed off.
class DiscoveryRemoval final : public QObject
{
    Q_OBJECT

public:
    DiscoveryRemoval(QString id, QString prefix, QObject *parent = nullptr);

    // Connects from the event loop, so that a broker refusing at once ends it there.
    [[nodiscard]] CommError start(const MqttClient::Broker &broker);
    // Says goodbye to the broker; finished follows.
    void stop();

Q_SIGNALS:
    // Done, or the broker's reason why not.
    void finished(const CommError &failure);

private:
    MqttClient m_mqtt{QString()};
    QString m_id;
    QString m_prefix;
};
