#include "PortChoice.h"

#include "PortNames.h"

PortChoice::PortChoice(CommControl &comm, QObject *parent)
    : QObject(parent)
    , m_comm(comm)
{
    connect(&m_comm, &CommControl::openFinished, this, &PortChoice::finish);
}

bool PortChoice::keeps(int port) const
{
    return m_comm.commPort() == port && (m_comm.portOpen() || m_comm.portOpening());
}

void PortChoice::choosePort(int port, int fallback)
{
    if (m_stopped)
        return;
    m_chosen = port;
    m_fallback = fallback;
    // Closing and opening again would drop the line: modem lines toggle, a reply in flight is lost.
    if (!keeps(port))
        open(Step::Choice, port);
    else if (m_comm.portOpen())
        emit opened(port);
    else
        m_step = Step::Choice; // the opening under way ends this choice
}

void PortChoice::fallBack()
{
    if (!m_stopped)
        open(Step::Fallback, m_fallback);
}

void PortChoice::open(Step step, int port)
{
    (void)m_comm.setPortOpen(false);
    m_step = step;
    CommError failure = m_comm.setCommPort(port);
    if (!failure)
        failure = m_comm.setPortOpen(true);
    if (!m_comm.portOpening())
        finish(failure);
}

void PortChoice::finish(const CommError &failure)
{
    switch (std::exchange(m_step, Step::None)) {
    case Step::None:
        return;
    case Step::Choice:
        if (failure)
            emit failed(onPort(m_chosen, *failure));
        else
            emit opened(m_chosen);
        return;
    case Step::Fallback:
        if (!failure)
            emit fellBack(m_fallback);
        else
            (void)m_comm.setCommPort(m_chosen);
        return;
    }
    Q_UNREACHABLE();
}

CommError PortChoice::chooseSpeed(const QString &settings)
{
    m_state.LineSettings = settings;
    if (CommError e = m_comm.setSettings(m_state.LineSettings))
        return onPort(m_comm.commPort(), *e);
    return std::nullopt;
}

void PortChoice::stop()
{
    m_stopped = true;
    m_step = Step::None;
}
