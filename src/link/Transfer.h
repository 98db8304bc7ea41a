#pragma once

#include "CommControl.h"
#include "ReceivedBytes.h"
#include "Timer.h"
#include "wire/MonitorTiming.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <string_view>

// The one road out and the one road in. It owns the serial control, frames and sends texts,
// gathers what comes back, and runs the reply time-out and the monitor clear. What the TXD and
// RXD lines must show it says through signals; it draws nothing and reads no reply's meaning.
class Transfer final : public QObject
{
    Q_OBJECT

public:
    struct State
    {
        quint8 AwaitingReply = 0;   // 1 from a send until a reply arrives or the time-out passes
        QByteArray OutgoingCommand; // the last text sent, carriage return included
        ReceivedBytes ReceiveBuffer;
    };

    // The two modes of Hyouji as types: each takes its own kind of text.
    struct SendModeTag
    {
    };
    struct ReceiveModeTag
    {
    };
    static constexpr SendModeTag SendMode{};
    static constexpr ReceiveModeTag ReceiveMode{};

    Transfer(std::unique_ptr<CommControl> comm, const TimerFactory &makeTimer, MonitorTiming normal,
             QObject *parent = nullptr);
    ~Transfer() override;

    const State &state() const { return m_state; }
    CommControl &comm() { return *m_comm; }

    // Sets OutgoingCommand to the text with its carriage return and sends it.
    [[nodiscard]] CommError send(std::string_view text);

    // A hold's own timing; a new interval restarts a count that is running.
    void setTiming(MonitorTiming timing);
    // The monitor's part of ending a hold: the pending time-out is abandoned, TXD and RXD go
    // blank, the normal timing comes back with the clear counting from now, the buffer empties.
    void endHold();
    // Nothing ticks after this and the port is closed.
    void close();

Q_SIGNALS:
    void sentLineChanged(const QString &text);
    void receivedLineChanged(const QString &text);
    // RXD loses count characters at position and gains added at its end.
    void receivedLineEdited(qsizetype position, qsizetype count, const QString &added);
    // RXD shows the buffer after a receive: the cue for reading a reply. sent is the last text
    // sent; received what the buffer holds of the bytes that came after it was sent (all of them
    // unless the buffer's bound cut into them; nothing from before the send, though RXD still
    // shows it), valid only during the emission.
    void replyReceived(const QByteArray &sent, QByteArrayView received);
    // Timer4 has blanked TXD and RXD; whatever else the monitor shows goes too.
    void monitorCleared();
    // Timer2 has ticked and the buffer is empty again: whatever came back for the last send,
    // if anything, came before this.
    void replyTimeEnded();

private:
    [[nodiscard]] CommError Hyouji(const QByteArray &text, SendModeTag);
    void Hyouji(const ReceivedBytes &text, ReceiveModeTag);
    void MSComm1_OnComm();
    void Timer2_Timer();
    void Timer4_Timer();
    void showReceived(const QString &text);
    void emptyBuffer();

    std::unique_ptr<CommControl> m_comm;
    State m_state;
    MonitorTiming m_normal;
    Timer *m_timer2 = nullptr;
    Timer *m_timer4 = nullptr;
    // RXD shows the rendering of the buffer as it stood one change ago, so a receive need
    // only render what it adds.
    bool m_receivedLineFollows = false;
};
