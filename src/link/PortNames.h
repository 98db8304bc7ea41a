#pragma once

#include <QString>

// The device behind port n: "COMn" on Windows; elsewhere /dev/ttyS(n-1), unless the
// environment variable TOLVEK_COMn names another device (a USB adapter, a pseudo-terminal).
QString portDeviceName(int port);

// A failure on port n as the user should read it: which port and device, then the serial
// service's own message unchanged, e.g. "COM2 (/dev/ttyS1): No such file or directory".
QString onPort(int port, const QString &message);
