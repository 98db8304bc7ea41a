#include "Options.h"

#include "Topics.h"
#include "link/DeviceName.h"
#include "link/LineFormat.h"
#include "process/OptionsHelp.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QUrl>

#include <optional>

namespace bridge {

namespace {

using namespace std::chrono_literals;

constexpr auto kDefaultPoll = 30s;
constexpr auto kLongestPoll = std::chrono::seconds(std::chrono::hours(24));
constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
const QString kDefaultBroker = QStringLiteral("mqtt://localhost:%1").arg(kMqttPort);

struct Parser
{
    explicit Parser(const QString &defaultDevice)
    {
        parser.setApplicationDescription(QStringLiteral(
            "Bridges one projector to an MQTT broker: names published to tolvek/ID/set are sent to it\n"
            "one at a time, its replies and states are published under tolvek/ID, and Home Assistant\n"
            "finds it by its discovery messages.\n"
            "DEVICE is a serial device, tcp://HOST:PORT for a raw TCP connection to a serial-to-network\n"
            "gateway (whose own speed then applies), or rfc2217://HOST:PORT for a gateway that takes\n"
            "the speed.\n"
            "Exit status: 0 ended by SIGTERM, SIGINT or SIGHUP, 2 usage error (nothing opened), 3 the\n"
            "broker could not be reached for --remove-discovery."));
        port.setDescription(QStringLiteral("The device (default: %1).").arg(defaultDevice));
        parser.addOptions(all());
    }

    QList<QCommandLineOption> all() const
    {
        return {helpOption(), versionOption(), port,        speed,          broker, caFile, username, passwordFile, id,
                poll,         prefix,          noDiscovery, removeDiscovery};
    }

    QCommandLineParser parser;
    QCommandLineOption port{QStringLiteral("port"), QString(), QStringLiteral("DEVICE")};
    QCommandLineOption speed{QStringLiteral("speed"), QStringLiteral("%1 baud.").arg(speedChoices()),
                             QStringLiteral("BAUD"), kSpeeds.front().baud};
    QCommandLineOption broker{
        QStringLiteral("broker"),
        QStringLiteral("mqtt://HOST[:PORT], or mqtts://HOST[:PORT] for TLS (default: %1).").arg(kDefaultBroker),
        QStringLiteral("URL"), kDefaultBroker};
    QCommandLineOption caFile{QStringLiteral("cafile"),
                              QStringLiteral("With mqtts://, the authorities to trust (default: the system's)."),
                              QStringLiteral("FILE")};
    QCommandLineOption username{QStringLiteral("username"), QStringLiteral("The name to log in to the broker with."),
                                QStringLiteral("NAME")};
    QCommandLineOption passwordFile{QStringLiteral("password-file"),
                                    QStringLiteral("With --username, the file that holds the password."),
                                    QStringLiteral("FILE")};
    QCommandLineOption id{QStringLiteral("id"),
                          QStringLiteral("The projector's name in topics: letters, digits, - and _ (default: made "
                                         "from the device's name)."),
                          QStringLiteral("ID")};
    QCommandLineOption poll{
        QStringLiteral("poll"),
        QStringLiteral("Ask the projector's state every SECONDS; 0 never (default %1).").arg(kDefaultPoll.count()),
        QStringLiteral("SECONDS"), QString::number(kDefaultPoll.count())};
    QCommandLineOption prefix{QStringLiteral("discovery-prefix"),
                              QStringLiteral("Where Home Assistant looks for discovery messages."),
                              QStringLiteral("PREFIX"), QStringLiteral("homeassistant")};
    QCommandLineOption noDiscovery{QStringLiteral("no-discovery"), QStringLiteral("Publish no discovery messages.")};
    QCommandLineOption removeDiscovery{QStringLiteral("remove-discovery"),
                                       QStringLiteral("Empty the projector's discovery messages and exit.")};
};

std::optional<MqttClient::Broker> brokerOf(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const bool tls = url.scheme() == u"mqtts";
    if (!url.isValid() || !(tls || url.scheme() == u"mqtt") || url.host().isEmpty() || !url.userInfo().isEmpty()
        || !(url.path().isEmpty() || url.path() == u"/") || url.hasQuery() || url.hasFragment())
        return std::nullopt;
    const int port = url.port(tls ? kMqttsPort : kMqttPort);
    if (port < 1)
        return std::nullopt;
    return MqttClient::Broker{url.host(), quint16(port), tls, {}, {}, {}};
}

// Topic levels with no wildcard, none empty.
bool isValidPrefix(const QString &prefix)
{
    static const QRegularExpression valid(QStringLiteral("\\A[^/+#\\x{0}]+(/[^/+#\\x{0}]+)*\\z"));
    return valid.match(prefix).hasMatch();
}

} // namespace

Options parseOptions(const QStringList &arguments, const QString &defaultDevice)
{
    Parser p(defaultDevice);
    QCommandLineParser &parser = p.parser;
    Options o;
    const auto usage = [&o](const QString &error) {
        o.action = Options::Action::Usage;
        o.error = error;
        return o;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        o.action = Options::Action::Help;
        return o;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        o.action = Options::Action::Version;
        return o;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst()));

    o.device = parser.isSet(p.port) ? parser.value(p.port) : defaultDevice;
    if (o.device.isEmpty())
        return usage(QStringLiteral("--port needs a device"));
    if (const DeviceName::Parsed device = DeviceName::parse(o.device); !device.device)
        return usage(device.error);
    const std::optional<QLatin1StringView> settings = settingsForSpeed(parser.value(p.speed));
    if (!settings)
        return usage(QStringLiteral("the speed is %1, not \"%2\"").arg(speedChoices(), parser.value(p.speed)));
    o.lineSettings = *settings;

    const std::optional<MqttClient::Broker> broker = brokerOf(parser.value(p.broker));
    if (!broker)
        return usage(QStringLiteral("the broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not \"%1\"")
                         .arg(parser.value(p.broker)));
    o.broker = *broker;
    if (parser.isSet(p.caFile)) {
        if (!o.broker.tls)
            return usage(QStringLiteral("--cafile needs an mqtts:// broker"));
        o.broker.caFile = parser.value(p.caFile);
    }
    if (parser.isSet(p.username) && parser.value(p.username).isEmpty())
        return usage(QStringLiteral("--username needs a name"));
    o.broker.username = parser.value(p.username);
    o.passwordFile = parser.value(p.passwordFile);

    o.id = parser.isSet(p.id) ? parser.value(p.id) : idFromDevice(o.device);
    if (!isValidId(o.id))
        return usage(
            QStringLiteral("the id is letters, digits, - and _, not \"%1\"%2")
                .arg(o.id, parser.isSet(p.id) ? QString() : QStringLiteral(" (from the device's name); give --id")));

    bool isNumber = false;
    const int poll = parser.value(p.poll).toInt(&isNumber);
    if (!isNumber || poll < 0 || poll > kLongestPoll.count())
        return usage(QStringLiteral("the poll interval is 0 to %1 seconds, not \"%2\"")
                         .arg(kLongestPoll.count())
                         .arg(parser.value(p.poll)));
    o.poll = std::chrono::seconds(poll);

    if (!isValidPrefix(parser.value(p.prefix)))
        return usage(QStringLiteral("the discovery prefix is topic levels without + or #, not \"%1\"")
                         .arg(parser.value(p.prefix)));
    const bool remove = parser.isSet(p.removeDiscovery);
    if (remove && parser.isSet(p.noDiscovery))
        return usage(QStringLiteral("--remove-discovery and --no-discovery contradict each other"));
    o.discoveryPrefix = parser.isSet(p.noDiscovery) ? QString() : parser.value(p.prefix);
    o.action = remove ? Options::Action::RemoveDiscovery : Options::Action::Run;
    return o;
}

QString helpText(const QString &defaultDevice)
{
    const Parser p(defaultDevice);
    return QStringLiteral("Usage: tolvek-mqtt [options]\n%1\n\nOptions:\n%2")
        .arg(p.parser.applicationDescription(), optionsHelp(p.all()));
}

} // namespace bridge
