#pragma once

#include "CommControl.h"
#include "DeviceName.h"
#include "Timer.h"

// The serial control the programs use. Each opening looks at the port's device and hands the
// port to the control that carries it: a raw TCP connection for tcp://HOST:PORT, telnet with
// RFC 2217 for rfc2217://HOST:PORT, a serial port for anything else. The gateways' openings
// take their time from makeTimer.
class DeviceCommControl final : public CommControl
{
    Q_OBJECT

public:
    explicit DeviceCommControl(const TimerFactory &makeTimer = makeQtTimer, QObject *parent = nullptr);

    bool portOpen() const override { return m_active->portOpen(); }
    bool portOpening() const override { return m_active->portOpening(); }
    QByteArray input() override { return m_active->input(); }

private:
    CommError openPort() override;
    void closePort() override { (void)m_active->setPortOpen(false); }
    CommError applySettings() override { return m_active->setSettings(settings()); }
    CommError write(const QByteArray &bytes) override { return m_active->setOutput(bytes); }
    CommControl *carrierOf(const DeviceName &device) const;
    void adopt(CommControl *control);

    CommControl *m_serial = nullptr;
    CommControl *m_tcp = nullptr;
    CommControl *m_rfc2217 = nullptr;
    CommControl *m_active = nullptr; // the one last opened; only it is ever open
};
