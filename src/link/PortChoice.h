#pragma once

#include "CommControl.h"

#include <QString>

// The choice of port and speed on the serial control: opening at start-up, a port change with
// its fallback, a speed change on the open port. It holds LineSettings; showing the choices is
// the window's.
class PortChoice
{
public:
    struct State
    {
        QString LineSettings; // the line settings last handed to the port
    };

    explicit PortChoice(CommControl &comm);

    const State &state() const { return m_state; }

    // COM1 at the start-up speed. Silent: the COM1 choice that follows reports a failure.
    void openAtStart();
    // Closes the port, selects the new one and opens it; the port that is open already stays
    // open, untouched. A failure names the port and its device.
    [[nodiscard]] CommError choosePort(int port);
    // After a failed change, once the user knows of it: the other port, opened with the speed
    // in force. Silent; says whether it opened.
    bool fallBack(int port);
    [[nodiscard]] CommError chooseSpeed(const QString &settings);

private:
    CommControl &m_comm;
    State m_state;
};
