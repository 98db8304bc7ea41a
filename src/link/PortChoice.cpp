#include "PortChoice.h"

#include "LineFormat.h"
#include "PortNames.h"

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
    // Closing and opening again would drop the line: modem lines toggle, a reply in flight is lost.
    if (m_comm.portOpen() && m_comm.commPort() == port)
        return std::nullopt;
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
    if (failure)
        return onPort(port, *failure);
    return std::nullopt;
}

bool PortChoice::fallBack(int port)
{
    (void)m_comm.setCommPort(port);
    return !m_comm.setPortOpen(true);
}

CommError PortChoice::chooseSpeed(const QString &settings)
{
    m_state.LineSettings = settings;
    if (CommError e = m_comm.setSettings(m_state.LineSettings))
        return onPort(m_comm.commPort(), *e);
    return std::nullopt;
}
