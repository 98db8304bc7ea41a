#include "FakeCommControl.h"

CommError FakeCommControl::openPort()
{
    ++attempts;
    const bool known = commPort() >= 1 && commPort() <= 2;
    if (known && m_delayed[commPort()]) {
        m_opening = true;
        return std::nullopt;
    }
    if (known && !m_openFailure[commPort()].isEmpty())
        return m_openFailure[commPort()];
    m_open = true;
    ++opens;
    return std::nullopt;
}

void FakeCommControl::finishOpening()
{
    if (!std::exchange(m_opening, false))
        return;
    const QString failure = m_openFailure[commPort()];
    m_open = failure.isEmpty();
    opens += int(m_open);
    emit openFinished(m_open ? CommError() : failure);
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
