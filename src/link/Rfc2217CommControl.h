#pragma once

#include "GatewayCommControl.h"
#include "LineFormat.h"
#include "Rfc2217Client.h"

// The port carried over telnet to a gateway that sets its serial port as asked (RFC 2217), for
// devices written rfc2217://HOST:PORT. Opening sets the far port to the line settings and ends
// once the gateway reports the speed set; a change of settings goes to the far port at once.
//
// A gateway that refuses the option fails the opening rather than carrying the bytes at its own
// speed: the speed the port panel shows would then be a guess, and a projector at another speed
// hears only noise, with nothing to tell the user why.
class Rfc2217CommControl final : public GatewayCommControl
{
    Q_OBJECT

public:
    explicit Rfc2217CommControl(const TimerFactory &makeTimer, QObject *parent = nullptr);

private:
    void connected() override;
    Unwrapped unwrap(QByteArrayView bytes) override;
    QByteArray wrap(QByteArrayView data) const override { return m_client.encode(data); }
    QString notReady() const override;
    CommError applySettings() override;

    Rfc2217Client m_client;
};
