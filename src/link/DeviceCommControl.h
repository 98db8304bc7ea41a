#pragma once

#include "CommControl.h"

// The serial control the programs use. Each opening looks at the port's device and hands the
// port to the control that carries it: a raw TCP connection for tcp://HOST:PORT, a serial port
// for anything else. Another kind of device (RFC 2217, say) is one more control here.
class DeviceCommControl final : public CommControl
{
    Q_OBJECT

public:
    explicit DeviceCommControl(QObject *parent = nullptr);

    CommError setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    CommError setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    bool portOpen() const override { return m_active->portOpen(); }
    CommError setPortOpen(bool open) override;
    CommError setOutput(const QByteArray &bytes) override { return m_active->setOutput(bytes); }
    QByteArray input() override { return m_active->input(); }
    CommEvent commEvent() const override { return m_active->commEvent(); }

private:
    CommControl *carrierOf(const QString &device) const;
    void adopt(CommControl *control);

    CommControl *m_serial = nullptr;
    CommControl *m_tcp = nullptr;
    CommControl *m_active = nullptr; // the one last opened; only it is ever open
    int m_commPort = 1;
    QString m_settings;
};
