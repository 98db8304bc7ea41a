#include "ReplyValue.h"

#include "Decode.h"
#include "wire/Framing.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {

const QRegularExpression &shapeOf(vocabulary::Reading reading)
{
    static const QRegularExpression twoHexDigits(QStringLiteral("\\A[0-9A-F]{2}\r\\z"));
    static const QRegularExpression oneDigit(QStringLiteral("\\A[0-9]\r\\z"));
    static const QRegularExpression fourDigits(QStringLiteral("\\A([0-9]{4})\r\\z"));
    // "+25.0 +30.5 -02.5": each reading signed, one space between them.
    static const QRegularExpression threeReadings(
        QStringLiteral("\\A([+-][0-9]+(?:\\.[0-9]+)?) ([+-][0-9]+(?:\\.[0-9]+)?) ([+-][0-9]+(?:\\.[0-9]+)?)\r\\z"));
    switch (reading) {
    case vocabulary::Reading::Status:
    case vocabulary::Reading::Setting:
        return twoHexDigits;
    case vocabulary::Reading::Mode:
        return oneDigit;
    case vocabulary::Reading::LampTime:
        return fourDigits;
    case vocabulary::Reading::Temperatures:
        return threeReadings;
    }
    Q_UNREACHABLE();
}

QRegularExpressionMatch matchShape(const vocabulary::Query &query, QByteArrayView received)
{
    return shapeOf(query.reading).match(QString::fromLatin1(received));
}

} // namespace

bool isAnswer(const vocabulary::Named &named, QByteArrayView received)
{
    if (!named.query)
        return received == QByteArrayView(&kAcknowledge, 1);
    return matchShape(*named.query, received).hasMatch();
}

QJsonValue replyValue(const vocabulary::Query &query, QByteArrayView received)
{
    const QRegularExpressionMatch shape = matchShape(query, received);
    if (!shape.hasMatch())
        return QJsonValue::Null;
    switch (query.reading) {
    case vocabulary::Reading::Status:
    case vocabulary::Reading::Mode:
    case vocabulary::Reading::Setting:
        if (const QString words = decodeReading(query, received, QString()).trimmed(); !words.isEmpty())
            return words;
        return QJsonValue::Null;
    case vocabulary::Reading::LampTime:
        return shape.captured(1).toInt();
    case vocabulary::Reading::Temperatures:
        return QJsonArray{shape.captured(1).toDouble(), shape.captured(2).toDouble(), shape.captured(3).toDouble()};
    }
    Q_UNREACHABLE();
}
