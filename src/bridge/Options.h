#pragma once

#include "MqttClient.h"

#include <QStringList>

#include <chrono>

// tolvek-mqtt's command line, read without opening anything.
namespace bridge {

struct Options
{
    enum class Action : quint8 { Run, RemoveDiscovery, Help, Version, Usage };

    Action action = Action::Usage;
    QString error; // what was wrong, for Usage
    QString device;
    QString lineSettings;
    MqttClient::Broker broker; // its password still in the file
    QString passwordFile;
    QString id;
    std::chrono::seconds poll{};
    QString discoveryPrefix; // empty: no discovery
};

// The arguments with the program's name first; the device to use without --port.
Options parseOptions(const QStringList &arguments, const QString &defaultDevice);
QString helpText(const QString &defaultDevice);

} // namespace bridge
