#include "Topics.h"

#include "commands/Vocabulary.h"
#include "status/Decode.h"
#include "status/ReplyValue.h"
#include "wire/Text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace bridge {

namespace {

using vocabulary::Reading;

// Two commands that are one entity with a state, rather than two buttons.
enum class Control : quint8 { Switch, Select };

struct Option
{
    std::string_view state;
    std::string_view command;
};

struct Chooser
{
    Control control;
    std::string_view object;
    std::string_view name;
    std::string_view stateLeaf;
    Reading reading; // whose words give the state
    std::array<Option, 2> options;
};

constexpr auto kChoosers = std::to_array<Chooser>({
    {Control::Switch, "power", "Power", "power", Reading::Status, {{{"ON", "power-on"}, {"OFF", "power-off"}}}},
    {Control::Select, "input", "Input", "input", Reading::Mode, {{{"PC", "input-pc"}, {"VIDEO", "input-video"}}}},
});

// A chooser's state as the words say it. A state not here (an abnormality) is left as it was.
struct Plain
{
    Reading reading;
    std::string_view words;
    std::string_view state;
};

constexpr auto kPlainStates = std::to_array<Plain>({
    {Reading::Status, "Power ON", "ON"},
    {Reading::Status, "Count down", "ON"},
    {Reading::Status, "Stand by", "OFF"},
    {Reading::Status, "Cooling down", "OFF"},
    {Reading::Status, "Power Management", "OFF"},
    {Reading::Status, "Power Management Cooling", "OFF"},
    {Reading::Mode, "Computer", "PC"},
    {Reading::Mode, "Video", "VIDEO"},
});

// Each state is keyed by words the decoder gives: a word changed there must change here too.
constexpr bool plainStatesAreWords()
{
    for (const Plain &p : kPlainStates)
        if (!decode::givesWords(p.reading, p.words))
            return false;
    return true;
}
static_assert(plainStatesAreWords());

// A reading shown as a sensor. With no leaf of its own its state is the query's words; a reading
// of several numbers is as many sensors, numbered from 1.
struct Sensor
{
    Reading reading;
    std::string_view object;
    std::string_view name;
    std::string_view stateLeaf;
    std::string_view unit;
    std::string_view deviceClass;
    std::string_view stateClass;
};

constexpr auto kSensors = std::to_array<Sensor>({
    {Reading::Status, "status", "Status", {}, {}, {}, {}},
    {Reading::LampTime, "lamp_hours", "Lamp hours", "lamp-hours", "h", {}, "total_increasing"},
    {Reading::Temperatures, "temperature", "Temperature", "temperature", "°C", "temperature", "measurement"},
});

// Every position of a chooser is a command of the vocabulary.
constexpr bool choosersNameCommands()
{
    for (const Chooser &c : kChoosers)
        for (const Option &o : c.options)
            if (std::none_of(vocabulary::kCommands.begin(), vocabulary::kCommands.end(),
                             [&o](const vocabulary::Command &command) { return command.name == o.command; }))
                return false;
    return true;
}
static_assert(choosersNameCommands());

const QString kTopicBase = QStringLiteral("tolvek/");
const QString kUniquePrefix = QStringLiteral("tolvek_");

const Chooser *chooserOf(std::string_view command)
{
    for (const Chooser &c : kChoosers)
        for (const Option &o : c.options)
            if (o.command == command)
                return &c;
    return nullptr;
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString topicText(const QString &id, const QString &leaf)
{
    return kTopicBase + id + u'/' + leaf;
}

QString topicText(const QString &id, std::string_view leaf)
{
    return topicText(id, qstring(leaf));
}

QString wordsLeaf(const vocabulary::Query &query)
{
    return QStringLiteral("state/") + qstring(query.name);
}

// "menu-on" as "Menu on".
QString nameOf(std::string_view command)
{
    QString name = qstring(command).replace(u'-', u' ');
    name[0] = name[0].toUpper();
    return name;
}

struct Entity
{
    std::string_view component;
    QString object;
    QJsonObject config;
};

Publication configOf(const QString &id, const QString &prefix, const QString &name, Entity entity)
{
    const QString unique = kUniquePrefix + id + u'_' + entity.object;
    entity.config.insert(QStringLiteral("name"), name);
    entity.config.insert(QStringLiteral("unique_id"), unique);
    entity.config.insert(QStringLiteral("object_id"), unique);
    entity.config.insert(QStringLiteral("availability_topic"), topicText(id, kAvailability));
    entity.config.insert(QStringLiteral("device"),
                         QJsonObject{{QStringLiteral("identifiers"), QJsonArray{kUniquePrefix + id}},
                                     {QStringLiteral("name"), QStringLiteral("TOLVEK projector ") + id}});
    const QString topic = prefix + u'/' + qstring(entity.component) + u'/' + kUniquePrefix + id + u'/' + entity.object
        + QStringLiteral("/config");
    return {topic.toUtf8(), compact(entity.config), true};
}

Entity chooserEntity(const QString &id, const Chooser &c)
{
    const QString set = topicText(id, kSet);
    const QString state = topicText(id, c.stateLeaf);
    const auto [on, off] = c.options;
    switch (c.control) {
    case Control::Switch:
        return {"switch",
                qstring(c.object),
                {{QStringLiteral("command_topic"), set},
                 {QStringLiteral("payload_on"), qstring(on.command)},
                 {QStringLiteral("payload_off"), qstring(off.command)},
                 {QStringLiteral("state_topic"), state},
                 {QStringLiteral("state_on"), qstring(on.state)},
                 {QStringLiteral("state_off"), qstring(off.state)}}};
    case Control::Select: {
        // The option chosen goes out as the command's name.
        QJsonArray options;
        QJsonObject commands;
        for (const Option &o : c.options) {
            options.append(qstring(o.state));
            commands.insert(qstring(o.state), qstring(o.command));
        }
        return {"select",
                qstring(c.object),
                {{QStringLiteral("command_topic"), set},
                 {QStringLiteral("command_template"),
                  QStringLiteral("{{ %1[value] }}").arg(QString::fromUtf8(compact(commands)))},
                 {QStringLiteral("options"), options},
                 {QStringLiteral("state_topic"), state}}};
    }
    }
    Q_UNREACHABLE();
}

QJsonObject sensorConfig(const Sensor &s, const QString &state)
{
    QJsonObject config{{QStringLiteral("state_topic"), state}};
    const auto optional = [&config](const char *key, std::string_view value) {
        if (!value.empty())
            config.insert(QLatin1StringView(key), qstring(value));
    };
    optional("unit_of_measurement", s.unit);
    optional("device_class", s.deviceClass);
    optional("state_class", s.stateClass);
    return config;
}

// How many numbers a reading gives, each a sensor of its own.
qsizetype readingsOf(Reading reading)
{
    constexpr qsizetype kTemperatures = 3;
    return reading == Reading::Temperatures ? kTemperatures : 1;
}

// The nth of a reading's sensors: "temperature/2", "temperature_2", "Temperature 2"; the only one
// goes by the plain text.
QString nth(std::string_view plain, QChar separator, qsizetype n, Reading reading)
{
    return readingsOf(reading) == 1 ? qstring(plain) : qstring(plain) + separator + QString::number(n);
}

QByteArray number(const QJsonValue &value)
{
    return value.isDouble() ? QByteArray::number(value.toDouble(), 'g', QLocale::FloatingPointShortest) : QByteArray();
}

} // namespace

QByteArray topicOf(const QString &id, std::string_view leaf)
{
    return topicText(id, leaf).toUtf8();
}

bool isValidId(QStringView id)
{
    static const QRegularExpression valid(QStringLiteral("\\A[A-Za-z0-9_-]+\\z"));
    return valid.match(id).hasMatch();
}

QString idFromDevice(const QString &device)
{
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9_-]"));
    QString id = device.section(QStringLiteral("://"), -1).section(u'/', -1);
    return id.replace(other, QStringLiteral("_"));
}

Publication availability(const QString &id, bool online)
{
    return {topicOf(id, kAvailability), online ? "online" : "offline", true};
}

Publication replyOf(const QString &id, const NameSender::Outcome &outcome)
{
    return {topicOf(id, kReply), compact(NameSender::json(outcome, NameSender::Wording::Words)), false};
}

Publication errorOf(const QString &id, const QByteArray &payload, const QString &error)
{
    return {topicOf(id, kError),
            compact({{QStringLiteral("payload"), QString::fromUtf8(payload)}, {QStringLiteral("error"), error}}),
            false};
}

QList<Publication> statesOf(const QString &id, const NameSender::Outcome &outcome)
{
    const vocabulary::Query *query = outcome.named.query;
    if (!query || !outcome.ok)
        return {};
    const QJsonValue value = replyValue(*query, outcome.received);
    if (value.isNull())
        return {};
    QList<Publication> states{{topicText(id, wordsLeaf(*query)).toUtf8(),
                               NameSender::line(outcome, NameSender::Wording::Words).toUtf8(), true}};
    for (const Chooser &c : kChoosers)
        for (const Plain &p : kPlainStates)
            if (c.reading == query->reading && p.reading == query->reading && value.toString() == qstring(p.words))
                states.append({topicOf(id, c.stateLeaf), qstring(p.state).toUtf8(), true});
    for (const Sensor &s : kSensors) {
        if (s.reading != query->reading || s.stateLeaf.empty())
            continue;
        const QJsonArray values = value.isArray() ? value.toArray() : QJsonArray{value};
        for (qsizetype n = 1; n <= values.size(); ++n)
            states.append({topicText(id, nth(s.stateLeaf, u'/', n, s.reading)).toUtf8(), number(values[n - 1]), true});
    }
    return states;
}

QList<Publication> discovery(const QString &id, const QString &prefix)
{
    QList<Publication> configs;
    for (const vocabulary::Command &c : vocabulary::kCommands) {
        if (const Chooser *chooser = chooserOf(c.name)) {
            if (c.name == chooser->options.front().command)
                configs.append(configOf(id, prefix, qstring(chooser->name), chooserEntity(id, *chooser)));
            continue;
        }
        configs.append(configOf(id, prefix, nameOf(c.name),
                                {"button",
                                 qstring(c.name),
                                 {{QStringLiteral("command_topic"), topicText(id, kSet)},
                                  {QStringLiteral("payload_press"), qstring(c.name)}}}));
    }
    for (const vocabulary::Query &q : vocabulary::kQueries)
        for (const Sensor &s : kSensors) {
            if (s.reading != q.reading)
                continue;
            for (qsizetype n = 1; n <= readingsOf(s.reading); ++n) {
                const QString leaf = s.stateLeaf.empty() ? wordsLeaf(q) : nth(s.stateLeaf, u'/', n, s.reading);
                configs.append(
                    configOf(id, prefix, nth(s.name, u' ', n, s.reading),
                             {"sensor", nth(s.object, u'_', n, s.reading), sensorConfig(s, topicText(id, leaf))}));
            }
        }
    return configs;
}

QList<Publication> removal(const QString &id, const QString &prefix)
{
    QList<Publication> configs = discovery(id, prefix);
    for (Publication &p : configs)
        p.payload.clear();
    return configs;
}

} // namespace bridge
