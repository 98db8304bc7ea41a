#include "PortPanel.h"

#include "Layout.h"

#include <QFrame>
#include <QRadioButton>

PortPanel::PortPanel(QWidget *window, const TimerFactory &makeTimer)
    : QObject(window)
    , m_frame8(window->findChild<QFrame *>(QStringLiteral("Frame8")))
    , m_timer3(makeTimer(this))
{
    Q_ASSERT(m_frame8);
    m_timer3->setInterval(layout::kPortPanelShown);
    connect(m_timer3, &Timer::timeout, this, &PortPanel::Timer3_Timer);
    for (std::size_t i = 0; i < kChoices.size(); ++i) {
        const Choice &choice = kChoices[i];
        m_options[i] = window->findChild<QRadioButton *>(QLatin1StringView(choice.option));
        Q_ASSERT(m_options[i]);
        // clicked, not toggled: a click on the option already chosen runs its choice again.
        connect(m_options[i], &QRadioButton::clicked, this, [this, &choice] { optionClicked(choice); });
    }
}

void PortPanel::Command33_Click()
{
    m_frame8->show();
    m_frame8->raise();
    m_timer3->start();
}

void PortPanel::Timer3_Timer()
{
    m_frame8->hide();
    m_timer3->stop();
}

void PortPanel::restartTimer3()
{
    m_timer3->stop();
    m_timer3->start();
}

void PortPanel::hide()
{
    m_frame8->hide();
}

void PortPanel::stop()
{
    m_timer3->stop();
}

void PortPanel::optionClicked(const Choice &choice)
{
    if (choice.port != 0)
        emit portChosen(choice.port, choice.fallback);
    else
        emit speedChosen(choice.settings);
}

void PortPanel::choose(std::string_view option)
{
    for (std::size_t i = 0; i < kChoices.size(); ++i) {
        if (kChoices[i].option == option) {
            m_options[i]->setChecked(true);
            optionClicked(kChoices[i]);
        }
    }
}

void PortPanel::markPort(int port)
{
    for (std::size_t i = 0; i < kChoices.size(); ++i)
        if (kChoices[i].port == port)
            m_options[i]->setChecked(true);
}
