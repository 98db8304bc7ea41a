#pragma once

#include "commands/Names.h"
#include "status/NameSender.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

// tolvek-send's command line read into what it is to do. It reads nothing but its arguments and
// prints nothing, so it is tested as a table; report prints.
namespace send {

inline constexpr QLatin1StringView kProgram("tolvek-send");

enum class Exit : quint8 { Replied = 0, NoReply = 1, Usage = 2, PortFailed = 3 };
// Ended by a signal, the tool exits as a shell reports a program the signal killed.
inline constexpr int kSignalExitBase = 128;

enum class Action : quint8 { Send, ShowHelp, ShowVersion, List, UsageError };

struct Request
{
    Action action = Action::Send;
    // ShowHelp, ShowVersion, List: what goes to standard output; UsageError: the faults, for
    // standard error.
    QString text;
    // Send: the names go to each of these devices, every one a serial device or a gateway.
    QStringList devices = {};
    QString settings = {};
    std::chrono::milliseconds timeout{};
    QList<vocabulary::Named> names = {};
    NameSender::Wording wording = NameSender::Wording::Words;
    bool json = false;
};

// arguments.first() is the program, as in argv; defaultDevice is the port without --port.
Request parse(const QStringList &arguments, const QString &defaultDevice);

// Prints the text of a request other than Send where it belongs and gives the exit status.
int report(const Request &request);

} // namespace send
