#include "Rfc2217Client.h"

#include <QtEndian>

#include <algorithm>
#include <span>
#include <utility>

namespace {

// Telnet's commands (RFC 854), and the options we take: binary (RFC 856), no go-ahead (RFC 858)
// and the serial port's own (RFC 2217).
constexpr quint8 kSe = 240;
constexpr quint8 kSb = 250;
constexpr quint8 kWill = 251;
constexpr quint8 kWont = 252;
constexpr quint8 kDo = 253;
constexpr quint8 kDont = 254;
constexpr quint8 kIac = 255;
constexpr quint8 kBinary = 0;
constexpr quint8 kSuppressGoAhead = 3;
constexpr quint8 kComPort = 44;

// Which side of each option we want on: ours (we WILL) and theirs (we DO). Any other is refused.
struct Taken
{
    quint8 option;
    bool ours;
    bool theirs;
};
constexpr std::array kTaken{Taken{kBinary, true, true}, Taken{kSuppressGoAhead, true, true},
                            Taken{kComPort, true, false}};

// A setting's values as the LineFormat holds them and as the wire carries them.
struct Code
{
    qint32 format;
    quint8 wire;
};
constexpr std::array kDataBits{Code{QSerialPort::Data5, 5}, Code{QSerialPort::Data6, 6}, Code{QSerialPort::Data7, 7},
                               Code{QSerialPort::Data8, 8}};
constexpr std::array kParity{Code{QSerialPort::NoParity, 1}, Code{QSerialPort::OddParity, 2},
                             Code{QSerialPort::EvenParity, 3}, Code{QSerialPort::MarkParity, 4},
                             Code{QSerialPort::SpaceParity, 5}};
constexpr std::array kStopBits{Code{QSerialPort::OneStop, 1}, Code{QSerialPort::TwoStop, 2},
                               Code{QSerialPort::OneAndHalfStop, 3}};
// SET-CONTROL's first codes; its others work the break and the modem lines, which we leave alone.
constexpr std::array kFlowControl{Code{QSerialPort::NoFlowControl, 1}, Code{QSerialPort::SoftwareControl, 2},
                                  Code{QSerialPort::HardwareControl, 3}};

// The settings in the order of their commands, SET-BAUDRATE (1) to SET-CONTROL (5); the far end's
// reports add 100. The speed is four bytes, most significant first; the others are one code.
struct Setting
{
    Rfc2217Client::EventKind kind;
    std::span<const Code> codes;
};
using Kind = Rfc2217Client::EventKind;
constexpr std::array kSettings{Setting{Kind::BaudRate, {}}, Setting{Kind::DataBits, kDataBits},
                               Setting{Kind::Parity, kParity}, Setting{Kind::StopBits, kStopBits},
                               Setting{Kind::FlowControl, kFlowControl}};
constexpr quint8 kSetBaudRate = 1;
constexpr quint8 kReport = 100;
constexpr qsizetype kSpeedSize = 4;
// Longer subnegotiations are skipped unread: the longest we read is a speed report's six bytes.
constexpr qsizetype kMaxSubnegotiation = 32;

QByteArray telnet(std::initializer_list<quint8> command)
{
    QByteArray out(1, char(kIac));
    for (const quint8 byte : command)
        out += char(byte);
    return out;
}

QByteArray escaped(QByteArrayView bytes, bool nvt)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        out += c;
        if (quint8(c) == kIac)
            out += c;
        else if (c == '\r' && nvt)
            out += '\0';
    }
    return out;
}

QByteArray lineRequest(const LineFormat &line)
{
    const std::array<qint32, kSettings.size()> values{line.baudRate, line.dataBits, line.parity, line.stopBits,
                                                      QSerialPort::NoFlowControl};
    QByteArray out;
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        QByteArray body(1, char(kComPort));
        body += char(kSetBaudRate + i);
        if (kSettings[i].codes.empty()) {
            std::array<char, kSpeedSize> speed{};
            qToBigEndian(quint32(values[i]), speed.data());
            body.append(speed.data(), speed.size());
        } else {
            const auto code = std::ranges::find(kSettings[i].codes, values[i], &Code::format);
            if (code == kSettings[i].codes.end())
                continue; // the wire has no word for it: the far port keeps its own
            body += char(code->wire);
        }
        out += telnet({kSb}) + escaped(body, false) + telnet({kSe});
    }
    return out;
}

} // namespace

QByteArray Rfc2217Client::start(const LineFormat &line)
{
    QByteArray out;
    for (const Taken &taken : kTaken) {
        for (const bool theirs : {false, true}) {
            State &s = state(theirs, taken.option);
            if ((theirs ? taken.theirs : taken.ours) && s == State::No) {
                s = State::WantYes;
                out += telnet({theirs ? kDo : kWill, taken.option});
            }
        }
    }
    return out + setLine(line);
}

QByteArray Rfc2217Client::setLine(const LineFormat &line)
{
    if (m_ours[kComPort] == State::Yes)
        return lineRequest(line);
    m_pendingLine = line;
    return {};
}

QByteArray Rfc2217Client::encode(QByteArrayView data) const
{
    return escaped(data, !binary(false));
}

Rfc2217Client::Received Rfc2217Client::feed(QByteArrayView bytes)
{
    Received r;
    for (const char c : bytes)
        step(quint8(c), r);
    return r;
}

void Rfc2217Client::step(quint8 byte, Received &r)
{
    switch (m_scan) {
    case Scan::Data:
        if (byte == kIac)
            m_scan = Scan::Command;
        else
            takeData(byte, r);
        return;
    case Scan::Command:
        command(byte, r);
        return;
    case Scan::Option:
        m_scan = Scan::Data;
        negotiate(m_verb, byte, r);
        return;
    case Scan::Sub:
        if (byte == kIac)
            m_scan = Scan::SubCommand;
        else
            keep(byte);
        return;
    case Scan::SubCommand:
        if (byte == kIac) {
            m_scan = Scan::Sub;
            keep(byte);
        } else if (byte == kSe) {
            m_scan = Scan::Data;
            subnegotiation(r);
        } else {
            command(byte, r); // the SE went missing: drop what came before, take the command
        }
        return;
    }
}

void Rfc2217Client::command(quint8 byte, Received &r)
{
    m_scan = Scan::Data;
    if (byte == kIac) {
        takeData(byte, r);
    } else if (byte >= kWill) {
        m_verb = byte;
        m_scan = Scan::Option;
    } else if (byte == kSb) {
        m_sub.clear();
        m_scan = Scan::Sub;
    }
    // The others (NOP, go-ahead, data mark, are-you-there ...) mean nothing to a serial line.
}

void Rfc2217Client::negotiate(quint8 verb, quint8 option, Received &r)
{
    const bool theirs = verb == kWill || verb == kWont;
    const bool on = verb == kWill || verb == kDo;
    const auto taken = std::ranges::find(kTaken, option, &Taken::option);
    const bool wanted = taken != kTaken.end() && (theirs ? taken->theirs : taken->ours);
    const quint8 yes = theirs ? kDo : kWill;
    const quint8 no = theirs ? kDont : kWont;
    // An answer is never answered, so two sides that disagree settle at once.
    State &s = state(theirs, option);
    const State was = s;
    switch (s) {
    case State::No:
        if (on && wanted)
            s = State::Yes;
        if (on)
            r.answer += telnet({wanted ? yes : no, option});
        break;
    case State::WantYes:
        s = on ? State::Yes : State::No;
        break;
    case State::Yes:
        if (!on) {
            s = State::No;
            r.answer += telnet({no, option});
        }
        break;
    }
    if (theirs || option != kComPort || s == was)
        return;
    if (s == State::Yes) {
        r.events.append({EventKind::ComPortAccepted});
        if (m_pendingLine)
            r.answer += lineRequest(*std::exchange(m_pendingLine, std::nullopt));
    } else if (s == State::No) {
        r.events.append({EventKind::ComPortRefused});
    }
}

void Rfc2217Client::subnegotiation(Received &r) const
{
    // Line and modem notifications, signatures and every other option's are skipped.
    if (m_sub.size() < 3 || quint8(m_sub[0]) != kComPort)
        return;
    const int index = quint8(m_sub[1]) - kReport - kSetBaudRate;
    if (index < 0 || index >= int(kSettings.size()))
        return;
    const Setting &setting = kSettings[index];
    const QByteArrayView value = QByteArrayView(m_sub).sliced(2);
    if (setting.codes.empty()) {
        if (value.size() == kSpeedSize)
            r.events.append({setting.kind, qint32(qFromBigEndian<quint32>(value.data()))});
        return;
    }
    const auto code = std::ranges::find(setting.codes, quint8(value[0]), &Code::wire);
    if (value.size() == 1 && code != setting.codes.end())
        r.events.append({setting.kind, code->format});
}

void Rfc2217Client::keep(quint8 byte)
{
    if (m_sub.size() <= kMaxSubnegotiation)
        m_sub += char(byte);
}

void Rfc2217Client::takeData(quint8 byte, Received &r)
{
    // Binary mode (RFC 856) passes CR NUL and CR LF as data; without it CR NUL is a bare CR (RFC 854).
    const bool nvtPadding = byte == 0 && m_afterCr && !binary(true);
    m_afterCr = byte == '\r';
    if (!nvtPadding)
        r.data += char(byte);
}

Rfc2217Client::State &Rfc2217Client::state(bool theirs, quint8 option)
{
    return (theirs ? m_theirs : m_ours)[option];
}

bool Rfc2217Client::binary(bool theirs) const
{
    return (theirs ? m_theirs : m_ours)[kBinary] == State::Yes;
}
