#include "Transfer.h"

#include "PortNames.h"
#include "wire/Framing.h"
#include "wire/Rendering.h"

namespace {

const QString kNoReplyMarker = QStringLiteral(" X X X X");

} // namespace

Transfer::Transfer(std::unique_ptr<CommControl> comm, const TimerFactory &makeTimer, MonitorTiming normal,
                   QObject *parent)
    : QObject(parent)
    , m_comm(std::move(comm))
    , m_normal(normal)
    , m_timer2(makeTimer(this))
    , m_timer4(makeTimer(this))
{
    Q_ASSERT(m_comm);
    m_timer2->setInterval(m_normal.replyTimeout);
    m_timer4->setInterval(m_normal.monitorClear);
    connect(m_timer2, &Timer::timeout, this, &Transfer::Timer2_Timer);
    connect(m_timer4, &Timer::timeout, this, &Transfer::Timer4_Timer);
    connect(m_comm.get(), &CommControl::onComm, this, &Transfer::MSComm1_OnComm);
}

Transfer::~Transfer()
{
    close();
}

CommError Transfer::send(std::string_view text)
{
    m_state.OutgoingCommand = framed(text);
    // Whatever comes from now on answers this text, even should its write fail.
    m_state.ReceiveBuffer.mark();
    return Hyouji(m_state.OutgoingCommand, SendMode);
}

CommError Transfer::Hyouji(const QByteArray &text, SendModeTag)
{
    // The bytes go out before anything is shown. What did not go out is not shown as sent,
    // and no reply is awaited for it; the failure is the caller's to report.
    if (CommError error = m_comm->setOutput(text))
        return onPort(m_comm->commPort(), *error);
    emit sentLineChanged(tolvek::render(text));
    m_timer2->start();
    m_state.AwaitingReply = 1;
    m_timer4->start();
    return std::nullopt;
}

void Transfer::MSComm1_OnComm()
{
    if (m_comm->commEvent() != CommEvent::Receive)
        return;
    const QByteArray received = m_comm->input();
    if (received.isEmpty())
        return;
    m_state.ReceiveBuffer.append(received);
    m_state.AwaitingReply = 0;
    Hyouji(m_state.ReceiveBuffer, ReceiveMode);
}

void Transfer::Hyouji(const ReceivedBytes &text, ReceiveModeTag)
{
    // RXD always shows the rendering of the whole buffer; when it showed the buffer one change
    // ago, only that change is rendered.
    if (m_receivedLineFollows) {
        const ReceivedBytes::Change &change = text.lastChange();
        QString added;
        tolvek::appendRendering(added, change.added);
        emit receivedLineEdited(qsizetype(tolvek::kRenderLead.size()), change.cutRenderedLength, added);
    } else {
        emit receivedLineChanged(tolvek::render(text.bytes()));
    }
    m_receivedLineFollows = true;
    emit replyReceived(m_state.OutgoingCommand, text.afterMark());
}

void Transfer::Timer2_Timer()
{
    if (m_state.AwaitingReply == 1)
        showReceived(kNoReplyMarker);
    m_timer2->stop();
    emptyBuffer();
    m_state.AwaitingReply = 0;
    emit replyTimeEnded();
}

void Transfer::Timer4_Timer()
{
    emit sentLineChanged(QString());
    showReceived(QString());
    emit monitorCleared();
    m_timer4->stop();
}

void Transfer::setTiming(MonitorTiming timing)
{
    m_timer2->setInterval(timing.replyTimeout);
    m_timer4->setInterval(timing.monitorClear);
}

void Transfer::endHold()
{
    m_timer2->stop();
    m_timer4->start();
    emit sentLineChanged(QString());
    showReceived(QString());
    setTiming(m_normal);
    emptyBuffer();
}

void Transfer::close()
{
    m_timer2->stop();
    m_timer4->stop();
    (void)m_comm->setPortOpen(false);
}

void Transfer::showReceived(const QString &text)
{
    emit receivedLineChanged(text);
    m_receivedLineFollows = false;
}

void Transfer::emptyBuffer()
{
    m_state.ReceiveBuffer.clear();
    // RXD may still show the old bytes; the next receive must replace them, not extend them.
    m_receivedLineFollows = false;
}
