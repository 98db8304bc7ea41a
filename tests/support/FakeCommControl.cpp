#include "FakeCommControl.h"

CommError FakeCommControl::setCommPort(int port)
{
    if (m_open)
        return QStringLiteral("The port is open.");
    m_port = port;
    return std::nullopt;
}

CommError FakeCommControl::setSettings(const QString &settings)
{
    m_settings = settings;
    return std::nullopt;
}

CommError FakeCommControl::setPortOpen(bool open)
{
    if (open == m_open)
        return std::nullopt;
    if (open && m_port >= 1 && m_port <= 2 && !m_openFailure[m_port].isEmpty())
        return m_openFailure[m_port];
    m_open = open;
    opens += open;
    return std::nullopt;
}

CommError FakeCommControl::setOutput(const QByteArray &bytes)
{
    if (!m_open)
        return QStringLiteral("The port is not open.");
    if (!m_writeFailure.isEmpty())
        return m_writeFailure;
    writes.append(bytes);
    return std::nullopt;
}

QByteArray FakeCommControl::input()
{
    return std::exchange(m_waiting, {});
}

void FakeCommControl::receive(const QByteArray &bytes, CommEvent event)
{
    m_waiting.append(bytes);
    raiseEvent(event);
}

void FakeCommControl::raiseEvent(CommEvent event)
{
    m_event = event;
    emit onComm();
}

void FakeCommControl::loseDevice()
{
    m_open = false;
    raiseEvent(CommEvent::DeviceLost);
}
