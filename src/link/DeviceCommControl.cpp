#include "DeviceCommControl.h"

#include "DeviceName.h"
#include "PortNames.h"
#include "SerialCommControl.h"
#include "TcpCommControl.h"

DeviceCommControl::DeviceCommControl(QObject *parent)
    : CommControl(parent)
    , m_serial(new SerialCommControl(this))
    , m_tcp(new TcpCommControl(this))
    , m_active(m_serial)
{
    adopt(m_serial);
    adopt(m_tcp);
}

void DeviceCommControl::adopt(CommControl *control)
{
    // A control that is not the active one is closed and has nothing to say.
    connect(control, &CommControl::onComm, this, [this, control] {
        if (control == m_active)
            raise(control->commEvent());
    });
}

CommControl *DeviceCommControl::carrierOf(const DeviceName &device) const
{
    switch (device.kind) {
    case DeviceName::Kind::Serial:
        return m_serial;
    case DeviceName::Kind::RawTcp:
        return m_tcp;
    case DeviceName::Kind::Rfc2217:
        return nullptr;
    }
    Q_UNREACHABLE();
}

CommError DeviceCommControl::openPort()
{
    // The device is read at each opening: the variables may name a serial port for COM1 and
    // a gateway for COM2.
    const DeviceName::Parsed name = DeviceName::parse(portDeviceName(commPort()));
    if (!name.device)
        return name.error;
    CommControl *carrier = carrierOf(*name.device);
    if (!carrier)
        return tr("RFC 2217 gateways are not carried yet.");
    if (CommError e = carrier->setCommPort(commPort()))
        return e;
    if (CommError e = carrier->setSettings(settings()))
        return e;
    m_active = carrier;
    return m_active->setPortOpen(true);
}
