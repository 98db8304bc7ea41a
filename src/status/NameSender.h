#pragma once

#include "commands/Names.h"
#include "link/Transfer.h"

#include <QJsonObject>
#include <QList>
#include <QObject>

#include <optional>

// Sends named commands and queries through the transfer one at a time, the next once the reply
// time-out of the one before has passed, and says what came back for each and what it means.
// It stops at the first send that cannot be written; it opens and closes nothing.
class NameSender final : public QObject
{
    Q_OBJECT

public:
    struct Outcome
    {
        vocabulary::Named named;
        QByteArray sent;     // carriage return included
        QByteArray received; // all that came back before the reply time-out passed
        bool replied = false;
    };

    // Words: what the status line would say of a query's reply, the monitor rendering of any
    // other. Raw: the monitor rendering of every reply.
    enum class Wording : quint8 { Words, Raw };

    explicit NameSender(Transfer &transfer, QObject *parent = nullptr);

    // Starts from the event loop, so that finished always comes from there.
    void start(const QList<vocabulary::Named> &names);

    // One line for the outcome: "ACK", " Power ON" without its leading space, "no reply".
    static QString line(const Outcome &outcome, Wording wording);
    // name, sent, received (each byte one character), reading (the line; null without a reply), ok.
    static QJsonObject json(const Outcome &outcome, Wording wording);

Q_SIGNALS:
    void answered(const NameSender::Outcome &outcome);
    // Every name sent and answered, or the failure of the send that could not be written.
    void finished(const CommError &failure);

private:
    void sendNext();
    void takeReply(const QByteArray &sent, QByteArrayView received);
    void endReply();

    Transfer &m_transfer;
    QList<vocabulary::Named> m_pending;
    std::optional<Outcome> m_current;
};
