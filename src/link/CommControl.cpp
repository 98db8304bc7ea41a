#include "CommControl.h"

#include "LineFormat.h"

CommControl::CommControl(QObject *parent)
    : QObject(parent)
    , m_settings(kSettings9600) // a serial control's own until the panel sets its line
    , m_lineFormat(*LineFormat::parse(m_settings))
{
}

CommError CommControl::setCommPort(int port)
{
    if (portOpen() || portOpening())
        return tr("The port is open: close it before choosing another one.");
    if (port < 1)
        return tr("There is no port number %1.").arg(port);
    m_commPort = port;
    return std::nullopt;
}

CommError CommControl::setSettings(const QString &settings)
{
    const std::optional<LineFormat> line = LineFormat::parse(settings);
    if (!line)
        return tr("The line settings \"%1\" are not valid.").arg(settings);
    m_settings = settings;
    m_lineFormat = *line;
    if (!portOpen() && !portOpening())
        return std::nullopt;
    return applySettings();
}

CommError CommControl::setPortOpen(bool open)
{
    if (open == (portOpen() || portOpening()))
        return std::nullopt;
    if (!open) {
        closePort();
        return std::nullopt;
    }
    return openPort();
}

CommError CommControl::setOutput(const QByteArray &bytes)
{
    if (CommError refusal = writeRefusal())
        return refusal;
    return write(bytes);
}

CommError CommControl::writeRefusal() const
{
    // Not the device of commPort(): after a failed change that names the fallback port.
    if (portOpening())
        return tr("The port is not open yet: its connection is under way.");
    if (!portOpen())
        return tr("The port is not open.");
    return std::nullopt;
}

void CommControl::raise(CommEvent event)
{
    m_event = event;
    emit onComm();
}
