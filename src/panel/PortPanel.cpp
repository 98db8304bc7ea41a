// The port panel: "COM" shows it, a choice of port or speed takes effect at once and hides
// it, and Timer3 hides it when nothing is chosen.
#include "Form1.h"

#include "commands/Repeater.h"
#include "link/LineFormat.h"

#include <QFrame>
#include <QRadioButton>

void Form1::Command33_Click()
{
    m_frame8->show();
    m_frame8->raise();
    m_timer3->start();
}

void Form1::Timer3_Timer()
{
    m_frame8->hide();
    m_timer3->stop();
}

void Form1::Option1_Click()
{
    choosePort(1, 2);
}

void Form1::Option2_Click()
{
    choosePort(2, 1);
}

void Form1::Option3_Click()
{
    chooseSpeed(kSettings19200);
}

void Form1::Option4_Click()
{
    chooseSpeed(kSettings9600);
}

void Form1::choosePort(int port, int fallback)
{
    // A hold's repeat would meet the port closed while the box is up.
    m_repeater->releaseHeld();
    if (const CommError failure = m_ports.choosePort(port)) {
        report(failure);
        // Left with no port at all, the next click would only warn again.
        if (m_ports.fallBack(fallback))
            m_portOptions[fallback - 1]->setChecked(true);
        return;
    }
    m_frame8->hide();
}

void Form1::chooseSpeed(const QString &settings)
{
    report(m_ports.chooseSpeed(settings));
    m_frame8->hide();
}
