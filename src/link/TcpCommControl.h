#pragma once

#include "GatewayCommControl.h"

// The port carried over a raw TCP connection, for devices written tcp://HOST:PORT: the bytes go
// both ways unchanged. The line settings are kept but never sent; the gateway's own apply.
class TcpCommControl final : public GatewayCommControl
{
    Q_OBJECT

public:
    // A gateway that turns a client away does so as soon as it has accepted it: a connection
    // still up after this is the port's.
    static constexpr std::chrono::milliseconds kSettle{200};

    explicit TcpCommControl(const TimerFactory &makeTimer, QObject *parent = nullptr)
        : GatewayCommControl(makeTimer, parent)
    {
    }

private:
    void connected() override { readyAfter(kSettle); }
    Unwrapped unwrap(QByteArrayView bytes) override { return {bytes.toByteArray(), {}}; }
    QByteArray wrap(QByteArrayView data) const override { return data.toByteArray(); }
    CommError applySettings() override { return std::nullopt; }
};
