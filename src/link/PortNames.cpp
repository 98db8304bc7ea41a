#include "PortNames.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <climits>
#include <cstdlib>
#endif

namespace {

// As bytes: a path need not be valid in any encoding, and decoding loses what is not.
QByteArray configuredDevice(int port)
{
    QByteArray chosen = qgetenv(QByteArray("TOLVEK_COM") + QByteArray::number(port));
    if (!chosen.isEmpty())
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

QString onPort(int port, const QString &message)
{
    return QStringLiteral("COM%1 (%2): %3").arg(port).arg(portDeviceName(port), message);
}
