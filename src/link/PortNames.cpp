#include "PortNames.h"

#include <QHash>
#include <QtGlobal>

namespace {

QHash<int, QString> &setDevices()
{
    static QHash<int, QString> devices;
    return devices;
}

} // namespace

QString portDeviceName(int port)
{
    if (QString set = setDevices().value(port); !set.isEmpty())
        return set;
    QString chosen = qEnvironmentVariable(qPrintable(QStringLiteral("TOLVEK_COM%1").arg(port)));
    if (!chosen.isEmpty())
        return chosen;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

void setPortDevice(int port, const QString &device)
{
    if (device.isEmpty())
        setDevices().remove(port);
    else
        setDevices().insert(port, device);
}
