#pragma once

#include <QString>

// The device behind port n as the user named it: "COMn" on Windows, /dev/ttyS(n-1) elsewhere,
// unless the environment variable TOLVEK_COMn names another device (a USB adapter, a
// pseudo-terminal). Decoded as the file system decodes names; for messages.
QString portDeviceName(int port);

// The device to open for port n: the named path with its links resolved, so that whatever path
// led to a device its lock names the device itself, a long link makes no overlong lock name,
// and a link whose name is not UTF-8 still leads to it. A name that is no path passes unchanged.
QString portDevicePath(int port);

// A failure on port n as the user should read it: which port and device, then the serial
// service's own message unchanged, e.g. "COM2 (/dev/ttyS1): No such file or directory".
QString onPort(int port, const QString &message);
