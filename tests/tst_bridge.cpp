// The bridge's pure part: what it publishes where, and how it reads its command line.
#include "bridge/Options.h"
#include "bridge/Topics.h"
#include "commands/Names.h"
#include "link/LineFormat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestBridge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void discovery_data();
    void discovery();
    void everyEntityOnce();
    void states_data();
    void states();
    void options_data();
    void options();
};

namespace {

const QString kId = QStringLiteral("hall");
const QString kPrefix = QStringLiteral("homeassistant");

QJsonObject parsed(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

void TestBridge::discovery_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("fields"); // a JSON object: what the config must hold, among the rest

    const QString common =
        R"("availability_topic": "tolvek/hall/availability",
           "device": {"identifiers": ["tolvek_hall"], "name": "TOLVEK projector hall"})";
    QTest::newRow("power")
        << "homeassistant/switch/tolvek_hall/power/config"
        << R"({"command_topic": "tolvek/hall/set", "payload_on": "power-on", "payload_off": "power-off",
                                  "state_topic": "tolvek/hall/power", "state_on": "ON", "state_off": "OFF",
                                  "unique_id": "tolvek_hall_power", )"
            + common + "}";
    QTest::newRow("input") << "homeassistant/select/tolvek_hall/input/config"
                           << R"({"command_topic": "tolvek/hall/set", "options": ["PC", "VIDEO"],
                                  "command_template": "{{ {\"PC\":\"input-pc\",\"VIDEO\":\"input-video\"}[value] }}",
                                  "state_topic": "tolvek/hall/input", "unique_id": "tolvek_hall_input", )"
            + common + "}";
    QTest::newRow("lamp hours") << "homeassistant/sensor/tolvek_hall/lamp_hours/config"
                                << R"({"state_topic": "tolvek/hall/lamp-hours", "unit_of_measurement": "h",
                                       "state_class": "total_increasing", "unique_id": "tolvek_hall_lamp_hours"})";
    QTest::newRow("temperature 3") << "homeassistant/sensor/tolvek_hall/temperature_3/config"
                                   << R"({"state_topic": "tolvek/hall/temperature/3", "device_class": "temperature",
                                          "unit_of_measurement": "°C", "unique_id": "tolvek_hall_temperature_3", )"
            + common + "}";
    QTest::newRow("status") << "homeassistant/sensor/tolvek_hall/status/config"
                            << R"({"state_topic": "tolvek/hall/state/status"})";
    QTest::newRow("a click") << "homeassistant/button/tolvek_hall/menu-on/config"
                             << R"({"command_topic": "tolvek/hall/set", "payload_press": "menu-on", "name": "Menu on",
                                    "unique_id": "tolvek_hall_menu-on", )"
            + common + "}";
    QTest::newRow("a hold") << "homeassistant/button/tolvek_hall/cursor-left/config"
                            << R"({"payload_press": "cursor-left"})";
    QTest::newRow("a second power off") << "homeassistant/button/tolvek_hall/c01/config"
                                        << R"({"payload_press": "c01"})";
}

void TestBridge::discovery()
{
    QFETCH(QString, topic);
    QFETCH(QString, fields);
    const QJsonObject wanted = parsed(fields.toUtf8());
    QVERIFY2(!wanted.isEmpty(), "the row's fields parse");
    const QList<bridge::Publication> configs = bridge::discovery(kId, kPrefix);
    const auto found = std::find_if(configs.begin(), configs.end(),
                                    [&](const bridge::Publication &p) { return p.topic == topic.toUtf8(); });
    QVERIFY2(found != configs.end(), qPrintable(topic));
    QVERIFY(found->retain);
    const QJsonObject config = parsed(found->payload);
    for (auto field = wanted.begin(); field != wanted.end(); ++field)
        QCOMPARE(config.value(field.key()), field.value());
}

void TestBridge::everyEntityOnce()
{
    // A button for each command that is no switch or select position, a sensor for each reading.
    const QList<bridge::Publication> configs = bridge::discovery(kId, QStringLiteral("ha/site"));
    QCOMPARE(configs.size(), qsizetype(vocabulary::kCommands.size()) - 4 + 2 + 5);
    QSet<QByteArray> topics;
    QSet<QString> ids;
    for (const bridge::Publication &p : configs) {
        QVERIFY2(p.topic.startsWith("ha/site/") && p.topic.endsWith("/config"), p.topic);
        const QJsonObject config = parsed(p.payload);
        QCOMPARE(config.value(QStringLiteral("availability_topic")).toString(), "tolvek/hall/availability");
        topics.insert(p.topic);
        ids.insert(config.value(QStringLiteral("unique_id")).toString());
    }
    QCOMPARE(topics.size(), configs.size());
    QCOMPARE(ids.size(), configs.size());
    for (const QByteArray taken : {"power-on", "power-off", "input-pc", "input-video"})
        QVERIFY(!topics.contains("ha/site/button/tolvek_hall/" + taken + "/config"));

    // Taking a projector out empties the same topics, retained.
    const QList<bridge::Publication> removal = bridge::removal(kId, QStringLiteral("ha/site"));
    QCOMPARE(removal.size(), configs.size());
    for (qsizetype i = 0; i < removal.size(); ++i)
        QCOMPARE(removal[i], (bridge::Publication{configs[i].topic, {}, true}));
}

void TestBridge::states_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("replied");
    QTest::addColumn<QStringList>("published"); // leaf=payload under tolvek/hall, all retained

    QTest::newRow("on") << "status" << QByteArray("00\r") << true << QStringList{"state/status=Power ON", "power=ON"};
    QTest::newRow("counting down") << "status" << QByteArray("40\r") << true
                                   << QStringList{"state/status=Count down", "power=ON"};
    QTest::newRow("cooling down") << "status" << QByteArray("20\r") << true
                                  << QStringList{"state/status=Cooling down", "power=OFF"};
    QTest::newRow("power management") << "status" << QByteArray("04\r") << true
                                      << QStringList{"state/status=Power Management", "power=OFF"};
    QTest::newRow("an abnormality leaves the switch")
        << "status" << QByteArray("88\r") << true << QStringList{"state/status=Temperature abnormality"};
    QTest::newRow("a reply out of shape") << "status" << QByteArray("00\r00\r") << true << QStringList();
    QTest::newRow("no reply") << "status" << QByteArray() << false << QStringList();
    QTest::newRow("video") << "mode" << QByteArray("3\r") << true << QStringList{"state/mode=Video", "input=VIDEO"};
    QTest::newRow("computer") << "mode" << QByteArray("1\r") << true << QStringList{"state/mode=Computer", "input=PC"};
    QTest::newRow("lamp time") << "lamp-time" << QByteArray("0042\r") << true
                               << QStringList{"state/lamp-time=0 0 4 2 Hour", "lamp-hours=42"};
    QTest::newRow("temperatures") << "temp" << QByteArray("+25.0 +30.5 -02.5\r") << true
                                  << QStringList{"state/temp=S1= + 2 5 . 0 C ,  S2= 3 0 . 5 C ,  S3=- 0 2 . 5 C",
                                                 "temperature/1=25", "temperature/2=30.5", "temperature/3=-2.5"};
    QTest::newRow("setting") << "setting" << QByteArray("10\r") << true
                             << QStringList{"state/setting=Top/Bottom reversal"};
    QTest::newRow("a command") << "power-on" << QByteArray("\x06") << true << QStringList();
}

void TestBridge::states()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, received);
    QFETCH(bool, replied);
    QFETCH(QStringList, published);
    const vocabulary::Named named = *vocabulary::findName(name);
    QStringList states;
    for (const bridge::Publication &p : bridge::statesOf(
             kId, {named, QByteArray(named.text.data(), qsizetype(named.text.size())) + '\r', received, replied})) {
        QVERIFY(p.retain);
        states.append(QString::fromUtf8(p.topic.sliced(QByteArray("tolvek/hall/").size()) + '=' + p.payload));
    }
    QCOMPARE(states, published);
}

void TestBridge::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome"); // what is run, or "usage: " and what the error says

    QTest::newRow("defaults") << QStringList() << "run /dev/ttyS0 ttyS0 localhost:1883 poll 30 homeassistant";
    QTest::newRow("a gateway") << QStringList{"--port", "tcp://192.0.2.7:4001"}
                               << "run tcp://192.0.2.7:4001 192_0_2_7_4001 localhost:1883 poll 30 homeassistant";
    QTest::newRow("everything given")
        << QStringList{"--port",   "/dev/ttyUSB0", "--speed",    "9600", "--broker",           "mqtts://broker.example",
                       "--cafile", "ca.pem",       "--username", "hall", "--password-file",    "pw",
                       "--id",     "Hall_2-b",     "--poll",     "0",    "--discovery-prefix", "ha/site"}
        << "run /dev/ttyUSB0 Hall_2-b broker.example:8883 tls ca.pem hall pw 9600 poll 0 ha/site";
    QTest::newRow("a loopback literal") << QStringList{"--broker", "mqtt://[::1]:1884", "--no-discovery"}
                                        << "run /dev/ttyS0 ttyS0 ::1:1884 poll 30";
    QTest::newRow("removal") << QStringList{"--remove-discovery", "--id", "hall"}
                             << "remove /dev/ttyS0 hall localhost:1883 poll 30 homeassistant";
    QTest::newRow("help") << QStringList{"--help"} << "help";

    QTest::newRow("speed") << QStringList{"--speed", "4800"} << "usage: the speed";
    QTest::newRow("no device") << QStringList{"--port", ""} << "usage: --port needs";
    QTest::newRow("broker scheme") << QStringList{"--broker", "http://broker.example"} << "usage: the broker";
    QTest::newRow("broker port 0") << QStringList{"--broker", "mqtt://broker.example:0"} << "usage: the broker";
    QTest::newRow("broker port too high") << QStringList{"--broker", "mqtt://b.example:65536"} << "usage: the broker";
    QTest::newRow("password in the URL") << QStringList{"--broker", "mqtt://u:p@b.example"} << "usage: the broker";
    QTest::newRow("broker path") << QStringList{"--broker", "mqtt://b.example/x"} << "usage: the broker";
    QTest::newRow("CA without TLS") << QStringList{"--cafile", "ca.pem"} << "usage: --cafile needs";
    QTest::newRow("empty user") << QStringList{"--username", ""} << "usage: --username needs";
    QTest::newRow("id with a level") << QStringList{"--id", "a/b"} << "usage: the id";
    QTest::newRow("id with a wildcard") << QStringList{"--id", "a+"} << "usage: the id";
    QTest::newRow("device without a name") << QStringList{"--port", "/dev/"} << "usage: the id";
    QTest::newRow("gateway without a host") << QStringList{"--port", "tcp://"} << "usage: \"tcp://\" is not";
    QTest::newRow("poll negative") << QStringList{"--poll", "-1"} << "usage: the poll";
    QTest::newRow("poll fraction") << QStringList{"--poll", "1.5"} << "usage: the poll";
    QTest::newRow("poll past a day") << QStringList{"--poll", "86401"} << "usage: the poll";
    QTest::newRow("prefix wildcard") << QStringList{"--discovery-prefix", "ha/#"} << "usage: the discovery";
    QTest::newRow("prefix empty level") << QStringList{"--discovery-prefix", "ha//x"} << "usage: the discovery";
    QTest::newRow("remove and none") << QStringList{"--remove-discovery", "--no-discovery"} << "usage: --remove";
    QTest::newRow("a name") << QStringList{"power-on"} << "usage: unexpected argument";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "usage: Unknown option";
}

void TestBridge::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);
    const bridge::Options o = bridge::parseOptions(QStringList{"tolvek-mqtt"} + arguments, "/dev/ttyS0");
    using Action = bridge::Options::Action;
    QStringList said;
    switch (o.action) {
    case Action::Usage:
        QVERIFY2(o.error.startsWith(outcome.sliced(QStringLiteral("usage: ").size())), qPrintable(o.error));
        return;
    case Action::Help:
        said << "help";
        break;
    case Action::Version:
        said << "version";
        break;
    case Action::Run:
    case Action::RemoveDiscovery:
        said << (o.action == Action::Run ? "run" : "remove") << o.device << o.id
             << o.broker.host + u':' + QString::number(o.broker.port);
        if (o.broker.tls)
            said << "tls";
        said << o.broker.caFile << o.broker.username << o.passwordFile
             << (o.lineSettings == kSettings19200 ? QString() : o.lineSettings.section(u',', 0, 0))
             << "poll " + QString::number(o.poll.count()) << o.discoveryPrefix;
        break;
    }
    said.removeAll(QString());
    QCOMPARE(said.join(u' '), outcome);
}

QTEST_GUILESS_MAIN(TestBridge)
#include "tst_bridge.moc"
