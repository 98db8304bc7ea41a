#pragma once

#include "commands/Names.h"

#include <QByteArrayView>
#include <QJsonValue>

// Whether the bytes are the projector's whole answer to what was sent: the ACK alone for a
// command; for a query its reading in the query's shape (status and setting two hex digits,
// mode one digit, lamp time four digits, temperatures three signed readings) and its carriage
// return, nothing more. A gateway's banner, a "?", noise, half a reply or a late reply to
// something else is none.
bool isAnswer(const vocabulary::Named &named, QByteArrayView received);

// What a script or an automation takes from the reply to a status query: the status, the mode and
// the setting in the words the status line shows (trimmed), the lamp time as an integer, the three
// temperatures as numbers. Null when the reply is no answer to the query or its code has no words.
QJsonValue replyValue(const vocabulary::Query &query, QByteArrayView received);
