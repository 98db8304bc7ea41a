#include "Rfc2217CommControl.h"

Rfc2217CommControl::Rfc2217CommControl(const TimerFactory &makeTimer, QObject *parent)
    : GatewayCommControl(makeTimer, parent)
{
}

void Rfc2217CommControl::connected()
{
    m_client = {}; // each connection negotiates afresh
    (void)put(m_client.start(lineFormat()));
}

CommError Rfc2217CommControl::applySettings()
{
    // Before the connection is up, its start carries the settings.
    return connectionUp() ? put(m_client.setLine(lineFormat())) : std::nullopt;
}

QString Rfc2217CommControl::notReady() const
{
    return tr("the gateway did not set its serial port to %1 baud").arg(lineFormat().baudRate);
}

GatewayCommControl::Unwrapped Rfc2217CommControl::unwrap(QByteArrayView bytes)
{
    Rfc2217Client::Received r = m_client.feed(bytes);
    for (const Rfc2217Client::Event &event : r.events) {
        switch (event.kind) {
        case Rfc2217Client::EventKind::ComPortRefused:
            // Once open, a withdrawal leaves the far port as it was set; the bytes still pass.
            ready(tr("the gateway refused to set its serial port (RFC 2217)"));
            break;
        case Rfc2217Client::EventKind::BaudRate:
            // The reports follow the requests in order: the one for the settings in force ends the wait.
            if (event.value == lineFormat().baudRate)
                ready();
            break;
        case Rfc2217Client::EventKind::ComPortAccepted:
        case Rfc2217Client::EventKind::DataBits:
        case Rfc2217Client::EventKind::Parity:
        case Rfc2217Client::EventKind::StopBits:
        case Rfc2217Client::EventKind::FlowControl:
            break;
        }
    }
    return {std::move(r.data), std::move(r.answer)};
}
