#pragma once

#include "MqttClient.h"
#include "Topics.h"
#include "status/NameSender.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

// One projector on the broker. Names from tolvek/ID/set and the polls' queries wait in one queue
// and go on the line one at a time, each once the one before has had its reply or its time-out;
// a name from the broker goes before the queries still waiting. What comes back is published as
// a reply and as retained states, and every retained message again on each new connection.
// The projector is online while its port is open and one of its last two polls was answered.
class Bridge final : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString id;
        QString lineSettings;
        std::chrono::seconds poll{}; // zero: never
        QString discoveryPrefix;     // empty: no discovery
    };

    Bridge(MqttClient &mqtt, Transfer &transfer, Settings settings, QObject *parent = nullptr);

    void start();
    // Offline, a goodbye to the broker, the port closed; then stopped.
    void stop();

Q_SIGNALS:
    // A line for the log: the port lost, failing, open again.
    void note(const QString &line);
    void stopped();

private:
    struct Job
    {
        vocabulary::Named named;
        bool fromBroker = false;
        bool endsPoll = false; // the last query of a poll
    };

    void openPort();
    void portOpened(const CommError &failure);
    void portLost(const QString &failure);
    void refuseWaiting(const QString &failure);
    void refuseJob(const Job &job, const QString &failure);
    static QString notSent(const QString &failure);
    // A message about the port, naming it and its device.
    QString portMessage(const QString &message) const;
    void brokerConnected();
    void take(const MqttClient::Message &message);
    void queuePoll();
    void sendNext();
    void answered(const NameSender::Outcome &outcome);
    void sent(const CommError &failure);
    void showAvailability();
    void publish(const bridge::Publication &publication);
    void refuse(const QByteArray &payload, const QString &error);

    MqttClient &m_mqtt;
    Transfer &m_transfer;
    NameSender m_sender;
    Settings m_settings;
    QTimer m_pollTimer;
    QList<Job> m_queue;
    std::optional<Job> m_current;
    QList<bridge::Publication> m_retained; // the last payload of each retained topic
    bool m_portOpen = false;
    QString m_portFailure; // noted once while it lasts
    int m_silentPolls = 0;
    bool m_pollHeard = false;
    std::optional<bool> m_online;
    bool m_stopping = false;
};
