#include "LineFormat.h"

#include <QStringList>

std::optional<QLatin1StringView> settingsForSpeed(QStringView baud)
{
    for (const Speed &s : kSpeeds)
        if (baud == s.baud)
            return s.settings;
    return std::nullopt;
}

QString speedChoices()
{
    QStringList names;
    for (const Speed &s : kSpeeds)
        names.append(s.baud);
    return names.join(QStringLiteral(" or "));
}

std::optional<LineFormat> LineFormat::parse(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;

    LineFormat s;
    bool ok = false;
    s.baudRate = parts[0].toInt(&ok);
    if (!ok || s.baudRate <= 0)
        return std::nullopt;

    const QString parity = parts[1].toUpper();
    if (parity == u"N")
        s.parity = QSerialPort::NoParity;
    else if (parity == u"E")
        s.parity = QSerialPort::EvenParity;
    else if (parity == u"O")
        s.parity = QSerialPort::OddParity;
    else if (parity == u"M")
        s.parity = QSerialPort::MarkParity;
    else if (parity == u"S")
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int bits = parts[2].toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    s.dataBits = QSerialPort::DataBits(bits);

    if (parts[3] == u"1")
        s.stopBits = QSerialPort::OneStop;
    else if (parts[3] == u"1.5")
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (parts[3] == u"2")
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}
