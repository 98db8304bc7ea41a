// Sending, receiving and the transfer monitor: Hyouji is the one road out and the one road in.
#include "panel/Form1.h"

#include "Rendering.h"
#include "panel/MonitorLine.h"

namespace {

const QString kNoReplyMarker = QStringLiteral(" X X X X");

} // namespace

CommError Form1::Hyouji(const QByteArray &text, SendModeTag)
{
    // The bytes go out before anything is shown; a failure is the caller's to report, after
    // the send has otherwise run its course.
    CommError error = m_comm->setOutput(text);
    m_label11->setText(tolvek::render(text));
    m_timer2->start();
    m_state.AwaitingReply = 1;
    m_timer4->start();
    return error;
}

void Form1::Hyouji(const ReceivedBytes &text, ReceiveModeTag)
{
    // Label12 always shows the rendering of the whole buffer; when it showed the buffer one
    // change ago, only that change is rendered.
    if (m_label12ShowsBuffer && m_label12Generation + 1 == text.generation()) {
        const ReceivedBytes::Change &change = text.lastChange();
        m_label12->cut(tolvek::kRenderLead.size(), change.cutRenderedLength);
        QString added;
        tolvek::appendRendering(added, change.added);
        m_label12->append(added);
    } else {
        m_label12->setText(tolvek::render(text.bytes()));
    }
    m_label12ShowsBuffer = true;
    m_label12Generation = text.generation();
    decodeReply();
}

void Form1::setReceivedLine(const QString &text)
{
    m_label12->setText(text);
    m_label12ShowsBuffer = false;
}

void Form1::Timer2_Timer()
{
    if (m_state.AwaitingReply == 1)
        setReceivedLine(kNoReplyMarker);
    m_timer2->stop();
    m_state.ReceiveBuffer.clear();
    m_state.AwaitingReply = 0;
}

void Form1::Timer4_Timer()
{
    m_label11->setText(QString());
    setReceivedLine(QString());
    m_label25->setText(QString());
    m_timer4->stop();
}

void Form1::MSComm1_OnComm()
{
    if (m_comm->commEvent() != CommControl::kReceive)
        return;
    const QByteArray received = m_comm->input();
    if (received.isEmpty())
        return;
    m_state.ReceiveBuffer.append(received);
    m_state.AwaitingReply = 0;
    Hyouji(m_state.ReceiveBuffer, ReceiveMode);
}
