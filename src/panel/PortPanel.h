#pragma once

#include "link/LineFormat.h"
#include "link/Timer.h"

#include <QObject>

#include <array>
#include <string_view>

class QFrame;
class QRadioButton;
class QWidget;

// The port panel, Frame8: "COM" shows it, Timer3 hides it when nothing is chosen, and a choice
// hides it once the window has carried it out. It asks for choices; it opens nothing.
class PortPanel final : public QObject
{
    Q_OBJECT

public:
    // An option and what choosing it asks for: a port, with the port to fall back to should it
    // fail, or a speed.
    struct Choice
    {
        std::string_view option;
        int port = 0; // 0: a speed choice
        int fallback = 0;
        QLatin1StringView settings;
    };

    static constexpr auto kChoices = std::to_array<Choice>({
        {"Option1", 1, 2, {}},
        {"Option2", 2, 1, {}},
        {"Option3", 0, 0, kSettings19200},
        {"Option4", 0, 0, kSettings9600},
    });

    // Over the window's own controls, which it finds by name.
    PortPanel(QWidget *window, const TimerFactory &makeTimer);

    void Command33_Click();
    // The monitor view's toggle: the panel's time starts again.
    void restartTimer3();
    void hide();
    // Selects the option and runs its choice, as start-up does with COM1.
    void choose(std::string_view option);
    // Marks port n chosen without running its choice: the port a failed change fell back to.
    void markPort(int port);
    // Nothing ticks after this.
    void stop();

Q_SIGNALS:
    void portChosen(int port, int fallback);
    void speedChosen(const QString &settings);

private:
    void optionClicked(const Choice &choice);
    void Timer3_Timer();

    QFrame *m_frame8 = nullptr;
    std::array<QRadioButton *, kChoices.size()> m_options{};
    Timer *m_timer3 = nullptr;
};
