// The hold-to-repeat buttons: a press sends at once, Timer1 resends while the button is held,
// the release stops it. During a hold the monitor's timers run short so that each send's
// reply time-out and clear fall before the next send.
#include "panel/Form1.h"

#include "Vocabulary.h"
#include "panel/MonitorLine.h"

using vocabulary::PressForm;
using vocabulary::ReleaseForm;

void Form1::holdPress(const vocabulary::Command &command)
{
    switch (command.press) {
    case PressForm::Standard:
        m_state.RepeatCode = command.repeatCode;
        if (!sendHeld(command))
            return;
        m_timer1->setInterval(*command.repeatInterval);
        // Both are running from the send: a new interval restarts their count.
        m_timer2->setInterval(vocabulary::kHoldTiming.replyTimeout);
        m_timer4->setInterval(vocabulary::kHoldTiming.monitorClear);
        m_timer1->start();
        return;
    case PressForm::Arrow:
        if (const auto timing = vocabulary::arrowTiming(m_state.ArrowMode)) {
            m_timer2->setInterval(timing->replyTimeout);
            m_timer4->setInterval(timing->monitorClear);
        }
        m_state.RepeatCode = command.repeatCode;
        if (!sendHeld(command))
            return;
        m_timer1->start();
        return;
    }
    Q_UNREACHABLE();
}

void Form1::Timer1_Timer()
{
    if (const vocabulary::Command *command = vocabulary::commandForRepeatCode(m_state.RepeatCode))
        sendHeld(*command);
}

bool Form1::sendHeld(const vocabulary::Command &command)
{
    m_state.OutgoingCommand = vocabulary::framed(command.text);
    const CommError error = Hyouji(m_state.OutgoingCommand, SendMode);
    if (!error)
        return true;
    // End the hold before the box: with Timer1 still running, a box would follow at every
    // tick, stacked behind one another while the button is no longer held.
    holdRelease(command);
    report(error);
    return false;
}

void Form1::holdRelease(const vocabulary::Command &command)
{
    m_state.RepeatCode = 0;
    m_timer1->stop();
    m_timer2->stop();
    m_timer4->start();
    m_label11->setText(QString());
    setReceivedLine(QString());
    m_timer2->setInterval(vocabulary::kNormalTiming.replyTimeout);
    m_timer4->setInterval(vocabulary::kNormalTiming.monitorClear);
    m_state.ReceiveBuffer.clear();

    switch (command.release) {
    case ReleaseForm::Standard:
        return;
    case ReleaseForm::Zoom:
        m_timer1->setInterval(vocabulary::kRepeatAfterZoom);
        m_state.ArrowMode = vocabulary::kArrowModeAfterZoom;
        return;
    }
    Q_UNREACHABLE();
}
