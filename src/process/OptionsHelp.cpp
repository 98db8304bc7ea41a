#include "OptionsHelp.h"

#include <QStringList>

namespace {

constexpr int kHelpColumn = 22;

} // namespace

QString optionsHelp(const QList<QCommandLineOption> &options)
{
    QString text;
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = QStringLiteral("  ") + names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QStringLiteral(" <%1>").arg(option.valueName());
        // A left part too long for its column has the description on a line of its own.
        if (left.size() >= kHelpColumn)
            text += left + QLatin1Char('\n') + QString(kHelpColumn, QLatin1Char(' '));
        else
            text += left.leftJustified(kHelpColumn);
        text += option.description() + QLatin1Char('\n');
    }
    return text;
}

QString versionLine(const QString &program)
{
    return QStringLiteral("%1 %2\n").arg(program, QLatin1StringView(TOLVEK_VERSION));
}

QString usageFault(const QString &program, const QString &message)
{
    return QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(program, message);
}

QCommandLineOption helpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and end."));
}

QCommandLineOption versionOption()
{
    return QCommandLineOption({QStringLiteral("v"), QStringLiteral("version")},
                              QStringLiteral("Show the version and end."));
}
