// tolvek-send: the panel's commands and queries by name, for scripts and room-control systems.
#include "commands/Names.h"
#include "link/DeviceCommControl.h"
#include "link/LineFormat.h"
#include "link/PortNames.h"
#include "process/TerminationSignals.h"
#include "status/NameSender.h"
#include "wire/Text.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>

namespace {

enum class Exit : int { Replied = 0, NoReply = 1, Usage = 2, PortFailed = 3 };
// Ended by a signal, the tool exits as a shell reports a program the signal killed.
constexpr int kSignalExitBase = 128;
constexpr int kLongestTimeoutMs = 60'000;
constexpr int kNameColumn = 22;

const QString kProgram = QStringLiteral("tolvek-send");

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

int fail(Exit status, const QString &message)
{
    QTextStream(stderr) << kProgram << ": " << message << Qt::endl;
    return int(status);
}

int usage(const QString &message)
{
    return fail(Exit::Usage, message + QStringLiteral("\nTry '%1 --help'.").arg(kProgram));
}

void list()
{
    for (const vocabulary::Named &n : vocabulary::everyName())
        out() << QString(latin1(n.name)).leftJustified(kNameColumn) << ' ' << latin1(n.text) << "  "
              << qstring(n.caption) << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLVEK_VERSION));

    const QString defaultTimeout = QString::number(vocabulary::kNormalTiming.replyTimeout.count());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends the projector's commands and status queries by name, one after another, and prints a line "
        "for each: ACK or the reply for a command, the reply in words for a query, \"no reply\" when nothing "
        "came within the time-out.\n"
        "DEVICE is a serial device, or tcp://HOST:PORT for a raw TCP connection to a serial-to-network "
        "gateway (whose own speed then applies).\n"
        "Exit status: 0 every name got a reply, 1 one got none, 2 usage error or unknown name (nothing "
        "sent), 3 the port could not be opened or written, 128+N ended by signal N."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The device (default: the panel's COM1, %1).").arg(portDeviceName(1)),
                                  QStringLiteral("DEVICE"));
    const QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("19200 or 9600 baud."),
                                   QStringLiteral("BAUD"), QStringLiteral("19200"));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"), QStringLiteral("How long to wait for each reply (default %1).").arg(defaultTimeout),
        QStringLiteral("MS"), defaultTimeout);
    const QCommandLineOption listNames(QStringLiteral("list"), QStringLiteral("Print the names, texts and captions."));
    const QCommandLineOption raw(QStringLiteral("raw"), QStringLiteral("Print replies as the monitor shows them."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print a JSON object for each name."));
    parser.addOptions({port, speed, timeout, listNames, raw, json});
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("What to send; --list shows them all."),
                                 QStringLiteral("NAME [NAME ...]"));

    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(int(Exit::Replied));
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.isSet(listNames)) {
        list();
        return int(Exit::Replied);
    }

    QString settings;
    if (parser.value(speed) == u"19200")
        settings = kSettings19200;
    else if (parser.value(speed) == u"9600")
        settings = kSettings9600;
    else
        return usage(QStringLiteral("the speed is 19200 or 9600, not \"%1\"").arg(parser.value(speed)));
    bool isNumber = false;
    const int timeoutMs = parser.value(timeout).toInt(&isNumber);
    if (!isNumber || timeoutMs < 1 || timeoutMs > kLongestTimeoutMs)
        return usage(
            QStringLiteral("the time-out is 1 to %1 ms, not \"%2\"").arg(kLongestTimeoutMs).arg(parser.value(timeout)));
    if (parser.isSet(port)) {
        if (parser.value(port).isEmpty())
            return usage(QStringLiteral("--port needs a device"));
        setPortDevice(1, parser.value(port));
    }

    // Every name is checked before anything is opened, let alone sent.
    const QStringList given = parser.positionalArguments();
    if (given.isEmpty())
        return usage(QStringLiteral("no name given; --list shows them all"));
    QList<vocabulary::Named> names;
    QStringList unknown;
    for (const QString &name : given) {
        if (const std::optional<vocabulary::Named> found = vocabulary::findName(name)) {
            names.append(*found);
            continue;
        }
        const QStringList close = vocabulary::closeNames(name);
        unknown.append(close.isEmpty()
                           ? QStringLiteral("unknown name \"%1\"; --list shows them all").arg(name)
                           : QStringLiteral("unknown name \"%1\"; close names: %2").arg(name, close.join(u", ")));
    }
    for (const QString &line : unknown)
        fail(Exit::Usage, line);
    if (!unknown.isEmpty())
        return int(Exit::Usage);

    const std::chrono::milliseconds replyTimeout{timeoutMs};
    Transfer transfer(std::make_unique<DeviceCommControl>(), makeQtTimer,
                      {replyTimeout, std::max(replyTimeout, vocabulary::kNormalTiming.monitorClear)});
    NameSender sender(transfer);

    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&](int number) {
        transfer.close();
        QCoreApplication::exit(kSignalExitBase + number);
    });

    CommControl &comm = transfer.comm();
    (void)comm.setCommPort(1);
    if (CommError e = comm.setSettings(settings))
        return fail(Exit::PortFailed, onPort(1, *e));
    if (CommError e = comm.setPortOpen(true))
        return fail(Exit::PortFailed, onPort(1, *e));

    const NameSender::Wording wording = parser.isSet(raw) ? NameSender::Wording::Raw : NameSender::Wording::Words;
    const bool asJson = parser.isSet(json);
    bool everyReplied = true;
    QObject::connect(&sender, &NameSender::answered, &app, [&](const NameSender::Outcome &outcome) {
        everyReplied = everyReplied && outcome.ok;
        if (asJson)
            out() << QJsonDocument(NameSender::json(outcome, wording)).toJson(QJsonDocument::Compact) << Qt::endl;
        else
            out() << NameSender::line(outcome, wording) << Qt::endl;
    });
    QObject::connect(&sender, &NameSender::finished, &app, [&](const CommError &failure) {
        transfer.close();
        if (failure)
            QCoreApplication::exit(fail(Exit::PortFailed, *failure));
        else
            QCoreApplication::exit(int(everyReplied ? Exit::Replied : Exit::NoReply));
    });
    sender.start(names);
    return QCoreApplication::exec();
}
