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
        text += left.leftJustified(kHelpColumn - 1) + QLatin1Char(' ') + option.description() + QLatin1Char('\n');
    }
    return text;
}
