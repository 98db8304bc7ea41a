#pragma once

#include "Vocabulary.h"
#include "link/Transfer.h"

#include <QObject>

// Sends the vocabulary's commands through the transfer: once per click, or at the press of a
// hold button and then at every tick of Timer1 until its release. It owns RepeatCode,
// ArrowMode and Timer1; the monitor's timing during a hold it hands to the transfer.
class Repeater final : public QObject
{
    Q_OBJECT

public:
    struct State
    {
        quint8 RepeatCode = 0; // the held button's repeat code; 0 while none is held
        vocabulary::ArrowMode ArrowMode = vocabulary::ArrowMode::Unchanged;
    };

    Repeater(Transfer &transfer, const TimerFactory &makeTimer, QObject *parent = nullptr);

    const State &state() const { return m_state; }

    [[nodiscard]] CommError click(const vocabulary::Command &command);
    // A press whose send fails ends the hold at once and returns the failure.
    [[nodiscard]] CommError press(const vocabulary::Command &command);
    void release(const vocabulary::Command &command);
    // Ends the hold in progress, if any, as its button's release would.
    void releaseHeld();
    // Nothing repeats after this.
    void stop();

Q_SIGNALS:
    // Timer1 is about to resend the held command: the last moment for a release to stop it.
    void aboutToRepeat();
    // A repeat could not be written; the hold has ended.
    void failed(const QString &message);

private:
    void Timer1_Timer();

    Transfer &m_transfer;
    State m_state;
    Timer *m_timer1 = nullptr;
};
