#pragma once

#include <QString>

// The device behind port n as the user named it: the device set with setPortDevice if any (a
// command-line option), else the one the environment variable TOLVEK_COMn names (a USB adapter,
// a pseudo-terminal), else the platform's own: "COMn" on Windows, /dev/ttyS(n-1) elsewhere.
// Decoded as the file system decodes names; for messages.
QString portDeviceName(int port);

// The device to open for port n: the named path with its links resolved, so that whatever path
// led to a device its lock names the device itself, a long link makes no overlong lock name,
// and a link whose name is not UTF-8 still leads to it. A name that is no path passes unchanged.
QString portDevicePath(int port);

// Names the device for port n for the rest of the run; an empty name gives the port back to
// the variable or the platform's name.
void setPortDevice(int port, const QString &device);

// A failure on port n as the user should read it: which port and device, then the serial
// service's own message unchanged, e.g. "COM2 (/dev/ttyS1): No such file or directory".
QString onPort(int port, const QString &message);
