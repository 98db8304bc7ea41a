#include "link/DeviceCommControl.h"
#include "link/PortNames.h"
#include "panel/CommandLine.h"
#include "panel/Form1.h"
#include "panel/WindowSystem.h"
#include "process/TerminationSignals.h"

#include <QStyleFactory>

int main(int argc, char *argv[])
{
    // Before the application object, so that --help and --version need no display.
    const commandline::Outcome outcome = commandline::parse(commandline::fromArgv(argc, argv));
    if (outcome.action != commandline::Action::Run)
        return commandline::report(outcome);
    for (int port = 1; port <= int(outcome.devices.size()); ++port)
        setPortDevice(port, outcome.devices.at(port - 1));

    // No display, or no plugin for it: one line that says which, and status 1.
    const std::unique_ptr<QApplication> app = startApplication(argc, argv);
    // The desktop finds the entry, and with it the icon and the name, by this.
    QGuiApplication::setDesktopFileName(QStringLiteral(TOLVEK_APP_ID));
    // One look everywhere: Fusion paints a button's face in its palette colour.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Form1 form({.comm = std::make_unique<DeviceCommControl>()});
    // Killed, logged out or interrupted, the panel ends as END ends it: port closed, status 0,
    // nothing opened again. Armed before start-up, whose warning box may be up when the signal
    // comes; leaving every event loop leaves that box's too.
    bool terminated = false;
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, app.get(), [&] {
        terminated = true;
        form.close();
        QCoreApplication::exit(0);
    });
    QObject::connect(&form, &Form1::ended, app.get(), &QApplication::quit);
    form.start();
    if (terminated)
        return 0;
    form.show();
    return QApplication::exec();
}
