#pragma once

#include "CommControl.h"

#include <chrono>

class QTcpSocket;

// The port carried over a raw TCP connection to a serial-to-network gateway, for devices
// written tcp://HOST:PORT: the bytes go both ways unchanged, and a dropped connection is a lost
// device. The line settings are kept but never sent; the gateway's own apply.
class TcpCommControl final : public CommControl
{
    Q_OBJECT

public:
    // Opening waits this long at most for the gateway to answer.
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};

    // Whether the device is one this control carries.
    static bool carries(const QString &device);

    explicit TcpCommControl(QObject *parent = nullptr);
    ~TcpCommControl() override;

    CommError setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    CommError setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    bool portOpen() const override { return m_open; }
    CommError setPortOpen(bool open) override;
    CommError setOutput(const QByteArray &bytes) override;
    QByteArray input() override;
    CommEvent commEvent() const override { return m_event; }

private:
    void connectionEnded();
    void raise(CommEvent event);

    QTcpSocket *m_socket = nullptr;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    bool m_open = false; // connected, and not yet seen to drop
    CommEvent m_event = CommEvent::None;
};
