#include "DeviceCommControl.h"

#include "PortNames.h"
#include "SerialCommControl.h"
#include "TcpCommControl.h"

DeviceCommControl::DeviceCommControl(QObject *parent)
    : CommControl(parent)
    , m_serial(new SerialCommControl(this))
    , m_tcp(new TcpCommControl(this))
    , m_active(m_serial)
    , m_settings(m_serial->settings())
{
    adopt(m_serial);
    adopt(m_tcp);
}

void DeviceCommControl::adopt(CommControl *control)
{
    // A control that is not the active one is closed and has nothing to say.
    connect(control, &CommControl::onComm, this, [this, control] {
        if (control == m_active)
            emit onComm();
    });
}

CommControl *DeviceCommControl::carrierOf(const QString &device) const
{
    if (TcpCommControl::carries(device))
        return m_tcp;
    return m_serial;
}

CommError DeviceCommControl::setCommPort(int port)
{
    if (CommError e = m_active->setCommPort(port))
        return e;
    m_commPort = port;
    return std::nullopt;
}

CommError DeviceCommControl::setSettings(const QString &settings)
{
    CommError e = m_active->setSettings(settings);
    m_settings = m_active->settings();
    return e;
}

CommError DeviceCommControl::setPortOpen(bool open)
{
    if (!open || m_active->portOpen())
        return m_active->setPortOpen(open);
    // The device is read at each opening: the variables may name a serial port for COM1 and
    // a gateway for COM2.
    CommControl *carrier = carrierOf(portDeviceName(m_commPort));
    if (CommError e = carrier->setCommPort(m_commPort))
        return e;
    if (CommError e = carrier->setSettings(m_settings))
        return e;
    m_active = carrier;
    return m_active->setPortOpen(true);
}
