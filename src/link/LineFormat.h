#pragma once

#include <QSerialPort>
#include <QString>

#include <array>
#include <optional>

// The two line settings the panel uses: the speed at start-up, and the slower choice.
inline constexpr QLatin1StringView kSettings19200{"19200,N,8,1"};
inline constexpr QLatin1StringView kSettings9600{"9600,N,8,1"};

// The speeds a user names on a command line, the first the default, and what each one sets.
struct Speed
{
    QLatin1StringView baud;
    QLatin1StringView settings;
};
inline constexpr std::array kSpeeds{Speed{QLatin1StringView("19200"), kSettings19200},
                                    Speed{QLatin1StringView("9600"), kSettings9600}};
// The settings a speed so named stands for; none for any other name.
std::optional<QLatin1StringView> settingsForSpeed(QStringView baud);
// The speeds, for a usage text: "19200 or 9600".
QString speedChoices();

// A settings text such as "9600,N,8,1" taken apart for the serial port.
struct LineFormat
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    static std::optional<LineFormat> parse(const QString &text);
};
