// The status queries: a click sends the query once; whatever arrives until the next send is
// read against it and put into words on the status line.
#include "panel/Form1.h"

#include "Decode.h"
#include "commands/Vocabulary.h"
#include "panel/MonitorLine.h"

void Form1::queryClick(const vocabulary::Query &query)
{
    m_state.OutgoingCommand = vocabulary::framed(query.text);
    report(Hyouji(m_state.OutgoingCommand, SendMode));
}

void Form1::decodeReply()
{
    const QStringView rendered = m_label12->textView();
    const QString line = decodeStatus(m_state.OutgoingCommand, rendered.first(std::min(rendered.size(), kDecodedPrefix)),
                                      m_label25->text());
    if (line != m_label25->textView())
        m_label25->setText(line);
}
