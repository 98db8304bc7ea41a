#include "Bridge.h"

#include "commands/Names.h"
#include "link/PortNames.h"

#include <algorithm>

namespace {

// Polls in a row without a reply before the projector is offline.
constexpr int kSilentPollsOffline = 2;

} // namespace

Bridge::Bridge(MqttClient &mqtt, Transfer &transfer, Settings settings, QObject *parent)
    : QObject(parent)
    , m_mqtt(mqtt)
    , m_transfer(transfer)
    , m_sender(transfer)
    , m_settings(std::move(settings))
{
    connect(&m_sender, &NameSender::answered, this, &Bridge::answered);
    connect(&m_sender, &NameSender::finished, this, &Bridge::sent);
    connect(&m_mqtt, &MqttClient::connected, this, &Bridge::brokerConnected);
    connect(&m_mqtt, &MqttClient::received, this, &Bridge::take);
    connect(&m_mqtt, &MqttClient::finished, this, &Bridge::stopped);
    connect(&m_transfer.comm(), &CommControl::openFinished, this, &Bridge::portOpened);
    // A device lost between names is noticed as one lost during a name is: the next command
    // or poll opens the port again.
    connect(&m_transfer.comm(), &CommControl::onComm, this, [this] {
        CommControl &comm = m_transfer.comm();
        if (comm.commEvent() == CommEvent::DeviceLost && m_portOpen)
            portLost(portMessage(comm.writeRefusal().value_or(QString())));
    });
    m_pollTimer.setInterval(m_settings.poll);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        if (!m_portOpen)
            openPort(); // a poll of its own once open
        else
            queuePoll();
    });
}

void Bridge::start()
{
    if (!m_settings.discoveryPrefix.isEmpty())
        m_retained = bridge::discovery(m_settings.id, m_settings.discoveryPrefix);
    openPort();
    if (m_settings.poll.count() > 0)
        m_pollTimer.start();
    m_mqtt.connectToBroker();
}

void Bridge::stop()
{
    if (std::exchange(m_stopping, true))
        return;
    m_pollTimer.stop();
    m_transfer.close();
    if (m_mqtt.isConnected())
        (void)m_mqtt.publish(bridge::availability(m_settings.id, false));
    m_mqtt.disconnectFromBroker();
}

// Every opening of the port, first and again, goes through here and ends in portOpened, at
// once or, for a gateway, once it has answered.
void Bridge::openPort()
{
    CommControl &comm = m_transfer.comm();
    if (comm.portOpening())
        return;
    CommError failure = comm.setSettings(m_settings.lineSettings);
    if (!failure)
        failure = comm.setPortOpen(true);
    if (!failure && comm.portOpening())
        return;
    portOpened(failure);
}

void Bridge::portOpened(const CommError &failure)
{
    if (failure) {
        const QString message = portMessage(*failure);
        if (std::exchange(m_portFailure, message) != message)
            emit note(message);
        refuseWaiting(message);
        showAvailability();
        return;
    }
    m_portOpen = true;
    m_silentPolls = 0;
    if (!std::exchange(m_portFailure, QString()).isEmpty())
        emit note(portMessage(QStringLiteral("open again")));
    showAvailability();
    if (m_settings.poll.count() > 0)
        queuePoll();
    // Names from the broker may have waited for a gateway to answer.
    sendNext();
}

QString Bridge::portMessage(const QString &message) const
{
    return onPort(m_transfer.comm().commPort(), message);
}

void Bridge::portLost(const QString &failure)
{
    m_transfer.close();
    m_portOpen = false;
    m_pollHeard = false;
    m_portFailure = failure;
    emit note(failure);
    refuseWaiting(failure);
    showAvailability();
}

void Bridge::refuseWaiting(const QString &failure)
{
    for (const Job &job : std::exchange(m_queue, {}))
        if (job.fromBroker)
            refuseJob(job, failure);
}

void Bridge::refuseJob(const Job &job, const QString &failure)
{
    refuse(QByteArray(job.named.name.data(), qsizetype(job.named.name.size())), notSent(failure));
}

QString Bridge::notSent(const QString &failure)
{
    return QStringLiteral("not sent: %1").arg(failure);
}

void Bridge::brokerConnected()
{
    (void)m_mqtt.subscribe(bridge::topicOf(m_settings.id, bridge::kSet));
    for (const bridge::Publication &p : std::as_const(m_retained))
        (void)m_mqtt.publish(p);
}

void Bridge::take(const MqttClient::Message &message)
{
    if (message.topic != bridge::topicOf(m_settings.id, bridge::kSet) || m_stopping)
        return;
    if (message.payload.size() > bridge::kLongestPayload)
        return refuse(message.payload.first(bridge::kLongestPayload),
                      QStringLiteral("longer than %1 bytes").arg(bridge::kLongestPayload));
    // A retained command would be sent again at every start of the bridge.
    if (message.retain)
        return refuse(message.payload, QStringLiteral("retained: a command is published without retain"));
    const QString name = QString::fromUtf8(message.payload);
    const std::optional<vocabulary::Named> named = vocabulary::findName(name);
    if (!named) {
        const QStringList close = vocabulary::closeNames(name);
        return refuse(message.payload,
                      close.isEmpty() ? QStringLiteral("unknown name")
                                      : QStringLiteral("unknown name; close names: %1").arg(close.join(u", ")));
    }
    if (!m_portOpen)
        openPort();
    // A command met by a gateway still connecting waits for it, as a poll does.
    if (!m_portOpen && !m_transfer.comm().portOpening())
        return refuse(message.payload, notSent(m_portFailure));
    // The states after each command: a poll begun before it starts again after it.
    const bool pollWaiting = m_queue.removeIf([](const Job &job) { return !job.fromBroker; }) > 0;
    m_queue.append(Job{*named, true, false});
    if (pollWaiting || !named->query)
        queuePoll();
    sendNext();
}

void Bridge::queuePoll()
{
    if (std::any_of(m_queue.begin(), m_queue.end(), [](const Job &job) { return !job.fromBroker; }))
        return;
    for (const vocabulary::Named &named : vocabulary::everyName())
        if (named.query)
            m_queue.append({named, false, false});
    m_queue.last().endsPoll = true;
    sendNext();
}

void Bridge::sendNext()
{
    if (m_current || m_queue.isEmpty() || !m_portOpen || m_stopping)
        return;
    m_current = m_queue.takeFirst();
    m_sender.start({m_current->named});
}

void Bridge::answered(const NameSender::Outcome &outcome)
{
    publish(bridge::replyOf(m_settings.id, outcome));
    for (const bridge::Publication &state : bridge::statesOf(m_settings.id, outcome))
        publish(state);
    if (outcome.ok) {
        m_silentPolls = 0;
        m_pollHeard = true;
    }
    if (m_current && m_current->endsPoll && !std::exchange(m_pollHeard, false))
        ++m_silentPolls;
    showAvailability();
}

void Bridge::sent(const CommError &failure)
{
    const std::optional<Job> job = std::exchange(m_current, std::nullopt);
    if (failure) {
        if (job && job->fromBroker)
            refuseJob(*job, *failure);
        if (m_portOpen) // else the loss was told as it came
            portLost(*failure);
        return;
    }
    sendNext();
}

void Bridge::showAvailability()
{
    const bool online = m_portOpen && m_silentPolls < kSilentPollsOffline;
    if (std::exchange(m_online, online) != online)
        publish(bridge::availability(m_settings.id, online));
}

void Bridge::publish(const bridge::Publication &publication)
{
    if (publication.retain) {
        const auto same = std::find_if(m_retained.begin(), m_retained.end(),
                                       [&](const bridge::Publication &p) { return p.topic == publication.topic; });
        if (same == m_retained.end())
            m_retained.append(publication);
        else
            *same = publication;
    }
    if (m_mqtt.isConnected())
        (void)m_mqtt.publish(publication);
}

void Bridge::refuse(const QByteArray &payload, const QString &error)
{
    publish(bridge::errorOf(m_settings.id, payload, error));
}
