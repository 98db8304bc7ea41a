#pragma once

#include <QString>

// The device behind port n: "COMn" on Windows; elsewhere /dev/ttyS(n-1), unless the
// environment variable TOLVEK_COMn names another device (a USB adapter, a pseudo-terminal).
QString portDeviceName(int port);
