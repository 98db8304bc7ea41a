#pragma once

#include <QString>

#include <array>
#include <optional>
#include <string_view>

// What a device name asks for: a serial device (a path, or the platform's name for a port), or
// a serial-to-network gateway written SCHEME://HOST:PORT. Read before anything is opened, so a
// name that is neither is refused with a reason rather than tried as a path.
struct DeviceName
{
    enum class Kind : quint8 { Serial, RawTcp, Rfc2217 };

    Kind kind = Kind::Serial;
    QString host; // a gateway's; a name or an address, IPv6 without its brackets
    quint16 port = 0;

    struct Parsed;
    static Parsed parse(const QString &name);
};

struct DeviceName::Parsed
{
    std::optional<DeviceName> device;
    QString error; // why the name is no device, when it is none
};

namespace devicename {

// The schemes of the gateways, as written before "://".
struct Scheme
{
    std::string_view name;
    DeviceName::Kind kind;
    std::string_view form; // for messages
};

inline constexpr auto kSchemes = std::to_array<Scheme>({
    {"tcp", DeviceName::Kind::RawTcp, "tcp://HOST:PORT"},
    {"rfc2217", DeviceName::Kind::Rfc2217, "rfc2217://HOST:PORT"},
});

} // namespace devicename
