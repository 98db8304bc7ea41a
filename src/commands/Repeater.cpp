#include "Repeater.h"

using vocabulary::PressForm;
using vocabulary::ReleaseForm;

Repeater::Repeater(Transfer &transfer, const TimerFactory &makeTimer, QObject *parent)
    : QObject(parent)
    , m_transfer(transfer)
    , m_timer1(makeTimer(this))
{
    m_timer1->setInterval(vocabulary::kRepeatAtStart);
    connect(m_timer1, &Timer::timeout, this, &Repeater::Timer1_Timer);
}

CommError Repeater::click(const vocabulary::Command &command)
{
    CommError error = m_transfer.send(command.text);
    if (command.setsArrowTiming) {
        m_timer1->setInterval(vocabulary::kRepeatAfterMenu);
        m_state.ArrowMode = vocabulary::ArrowMode::AfterMenu;
    }
    return error;
}

CommError Repeater::press(const vocabulary::Command &command)
{
    // The timing is set whatever the send's outcome: a failed press must not leave Timer1 at
    // another button's interval for the arrows that follow.
    CommError error;
    switch (command.press) {
    case PressForm::Standard:
        m_state.RepeatCode = command.repeatCode;
        error = m_transfer.send(command.text);
        m_timer1->setInterval(*command.repeatInterval);
        // Both are running from the send: a new interval restarts their count.
        m_transfer.setTiming(vocabulary::kHoldTiming);
        break;
    case PressForm::Arrow:
        if (const auto timing = vocabulary::arrowTiming(m_state.ArrowMode))
            m_transfer.setTiming(*timing);
        m_state.RepeatCode = command.repeatCode;
        error = m_transfer.send(command.text);
        break;
    }
    if (error) {
        release(command);
        return error;
    }
    m_timer1->start();
    return std::nullopt;
}

void Repeater::Timer1_Timer()
{
    emit aboutToRepeat();
    const vocabulary::Command *command = vocabulary::commandForRepeatCode(m_state.RepeatCode);
    if (!command)
        return;
    // A failed write ends the hold: with Timer1 still running, the failure would come back at
    // every tick while the button is no longer held.
    if (CommError error = m_transfer.send(command->text)) {
        release(*command);
        emit failed(*error);
    }
}

void Repeater::release(const vocabulary::Command &command)
{
    m_state.RepeatCode = 0;
    m_timer1->stop();
    m_transfer.endHold();

    switch (command.release) {
    case ReleaseForm::Standard:
        return;
    case ReleaseForm::Zoom:
        m_timer1->setInterval(vocabulary::kRepeatAfterZoom);
        m_state.ArrowMode = vocabulary::ArrowMode::AfterZoom;
        return;
    }
    Q_UNREACHABLE();
}

void Repeater::releaseHeld()
{
    if (const vocabulary::Command *command = vocabulary::commandForRepeatCode(m_state.RepeatCode))
        release(*command);
}

void Repeater::stop()
{
    m_timer1->stop();
}
