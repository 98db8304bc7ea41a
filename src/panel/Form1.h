#pragma once

#include "PanelState.h"
#include "PanelTimer.h"
#include "link/CommControl.h"

#include <QWidget>

#include <functional>
#include <memory>

class MonitorLine;
class PanelButton;
class QFrame;
class QRadioButton;

namespace vocabulary {
struct Command;
struct Query;
} // namespace vocabulary

// Shows a modal warning with one OK button; tests read the text instead.
using WarningBox = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
void showWarningBox(QWidget *parent, const QString &title, const QString &text);

// The panel's one window. It owns every control, the four timers, the serial port and the
// state record, and every action of the panel is one of its handlers. Its implementation is
// spread over the subsystems: start-up and the monitor view here, sending and receiving and
// the port panel in link/, the command buttons in commands/, the status queries in status/.
class Form1 final : public QWidget
{
    Q_OBJECT

public:
    struct Services
    {
        std::unique_ptr<CommControl> comm;
        TimerFactory makeTimer = makeQtTimer;
        WarningBox warn = showWarningBox;
    };

    // Builds the window and runs its start-up, which opens the port.
    explicit Form1(Services services, QWidget *parent = nullptr);
    ~Form1() override;

    const PanelState &state() const { return m_state; }

    // The two modes of Hyouji, SendMode and ReceiveMode, as types: each has its own text.
    struct SendModeTag
    {
    };
    struct ReceiveModeTag
    {
    };
    static constexpr SendModeTag SendMode{};
    static constexpr ReceiveModeTag ReceiveMode{};

Q_SIGNALS:
    // The panel has ended: by END or by closing the window.
    void ended();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    template <typename T>
    T *control(const char *name) const;
    void wire();
    void report(const CommError &error);

    // Start-up and end.
    void Form_Load();
    void Command16_Click();
    void release();

    // The monitor view.
    void Form_KeyDown(int keyCode, int shift);
    void Command34_Click();
    bool viewOpen() const;
    void setClientDepth(int twips);

    // Sending, receiving and the transfer monitor.
    [[nodiscard]] CommError Hyouji(const QByteArray &text, SendModeTag mode);
    void Hyouji(const ReceivedBytes &text, ReceiveModeTag mode);
    void setReceivedLine(const QString &text);
    void Timer2_Timer();
    void Timer4_Timer();
    void MSComm1_OnComm();

    // The port panel.
    void Command33_Click();
    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Option4_Click();
    void choosePort(int port, int fallback);
    void chooseSpeed(const QString &settings);
    void Timer3_Timer();

    // The command buttons.
    void commandClick(const vocabulary::Command &command);
    void holdPress(const vocabulary::Command &command);
    void holdRelease(const vocabulary::Command &command);
    void Timer1_Timer();
    bool sendHeld(const vocabulary::Command &command);

    // The status queries.
    void queryClick(const vocabulary::Query &query);
    void decodeReply();

    PanelState m_state;
    std::unique_ptr<CommControl> m_comm;
    WarningBox m_warn;
    int m_dpi = 96;

    PanelTimer *m_timer1 = nullptr;
    PanelTimer *m_timer2 = nullptr;
    PanelTimer *m_timer3 = nullptr;
    PanelTimer *m_timer4 = nullptr;

    MonitorLine *m_label11 = nullptr;
    MonitorLine *m_label12 = nullptr;
    MonitorLine *m_label25 = nullptr;
    PanelButton *m_command34 = nullptr;
    QFrame *m_frame8 = nullptr;
    QRadioButton *m_option1 = nullptr;

    // Which generation of ReceiveBuffer Label12 shows, so a receive only renders what is new.
    quint64 m_label12Generation = 0;
    bool m_label12ShowsBuffer = false;
};
