#include "NameSender.h"

#include "Decode.h"
#include "wire/Framing.h"
#include "wire/Rendering.h"

namespace {

const QString kNoReply = QStringLiteral("no reply");

} // namespace

NameSender::NameSender(Transfer &transfer, QObject *parent)
    : QObject(parent)
    , m_transfer(transfer)
{
    connect(&m_transfer, &Transfer::replyReceived, this, &NameSender::takeReply);
    connect(&m_transfer, &Transfer::replyTimeEnded, this, &NameSender::endReply);
}

void NameSender::start(const QList<vocabulary::Named> &names)
{
    m_pending = names;
    QMetaObject::invokeMethod(this, &NameSender::sendNext, Qt::QueuedConnection);
}

void NameSender::sendNext()
{
    if (m_pending.isEmpty()) {
        emit finished(std::nullopt);
        return;
    }
    const vocabulary::Named named = m_pending.takeFirst();
    if (CommError failure = m_transfer.send(named.text)) {
        m_pending.clear();
        emit finished(failure);
        return;
    }
    m_current = Outcome{named, framed(named.text), {}, false};
}

void NameSender::takeReply(const QByteArray &, QByteArrayView received)
{
    // The transfer's own rule: bytes after a send are its reply, however they come in pieces.
    if (!m_current)
        return;
    m_current->received = received.toByteArray();
    m_current->replied = true;
}

void NameSender::endReply()
{
    if (!m_current)
        return;
    const Outcome outcome = *std::exchange(m_current, std::nullopt);
    emit answered(outcome);
    sendNext();
}

QString NameSender::line(const Outcome &outcome, Wording wording)
{
    if (!outcome.replied)
        return kNoReply;
    switch (wording) {
    case Wording::Words:
        // A reply that means nothing to its query is shown as it came, not as nothing.
        if (outcome.named.query)
            if (QString words = decodeStatus(outcome.sent, outcome.received, QString()).trimmed(); !words.isEmpty())
                return words;
        break;
    case Wording::Raw:
        break;
    }
    return tolvek::render(outcome.received).trimmed();
}

QJsonObject NameSender::json(const Outcome &outcome, Wording wording)
{
    return {
        {QStringLiteral("name"), QString::fromLatin1(outcome.named.name)},
        {QStringLiteral("sent"), QString::fromLatin1(outcome.sent)},
        {QStringLiteral("received"), QString::fromLatin1(outcome.received)},
        {QStringLiteral("reading"), outcome.replied ? QJsonValue(line(outcome, wording)) : QJsonValue()},
        {QStringLiteral("ok"), outcome.replied},
    };
}
