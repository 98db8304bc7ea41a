#include "CommandLine.h"

#include "process/OptionsHelp.h"

#include <QCommandLineParser>

#include <cstdio>

namespace commandline {

namespace {

constexpr QLatin1StringView kProgram("tolvek-panel");

// QApplication takes these itself and removes them, after the panel has read its own
// arguments (which it does first, so that --help needs no display): they must pass here.
constexpr auto kQtOptionsWithValue = std::to_array<QLatin1StringView>({
    QLatin1StringView("platform"),
    QLatin1StringView("platformpluginpath"),
    QLatin1StringView("platformtheme"),
    QLatin1StringView("plugin"),
    QLatin1StringView("qwindowgeometry"),
    QLatin1StringView("qwindowtitle"),
    QLatin1StringView("qwindowicon"),
    QLatin1StringView("session"),
    QLatin1StringView("style"),
    QLatin1StringView("stylesheet"),
    QLatin1StringView("qmljsdebugger"),
    QLatin1StringView("display"),
    QLatin1StringView("geometry"),
    QLatin1StringView("title"),
    QLatin1StringView("icon"),
    QLatin1StringView("name"),
    QLatin1StringView("visual"),
});
constexpr auto kQtFlags = std::to_array<QLatin1StringView>({
    QLatin1StringView("reverse"),
    QLatin1StringView("widgetcount"),
    QLatin1StringView("testability"),
    QLatin1StringView("qdevel"),
    QLatin1StringView("nograb"),
    QLatin1StringView("dograb"),
});

QString usage(const QList<QCommandLineOption> &options)
{
    QString text = QStringLiteral(
                       "Usage: %1 [options]\n"
                       "A control panel for a video projector on an RS-232C serial line.\n\n"
                       "Options:\n")
                       .arg(kProgram);
    text += optionsHelp(options);
    text += QStringLiteral("\nThe options every Qt program takes, such as -platform and -style, apply too.\n");
    return text;
}

} // namespace

Outcome parse(const QStringList &arguments)
{
    const QCommandLineOption help = helpOption();
    const QCommandLineOption version = versionOption();
    const std::array<QCommandLineOption, 2> ports{
        QCommandLineOption(QStringLiteral("com1"), QStringLiteral("The device for COM1; wins over TOLVEK_COM1."),
                           QStringLiteral("device")),
        QCommandLineOption(QStringLiteral("com2"), QStringLiteral("The device for COM2; wins over TOLVEK_COM2."),
                           QStringLiteral("device")),
    };
    const QList<QCommandLineOption> ours{help, version, ports[0], ports[1]};

    QCommandLineParser parser;
    // So that Qt's single-dash words (-platform, -style) read as whole names.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(ours);
    for (QLatin1StringView name : kQtOptionsWithValue) {
        QCommandLineOption option(name, QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (QLatin1StringView name : kQtFlags) {
        QCommandLineOption option(name);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const auto fault = [&ours](const QString &message) {
        return Outcome{.action = Action::UsageError,
                       .text = QStringLiteral("%1: %2\n\n").arg(kProgram, message) + usage(ours)};
    };
    if (!parser.parse(arguments))
        return fault(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fault(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help))
        return {.action = Action::ShowHelp, .text = usage(ours)};
    if (parser.isSet(version))
        return {.action = Action::ShowVersion, .text = versionLine(kProgram)};

    Outcome run;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!parser.isSet(ports[i]))
            continue;
        run.devices[i] = parser.value(ports[i]);
        if (run.devices[i].isEmpty())
            return fault(QStringLiteral("--%1 needs a device.").arg(ports[i].names().constFirst()));
    }
    return run;
}

QStringList fromArgv(int argc, const char *const *argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int report(const Outcome &outcome)
{
    switch (outcome.action) {
    case Action::Run:
        return 0;
    case Action::ShowHelp:
    case Action::ShowVersion:
        std::fputs(outcome.text.toLocal8Bit().constData(), stdout);
        return 0;
    case Action::UsageError:
        std::fputs(outcome.text.toLocal8Bit().constData(), stderr);
        return kUsageExitStatus;
    }
    Q_UNREACHABLE();
}

} // namespace commandline
