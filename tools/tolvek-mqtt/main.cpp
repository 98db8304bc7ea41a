// tolvek-mqtt: one projector on an MQTT broker, for Home Assistant and any other MQTT system.
#include "bridge/Bridge.h"
#include "bridge/Options.h"
#include "link/DeviceCommControl.h"
#include "link/PortNames.h"
#include "process/OptionsHelp.h"
#include "process/TerminationSignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

namespace {

enum class Exit : int { Ended = 0, Usage = 2, BrokerFailed = 3 };

const QString kProgram = QStringLiteral("tolvek-mqtt");

void say(const QString &line)
{
    QTextStream(stderr) << kProgram << ": " << line << Qt::endl;
}

int usage(const QString &message)
{
    QTextStream(stderr) << usageFault(kProgram, message);
    return int(Exit::Usage);
}

// The password file's first line; the broker takes no line breaks.
std::optional<QByteArray> passwordIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readLine().trimmed();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLVEK_VERSION));

    bridge::Options options = bridge::parseOptions(QCoreApplication::arguments(), portDeviceName(1));
    switch (options.action) {
    case bridge::Options::Action::Help:
        QTextStream(stdout) << bridge::helpText(portDeviceName(1));
        return int(Exit::Ended);
    case bridge::Options::Action::Version:
        QTextStream(stdout) << versionLine(kProgram);
        return int(Exit::Ended);
    case bridge::Options::Action::Usage:
        return usage(options.error);
    case bridge::Options::Action::Run:
    case bridge::Options::Action::RemoveDiscovery:
        break;
    }
    if (!options.broker.username.isEmpty() && !options.passwordFile.isEmpty()) {
        const std::optional<QByteArray> password = passwordIn(options.passwordFile);
        if (!password)
            return usage(QStringLiteral("cannot read the password file %1").arg(options.passwordFile));
        options.broker.password = *password;
    }
    const QString broker = QStringLiteral("broker %1:%2").arg(options.broker.host).arg(options.broker.port);
    TerminationSignals termination;

    if (options.action == bridge::Options::Action::RemoveDiscovery) {
        // A client id of its own, so that a bridge still running is not pushed off.
        MqttClient mqtt{QString()};
        if (CommError e = mqtt.configure(options.broker))
            return usage(*e);
        // Done once the broker has confirmed every one.
        QObject::connect(&mqtt, &MqttClient::connected, &app, [&] {
            for (const bridge::Publication &p : bridge::removal(options.id, options.discoveryPrefix))
                (void)mqtt.publish(p, MqttClient::Delivery::Confirmed);
        });
        QObject::connect(&mqtt, &MqttClient::published, &mqtt, &MqttClient::disconnectFromBroker);
        QObject::connect(&mqtt, &MqttClient::connectionLost, &app, [&](const QString &reason) {
            say(QStringLiteral("%1: %2").arg(broker, reason));
            QCoreApplication::exit(int(Exit::BrokerFailed));
        });
        QObject::connect(&mqtt, &MqttClient::finished, &app, [] { QCoreApplication::exit(int(Exit::Ended)); });
        QObject::connect(&termination, &TerminationSignals::received, &mqtt, &MqttClient::disconnectFromBroker);
        // From the event loop, so that a broker refusing at once ends it.
        QMetaObject::invokeMethod(&mqtt, &MqttClient::connectToBroker, Qt::QueuedConnection);
        return QCoreApplication::exec();
    }

    setPortDevice(1, options.device);
    Transfer transfer(std::make_unique<DeviceCommControl>(), makeQtTimer, vocabulary::kNormalTiming);
    MqttClient mqtt(kProgram + u'-' + options.id);
    // The broker says offline for it when it goes without a goodbye.
    if (CommError e = mqtt.configure(options.broker, bridge::availability(options.id, false)))
        return usage(*e);
    Bridge bridge(mqtt, transfer, {options.id, options.lineSettings, options.poll, options.discoveryPrefix});
    QObject::connect(&bridge, &Bridge::note, &app, say);
    QObject::connect(&mqtt, &MqttClient::connected, &app, [&] { say(broker + QStringLiteral(": connected")); });
    QObject::connect(&mqtt, &MqttClient::connectionLost, &app, [&](const QString &reason, std::chrono::seconds retry) {
        say(QStringLiteral("%1: %2; trying again in %3 s").arg(broker, reason).arg(retry.count()));
    });
    QObject::connect(&termination, &TerminationSignals::received, &bridge, &Bridge::stop);
    QObject::connect(&bridge, &Bridge::stopped, &app, [] { QCoreApplication::exit(int(Exit::Ended)); });
    bridge.start();
    return QCoreApplication::exec();
}
