#include "SendOptions.h"

#include "process/OptionsHelp.h"

#include "link/DeviceName.h"
#include "link/LineFormat.h"
#include "wire/Text.h"

#include <QCommandLineParser>

#include <cstdio>

namespace send {

namespace {

constexpr std::chrono::milliseconds kLongestTimeout{60'000};
constexpr int kNameColumn = 22;

QString usage(const QList<QCommandLineOption> &options)
{
    QString text = QStringLiteral(
                       "Usage: %1 [options] NAME [NAME ...]\n"
                       "Sends the projector's commands and status queries by name, one after another, and prints\n"
                       "a line for each: ACK for a command, the reply in words for a query, \"no reply\" when\n"
                       "nothing came within the time-out. A name ends at its reply's end. Anything but the\n"
                       "projector's answer is printed as it came and counts as no reply.\n"
                       "DEVICE is a serial device, tcp://HOST:PORT for a raw TCP connection to a serial-to-network\n"
                       "gateway (whose own speed then applies), or rfc2217://HOST:PORT for a gateway that takes\n"
                       "the speed. Given several times, the names go to every device at once, and each line\n"
                       "starts with its device and a tab (a JSON object names it as \"port\").\n"
                       "Exit status: 0 every name got the projector's answer, 1 one did not, 2 usage error or\n"
                       "unknown name (nothing sent), 3 a port could not be opened or written, 128+N ended by\n"
                       "signal N. Over several ports, the worst of them.\n\n"
                       "Options:\n")
                       .arg(kProgram);
    text += optionsHelp(options);
    return text;
}

QString list()
{
    QString text;
    for (const vocabulary::Named &n : vocabulary::everyName())
        text += QString(latin1(n.name)).leftJustified(kNameColumn) + QLatin1Char(' ') + latin1(n.text)
            + QStringLiteral("  ") + qstring(n.caption) + QLatin1Char('\n');
    return text;
}

Request fault(const QString &message)
{
    return {.action = Action::UsageError, .text = usageFault(kProgram, message)};
}

} // namespace

Request parse(const QStringList &arguments, const QString &defaultDevice)
{
    const QString defaultTimeout = QString::number(vocabulary::kNormalTiming.replyTimeout.count());
    const QCommandLineOption help = helpOption();
    const QCommandLineOption version = versionOption();
    const QCommandLineOption listNames(QStringLiteral("list"), QStringLiteral("Print the names, texts and captions."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The device, once or more (default: the panel's COM1, %1).").arg(defaultDevice),
        QStringLiteral("DEVICE"));
    const QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("%1 baud.").arg(speedChoices()),
                                   QStringLiteral("BAUD"), kSpeeds.front().baud);
    const QCommandLineOption timeout(
        QStringLiteral("timeout"), QStringLiteral("How long to wait for each reply (default %1).").arg(defaultTimeout),
        QStringLiteral("MS"), defaultTimeout);
    const QCommandLineOption raw(QStringLiteral("raw"), QStringLiteral("Print replies as the monitor shows them."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON object for each name."));
    const QList<QCommandLineOption> options{help, version, listNames, port, speed, timeout, raw, json};

    QCommandLineParser parser;
    parser.addOptions(options);
    if (!parser.parse(arguments))
        return fault(parser.errorText());
    // What ends at once takes nothing else: "--list power-on" is a slip, not a list.
    for (const auto &[option, action] : {std::pair{&help, Action::ShowHelp}, std::pair{&version, Action::ShowVersion},
                                         std::pair{&listNames, Action::List}}) {
        if (!parser.isSet(*option))
            continue;
        if (arguments.size() > 2)
            return fault(QStringLiteral("--%1 takes no other argument").arg(option->names().constLast()));
        switch (action) {
        case Action::ShowHelp:
            return {.action = action, .text = usage(options)};
        case Action::ShowVersion:
            return {.action = action, .text = versionLine(kProgram)};
        case Action::List:
            return {.action = action, .text = list()};
        case Action::Send:
        case Action::UsageError:
            break;
        }
    }

    Request run;
    const std::optional<QLatin1StringView> settings = settingsForSpeed(parser.value(speed));
    if (!settings)
        return fault(QStringLiteral("the speed is %1, not \"%2\"").arg(speedChoices(), parser.value(speed)));
    run.settings = *settings;
    bool isNumber = false;
    run.timeout = std::chrono::milliseconds{parser.value(timeout).toInt(&isNumber)};
    if (!isNumber || run.timeout < std::chrono::milliseconds{1} || run.timeout > kLongestTimeout)
        return fault(QStringLiteral("the time-out is 1 to %1 ms, not \"%2\"")
                         .arg(kLongestTimeout.count())
                         .arg(parser.value(timeout)));

    // Every device is read before anything is opened: a malformed one is no device to try.
    run.devices = parser.isSet(port) ? parser.values(port) : QStringList{defaultDevice};
    for (qsizetype i = 0; i < run.devices.size(); ++i) {
        const QString &device = run.devices.at(i);
        if (device.isEmpty())
            return fault(QStringLiteral("--port needs a device"));
        if (const DeviceName::Parsed name = DeviceName::parse(device); !name.device)
            return fault(name.error);
        if (run.devices.indexOf(device) < i)
            return fault(QStringLiteral("the device %1 is given twice").arg(device));
    }

    // Every name is checked before anything is opened, let alone sent.
    const QStringList given = parser.positionalArguments();
    if (given.isEmpty())
        return fault(QStringLiteral("no name given; --list shows them all"));
    QString unknown;
    for (const QString &name : given) {
        if (const std::optional<vocabulary::Named> found = vocabulary::findName(name)) {
            run.names.append(*found);
            continue;
        }
        const QStringList close = vocabulary::closeNames(name);
        unknown += QStringLiteral("%1: unknown name \"%2\"; ").arg(kProgram, name)
            + (close.isEmpty() ? QStringLiteral("--list shows them all\n")
                               : QStringLiteral("close names: %1\n").arg(close.join(u", ")));
    }
    if (!unknown.isEmpty())
        return {.action = Action::UsageError, .text = unknown};

    run.wording = parser.isSet(raw) ? NameSender::Wording::Raw : NameSender::Wording::Words;
    run.json = parser.isSet(json);
    return run;
}

int report(const Request &request)
{
    switch (request.action) {
    case Action::Send:
        return int(Exit::Replied);
    case Action::ShowHelp:
    case Action::ShowVersion:
    case Action::List:
        std::fputs(request.text.toLocal8Bit().constData(), stdout);
        return int(Exit::Replied);
    case Action::UsageError:
        std::fputs(request.text.toLocal8Bit().constData(), stderr);
        return int(Exit::Usage);
    }
    Q_UNREACHABLE();
}

} // namespace send
