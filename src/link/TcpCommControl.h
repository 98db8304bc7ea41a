#pragma once

#include "CommControl.h"

#include <QAbstractSocket>

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

    explicit TcpCommControl(QObject *parent = nullptr);
    ~TcpCommControl() override;

    bool portOpen() const override { return m_open; }
    QByteArray input() override;

private:
    CommError openPort() override;
    void closePort() override;
    CommError applySettings() override { return std::nullopt; }
    CommError write(const QByteArray &bytes) override;
    void handleError(QAbstractSocket::SocketError error);
    void connectionEnded();

    QTcpSocket *m_socket = nullptr;
    bool m_open = false; // connected, and not yet seen to drop
};
