#pragma once

#include <QString>

// The device behind port n: the device set with setPortDevice if any (a command-line option),
// else the one the environment variable TOLVEK_COMn names (a USB adapter, a pseudo-terminal),
// else the platform's own: "COMn" on Windows, /dev/ttyS(n-1) elsewhere.
QString portDeviceName(int port);

// Names the device for port n for the rest of the run; an empty name gives the port back to
// the variable or the platform's name.
void setPortDevice(int port, const QString &device);
