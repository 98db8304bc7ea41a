#include "NameSender.h"

#include "Decode.h"
#include "ReplyValue.h"
#include "link/PortNames.h"
#include "wire/Framing.h"
#include "wire/Rendering.h"

namespace {

const QString kNoReply = QStringLiteral("no reply");

bool endsReply(const vocabulary::Named &named, char last)
{
    return last == kCarriageReturn || (!named.query && last == kAcknowledge);
}

} // namespace

NameSender::NameSender(Transfer &transfer, QObject *parent)
    : QObject(parent)
    , m_transfer(transfer)
{
    connect(&m_transfer, &Transfer::replyReceived, this, &NameSender::takeReply);
    connect(&m_transfer, &Transfer::replyTimeEnded, this, &NameSender::endReply);
    connect(&m_transfer.comm(), &CommControl::onComm, this, &NameSender::loseDevice);
}

void NameSender::start(const QList<vocabulary::Named> &names)
{
    m_pending = names;
    QMetaObject::invokeMethod(this, &NameSender::sendNext, Qt::QueuedConnection);
}

void NameSender::sendNext()
{
    if (m_pending.isEmpty())
        return finish(std::nullopt);
    const vocabulary::Named named = m_pending.takeFirst();
    if (CommError failure = m_transfer.send(named.text)) {
        m_pending.clear();
        return finish(failure);
    }
    m_current = Outcome{named, framed(named.text), {}, false};
}

void NameSender::finish(const CommError &failure)
{
    QMetaObject::invokeMethod(
        this, [this, failure] { emit finished(failure); }, Qt::QueuedConnection);
}

void NameSender::takeReply(const QByteArray &, QByteArrayView received)
{
    // What came since the send, bounded as the transfer bounds it.
    if (!m_current)
        return;
    m_current->received = received.toByteArray();
    if (endsReply(m_current->named, received.back()))
        endReply();
}

void NameSender::endReply()
{
    if (answerCurrent())
        sendNext();
}

bool NameSender::answerCurrent()
{
    if (!m_current)
        return false;
    Outcome outcome = *std::exchange(m_current, std::nullopt);
    outcome.ok = isAnswer(outcome.named, outcome.received);
    emit answered(outcome);
    return true;
}

void NameSender::loseDevice()
{
    // Nothing more comes from a device that went away (a gateway that hung up), and the names
    // left cannot go: the port says why as it refuses a write.
    CommControl &comm = m_transfer.comm();
    if (comm.commEvent() != CommEvent::DeviceLost || !answerCurrent())
        return;
    m_pending.clear();
    const CommError refusal = comm.writeRefusal();
    finish(refusal ? CommError(onPort(comm.commPort(), *refusal)) : std::nullopt);
}

QString NameSender::line(const Outcome &outcome, Wording wording)
{
    if (outcome.received.isEmpty())
        return kNoReply;
    switch (wording) {
    case Wording::Words:
        // Anything but the answer, and an answer that means nothing, is shown as it came.
        if (outcome.ok && outcome.named.query)
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
    const QJsonValue value = outcome.named.query ? replyValue(*outcome.named.query, outcome.received) : QJsonValue();
    return {
        {QStringLiteral("name"), QString::fromLatin1(outcome.named.name)},
        {QStringLiteral("sent"), QString::fromLatin1(outcome.sent)},
        {QStringLiteral("received"), QString::fromLatin1(outcome.received)},
        {QStringLiteral("reading"), outcome.received.isEmpty() ? QJsonValue() : QJsonValue(line(outcome, wording))},
        {QStringLiteral("value"), value},
        {QStringLiteral("ok"), outcome.ok},
    };
}
