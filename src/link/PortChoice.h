#pragma once

#include "CommControl.h"

#include <QObject>
#include <QString>

// The choice of port and speed on the serial control: a port change with its fallback, a speed
// change on the open port. An opening ends at once or, for a gateway, once it answers; either
// way its end comes as a signal. It holds LineSettings; showing the choices is the window's.
class PortChoice final : public QObject
{
    Q_OBJECT

public:
    struct State
    {
        QString LineSettings; // the line settings last handed to the port
    };

    explicit PortChoice(CommControl &comm, QObject *parent = nullptr);

    const State &state() const { return m_state; }

    // Whether choosing port n leaves the line as it is: it is the port open, or the one opening.
    bool keeps(int port) const;
    // Closes the port, selects port n and opens it, unless it keeps it. Ends with opened, or
    // with failed naming the port and its device; the fallback is then the caller's to ask for.
    void choosePort(int port, int fallback);
    // After a failed choice, once the user knows of it: the fallback port, opened with the speed
    // in force. Silent: it ends with fellBack, or with the chosen port selected again, closed,
    // so that what the window shows and what the next failure names agree.
    void fallBack();
    [[nodiscard]] CommError chooseSpeed(const QString &settings);
    // Once the panel is ending: nothing is opened again, and the end of an opening under way,
    // which closing the port abandons, is not heard.
    void stop();

Q_SIGNALS:
    void opened(int port);
    void failed(const QString &failure);
    void fellBack(int port);

private:
    enum class Step : quint8 { None, Choice, Fallback }; // what the opening under way is for

    void open(Step step, int port);
    void finish(const CommError &failure);

    CommControl &m_comm;
    State m_state;
    Step m_step = Step::None;
    int m_chosen = 0;
    int m_fallback = 0;
    bool m_stopped = false;
};
