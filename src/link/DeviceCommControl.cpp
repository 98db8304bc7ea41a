#include "DeviceCommControl.h"

#include "DeviceName.h"
#include "PortNames.h"
#include "Rfc2217CommControl.h"
#include "SerialCommControl.h"
#include "TcpCommControl.h"

DeviceCommControl::DeviceCommControl(const TimerFactory &makeTimer, QObject *parent)
    : CommControl(parent)
    , m_serial(new SerialCommControl(this))
    , m_tcp(new TcpCommControl(makeTimer, this))
    , m_rfc2217(new Rfc2217CommControl(makeTimer, this))
    , m_active(m_serial)
{
    for (CommControl *control : {m_serial, m_tcp, m_rfc2217})
        adopt(control);
}

void DeviceCommControl::adopt(CommControl *control)
{
    // A control that is not the active one is closed and has nothing to say.
    connect(control, &CommControl::onComm, this, [this, control] {
        if (control == m_active)
            raise(control->commEvent());
    });
    connect(control, &CommControl::openFinished, this, [this, control](const CommError &failure) {
        if (control == m_active)
            emit openFinished(failure);
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
        return m_rfc2217;
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
    if (CommError e = carrier->setCommPort(commPort()))
        return e;
    if (CommError e = carrier->setSettings(settings()))
        return e;
    m_active = carrier;
    return m_active->setPortOpen(true);
}
