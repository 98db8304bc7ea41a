#include "StatusReader.h"

#include "Decode.h"

StatusReader::StatusReader(Transfer &transfer, QObject *parent)
    : QObject(parent)
    , m_transfer(transfer)
{
    connect(&m_transfer, &Transfer::replyReceived, this, &StatusReader::decodeReply);
    connect(&m_transfer, &Transfer::monitorCleared, this, [this] { setLine(QString()); });
}

CommError StatusReader::ask(const vocabulary::Query &query)
{
    return m_transfer.send(query.text);
}

void StatusReader::decodeReply(const QByteArray &sent, QByteArrayView received)
{
    setLine(decodeStatus(sent, received, m_line));
}

void StatusReader::setLine(const QString &line)
{
    if (line == m_line)
        return;
    m_line = line;
    emit lineChanged(m_line);
}
