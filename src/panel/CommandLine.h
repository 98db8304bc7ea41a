#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The panel's command line read into what the program is to do. It reads nothing but the
// arguments and prints nothing, so it runs before any window system is reached and can be
// tested as a table; printing is report's.
namespace commandline {

enum class Action : unsigned char { Run, ShowHelp, ShowVersion, UsageError };

inline constexpr int kUsageExitStatus = 2;

struct Outcome
{
    Action action = Action::Run;
    // ShowHelp, ShowVersion: what goes to standard output; UsageError: the fault and the
    // usage, for standard error.
    QString text;
    // Run: the devices named for COM1 and COM2; an empty one was not named.
    std::array<QString, 2> devices = {};
};

// arguments.first() is the program, as in argv.
Outcome parse(const QStringList &arguments);

QStringList fromArgv(int argc, const char *const *argv);

// Prints the text of an outcome other than Run where it belongs and gives the exit status.
int report(const Outcome &outcome);

} // namespace commandline
