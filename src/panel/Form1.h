#pragma once

#include "link/CommControl.h"
#include "link/PortChoice.h"
#include "link/Timer.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class MonitorLine;
class MonitorView;
class PanelButton;
class PortPanel;
class Repeater;
class StatusReader;
class Transfer;

namespace vocabulary {
struct Command;
} // namespace vocabulary

// Shows a modal warning with one OK button; tests read the text instead.
using WarningBox = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
void showWarningBox(QWidget *parent, const QString &title, const QString &text);

// The panel's one window: its controls, the monitor view and the port panel as parts of its
// own, and the warning box. Its handlers hand every send, receive and port change to the core's
// classes and show what they report.
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

    // Builds the window; start() then runs its start-up.
    explicit Form1(Services services, QWidget *parent = nullptr);
    ~Form1() override;

    // Opens the port, which may warn before the window shows. Apart from building so that
    // whoever ends the panel can reach it while that box is up.
    void start();

    const Transfer &transfer() const { return *m_transfer; }
    const Repeater &repeater() const { return *m_repeater; }

Q_SIGNALS:
    // The panel has ended: by END or by closing the window.
    void ended();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    template <typename T>
    T *control(const char *name) const;
    void wire(const TimerFactory &makeTimer);
    void report(const CommError &error);

    // Start-up and end.
    void Form_Load();
    void centre();
    void Command16_Click();
    void stopAndClosePort();

    // Ctrl+J, seen before the control with the focus sees it.
    void Form_KeyDown(int keyCode, int shift);

    // The port panel's choices.
    void choosePort(int port, int fallback);
    void portFailed(const QString &failure);
    void chooseSpeed(const QString &settings);

    // The command buttons.
    void commandClick(const vocabulary::Command &command);
    void holdPress(const vocabulary::Command &command, PanelButton *button);

    Transfer *m_transfer = nullptr;
    Repeater *m_repeater = nullptr;
    StatusReader *m_status = nullptr;
    PortChoice m_ports;
    WarningBox m_warn;
    int m_dpi = 96;
    PortPanel *m_portPanel = nullptr;
    MonitorView *m_monitorView = nullptr;
    PanelButton *m_heldButton = nullptr; // the button of the hold in progress, or of the last

    bool m_warningShown = false;
    bool m_centredInFrame = false; // centred again once the window manager has framed the window
    // A port's failure that waits for the box that is up to close.
    std::optional<QString> m_portFailure;
};
