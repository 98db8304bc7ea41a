#include "PortChoice.h"

#include "LineFormat.h"

PortChoice::PortChoice(CommControl &comm)
    : m_comm(comm)
{
}

void PortChoice::openAtStart()
{
    m_state.LineSettings = kSettings19200;
    (void)m_comm.setCommPort(1);
    (void)m_comm.setSettings(m_state.LineSettings);
    (void)m_comm.setPortOpen(true);
}

CommError PortChoice::choosePort(int port)
{
    // Each step runs whatever the one before did; the last failure is the one reported.
    CommError failure;
    if (m_comm.portOpen())
        if (CommError e = m_comm.setPortOpen(false))
            failure = e;
    if (CommError e = m_comm.setCommPort(port))
        failure = e;
    // Open whenever closed, not only when it was open before: otherwise one failed change
    // would strand the panel without a port until it is started again.
    if (!failure && !m_comm.portOpen())
        failure = m_comm.setPortOpen(true);
    return failure;
}

void PortChoice::fallBack(int port)
{
    (void)m_comm.setCommPort(port);
}

CommError PortChoice::chooseSpeed(const QString &settings)
{
    m_state.LineSettings = settings;
    return m_comm.setSettings(m_state.LineSettings);
}
