#include "PortNames.h"

#include <QFile>
#include <QHash>

#ifdef Q_OS_UNIX
#include <climits>
#include <cstdlib>
#endif

namespace {

QHash<int, QByteArray> &setDevices()
{
    static QHash<int, QByteArray> devices;
    return devices;
}

// As bytes: a path need not be valid in any encoding, and decoding loses what is not.
QByteArray configuredDevice(int port)
{
    if (QByteArray set = setDevices().value(port); !set.isEmpty())
        return set;
    if (QByteArray chosen = qgetenv(QByteArray("TOLVEK_COM") + QByteArray::number(port)); !chosen.isEmpty())
        return chosen;
#ifdef Q_OS_WIN
    return "COM" + QByteArray::number(port);
#else
    return "/dev/ttyS" + QByteArray::number(port - 1);
#endif
}

} // namespace

QString portDeviceName(int port)
{
    return QFile::decodeName(configuredDevice(port));
}

QString portDevicePath(int port)
{
    const QByteArray device = configuredDevice(port);
#ifdef Q_OS_UNIX
    char resolved[PATH_MAX];
    if (!device.contains("://") && ::realpath(device.constData(), resolved))
        return QFile::decodeName(resolved);
#endif
    // Missing, or no path at all: opening it says what is wrong.
    return QFile::decodeName(device);
}

void setPortDevice(int port, const QString &device)
{
    if (device.isEmpty())
        setDevices().remove(port);
    else
        setDevices().insert(port, QFile::encodeName(device));
}

QString onPort(int port, const QString &message)
{
    return QStringLiteral("COM%1 (%2): %3").arg(port).arg(portDeviceName(port), message);
}
