#pragma once

#include "commands/Vocabulary.h"
#include "link/Transfer.h"

#include <QObject>
#include <QString>

// The status queries and the reading of their replies: after every receive it reads the bytes
// that came after the last text sent against that text and keeps the status line's words, until
// the monitor clear blanks them.
class StatusReader final : public QObject
{
    Q_OBJECT

public:
    explicit StatusReader(Transfer &transfer, QObject *parent = nullptr);

    const QString &line() const { return m_line; }

    [[nodiscard]] CommError ask(const vocabulary::Query &query);

Q_SIGNALS:
    void lineChanged(const QString &line);

private:
    void decodeReply(const QByteArray &sent, QByteArrayView received);
    void setLine(const QString &line);

    Transfer &m_transfer;
    QString m_line;
};
