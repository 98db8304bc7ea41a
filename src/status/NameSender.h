#pragma once

#include "commands/Names.h"
#include "link/Transfer.h"

#include <QJsonObject>
#include <QList>
#include <QObject>

#include <optional>

// Sends named commands and queries through the transfer one at a time and says what came back
// for each and what it means. A name ends at its reply's end, and the next goes at once: a
// command's reply ends at the ACK (or, from a projector that answers otherwise, at a carriage
// return), a query's at its carriage return. The reply time-out ends a name that gets no reply
// or one that does not end, and a lost device ends it at once. It stops at the first send that
// cannot be written; it opens and closes nothing.
class NameSender final : public QObject
{
    Q_OBJECT

public:
    struct Outcome
    {
        vocabulary::Named named;
        QByteArray sent;     // carriage return included
        QByteArray received; // all that came back from the send to the reply's end or the time-out
        bool ok = false;     // the projector's answer (isAnswer), not whatever came
    };

    // Words: what the status line would say of a query's answer, the monitor rendering of any
    // other reply. Raw: the monitor rendering of every reply.
    enum class Wording : quint8 { Words, Raw };

    explicit NameSender(Transfer &transfer, QObject *parent = nullptr);

    // Starts from the event loop, so that finished always comes from there.
    void start(const QList<vocabulary::Named> &names);

    // One line for the outcome: "ACK", " Power ON" without its leading space, "no reply".
    static QString line(const Outcome &outcome, Wording wording);
    // name, sent, received (each byte one character), reading (the line; null without a
    // reply), value (replyValue of a query's answer; null for a command, whose answer is ok),
    // ok.
    static QJsonObject json(const Outcome &outcome, Wording wording);

Q_SIGNALS:
    void answered(const NameSender::Outcome &outcome);
    // Every name sent and answered, or the failure of the send that could not be written.
    // From the event loop, so that the port may be closed there.
    void finished(const CommError &failure);

private:
    void sendNext();
    void takeReply(const QByteArray &sent, QByteArrayView received);
    void endReply();
    bool answerCurrent();
    void loseDevice();
    void finish(const CommError &failure);

    Transfer &m_transfer;
    QList<vocabulary::Named> m_pending;
    std::optional<Outcome> m_current;
};
