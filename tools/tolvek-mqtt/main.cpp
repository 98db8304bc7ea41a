// tolvek-mqtt: one projector on an MQTT broker, for Home Assistant and any other MQTT system.
#include "bridge/Bridge.h"
#include "bridge/DiscoveryRemoval.h"
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
constexpr int kPort = 1; // the bridge's one port, whose device the options name

void say(const QString &line)
{
    QTextStream(stderr) << kProgram << ": " << line << Qt::endl;
}

int usage(const QString &message)
{
    QTextStream(stderr) << usageFault(kProgram, message);
    return int(Exit::Usage);
}

// The password file's first line, without its line break; spaces are the password's own.
std::optional<QByteArray> passwordIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLVEK_VERSION));

    bridge::Options options = bridge::parseOptions(QCoreApplication::arguments(), portDeviceName(kPort));
    switch (options.action) {
    case bridge::Options::Action::Help:
        QTextStream(stdout) << bridge::helpText(portDeviceName(kPort));
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
        DiscoveryRemoval removal(options.id, options.discoveryPrefix);
        if (CommError e = removal.start(options.broker))
            return usage(*e);
        QObject::connect(&termination, &TerminationSignals::received, &removal, &DiscoveryRemoval::stop);
        QObject::connect(&removal, &DiscoveryRemoval::finished, &app, [&](const CommError &failure) {
            if (failure)
                say(QStringLiteral("%1: %2").arg(broker, *failure));
            QCoreApplication::exit(int(failure ? Exit::BrokerFailed : Exit::Ended));
        });
        return QCoreApplication::exec();
    }

    setPortDevice(kPort, options.device);
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
