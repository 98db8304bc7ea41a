#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

// The two line settings the panel uses: the speed at start-up, and the slower choice.
inline constexpr QLatin1StringView kSettings19200{"19200,N,8,1"};
inline constexpr QLatin1StringView kSettings9600{"9600,N,8,1"};

// A settings text such as "9600,N,8,1" taken apart for the serial port.
struct LineFormat
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    static std::optional<LineFormat> parse(const QString &text);
};
