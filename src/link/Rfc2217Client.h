#pragma once

#include "LineFormat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>
#include <optional>

// The client's half of a telnet connection to a gateway that sets its serial port as asked
// (RFC 2217): what to send on opening and on a change of speed, and what the far end's bytes
// mean, however the network splits them. It holds no socket and no clock; the comm control that
// owns the connection feeds it, writes what it gives back and decides what a refusal means.
class Rfc2217Client
{
public:
    enum class EventKind {
        ComPortAccepted, // the line request went with the answer, if one was waiting
        ComPortRefused,  // refused or withdrawn: the far port keeps the gateway's own settings
        // The far end's report of a setting, in the LineFormat's terms (QSerialPort's values).
        BaudRate,
        DataBits,
        Parity,
        StopBits,
        FlowControl,
    };
    struct Event
    {
        EventKind kind = EventKind::ComPortAccepted;
        qint32 value = 0;
        friend bool operator==(const Event &, const Event &) = default;
    };
    struct Received
    {
        QByteArray data;   // the far port's bytes
        QByteArray answer; // to send back as it is
        QList<Event> events;
        friend bool operator==(const Received &, const Received &) = default;
    };

    // What a connection opens with, once: the options we need, then the line as soon as allowed.
    QByteArray start(const LineFormat &line);
    // Sets the far port with no flow control; empty until the far end has taken the option, whose
    // acceptance then carries the latest request.
    QByteArray setLine(const LineFormat &line);
    // The port's bytes as the connection carries them.
    QByteArray encode(QByteArrayView data) const;
    Received feed(QByteArrayView bytes);

private:
    enum class State { No, WantYes, Yes }; // RFC 1143, less what we never ask: to turn one off
    enum class Scan { Data, Command, Option, Sub, SubCommand };

    void step(quint8 byte, Received &r);
    void command(quint8 byte, Received &r);
    void negotiate(quint8 verb, quint8 option, Received &r);
    void subnegotiation(Received &r) const;
    void keep(quint8 byte);
    void takeData(quint8 byte, Received &r);
    State &state(bool theirs, quint8 option);
    bool binary(bool theirs) const;

    std::array<State, 256> m_ours{}; // by option code: what we do, and what the far end does
    std::array<State, 256> m_theirs{};
    Scan m_scan = Scan::Data;
    quint8 m_verb = 0;
    QByteArray m_sub; // the current subnegotiation, unescaped
    bool m_afterCr = false;
    std::optional<LineFormat> m_pendingLine;
};
