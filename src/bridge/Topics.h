#pragma once

#include "MqttClient.h"
#include "status/NameSender.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <string_view>

// One projector's place on the broker, as pure functions: its topics under tolvek/ID, what goes
// there for each name sent, and its entities as Home Assistant discovers them, walked from the
// vocabulary. Nothing here sends or remembers anything.
namespace bridge {

using Publication = MqttClient::Message;

// The leaves under tolvek/ID that are not states.
inline constexpr std::string_view kSet = "set";
inline constexpr std::string_view kAvailability = "availability";
inline constexpr std::string_view kReply = "reply";
inline constexpr std::string_view kError = "error";
// A payload on set longer than this is refused unread.
inline constexpr qsizetype kLongestPayload = 256;

QByteArray topicOf(const QString &id, std::string_view leaf);

// Letters, digits, '-' and '_', at least one: a topic level with no wildcard and no separator.
bool isValidId(QStringView id);
// The last part of the device's name with every other character as '_': "ttyUSB0", "192_0_2_7_4001".
QString idFromDevice(const QString &device);

Publication availability(const QString &id, bool online);
// The object tolvek-send --json prints.
Publication replyOf(const QString &id, const NameSender::Outcome &outcome);
Publication errorOf(const QString &id, const QByteArray &payload, const QString &error);
// What a query's reply tells, retained: its words under state/NAME and the plain values
// automations use. Nothing when it got no reply of its query's shape, or was no query.
QList<Publication> statesOf(const QString &id, const NameSender::Outcome &outcome);

// Every entity's discovery config, retained, under the prefix; and the same topics emptied.
QList<Publication> discovery(const QString &id, const QString &prefix);
QList<Publication> removal(const QString &id, const QString &prefix);

} // namespace bridge
