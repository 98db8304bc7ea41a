#include "FakeCommControl.h"

CommError FakeCommControl::openPort()
{
    if (commPort() >= 1 && commPort() <= 2 && !m_openFailure[commPort()].isEmpty())
        return m_openFailure[commPort()];
    m_open = true;
    ++opens;
    return std::nullopt;
}

CommError FakeCommControl::write(const QByteArray &bytes)
{
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
    raise(event);
}

void FakeCommControl::loseDevice()
{
    m_open = false;
    raise(CommEvent::DeviceLost);
}
