#pragma once

#include <QByteArray>

#include <string_view>

inline constexpr char kCarriageReturn = '\r';
// The projector's whole answer to a command it took.
inline constexpr char kAcknowledge = '\x06';

// A text as it goes on the line: the command or query and one carriage return, nothing else.
inline QByteArray framed(std::string_view text)
{
    QByteArray bytes(text.data(), qsizetype(text.size()));
    bytes.append(kCarriageReturn);
    return bytes;
}
