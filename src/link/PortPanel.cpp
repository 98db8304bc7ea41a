// The port panel: "COM" shows it, a choice of port or speed takes effect at once and hides
// it, and Timer3 hides it when nothing is chosen.
#include "panel/Form1.h"

#include "LineSettings.h"

#include <QFrame>

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
    // Each step runs whatever the one before did; the last failure is the one reported.
    CommError failure;
    if (m_comm->portOpen())
        if (CommError e = m_comm->setPortOpen(false))
            failure = e;
    if (CommError e = m_comm->setCommPort(port))
        failure = e;
    // Open whenever closed, not only when it was open before: otherwise one failed change
    // would strand the panel without a port until it is started again.
    if (!failure && !m_comm->portOpen())
        failure = m_comm->setPortOpen(true);

    if (failure) {
        report(failure);
        (void)m_comm->setCommPort(fallback);
        return;
    }
    m_frame8->hide();
}

void Form1::chooseSpeed(const QString &settings)
{
    m_state.LineSettings = settings;
    report(m_comm->setSettings(m_state.LineSettings));
    m_frame8->hide();
}
