#include "PortNames.h"

#include <QtGlobal>

QString portDeviceName(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    QString chosen = qEnvironmentVariable(qPrintable(QStringLiteral("TOLVEK_COM%1").arg(port)));
    if (!chosen.isEmpty())
        return chosen;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString onPort(int port, const QString &message)
{
    return QStringLiteral("COM%1 (%2): %3").arg(port).arg(portDeviceName(port), message);
}
