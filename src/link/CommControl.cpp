#include "CommControl.h"

#include "LineFormat.h"

CommError CommControl::refusePortChoice(bool open, int port)
{
    if (open)
        return tr("The port is open: close it before choosing another one.");
    if (port < 1)
        return tr("There is no port number %1.").arg(port);
    return std::nullopt;
}

CommError CommControl::refuseSettings(const QString &settings)
{
    if (!LineFormat::parse(settings))
        return tr("The line settings \"%1\" are not valid.").arg(settings);
    return std::nullopt;
}
