#pragma once

#include "commands/Vocabulary.h"

#include <QByteArrayView>
#include <QJsonValue>

// What a script or an automation takes from the reply to a status query: the status, the mode and
// the setting in the words the status line shows (trimmed), the lamp time as an integer, the three
// temperatures as numbers. Null when the reply does not have its query's shape (the reading
// itself, its carriage return, nothing more) or its code has no words.
QJsonValue replyValue(const vocabulary::Query &query, QByteArrayView received);
