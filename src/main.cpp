#include "link/PortNames.h"
#include "link/SerialCommControl.h"
#include "panel/CommandLine.h"
#include "panel/Form1.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    // Before the application object, so that --help and --version need no display.
    const commandline::Outcome outcome = commandline::parse(commandline::fromArgv(argc, argv));
    if (outcome.action != commandline::Action::Run)
        return commandline::report(outcome);
    for (int port = 1; port <= int(outcome.devices.size()); ++port)
        setPortDevice(port, outcome.devices.at(port - 1));

    QApplication app(argc, argv);
    // The desktop finds the entry, and with it the icon and the name, by this.
    QGuiApplication::setDesktopFileName(QStringLiteral(TOLVEK_APP_ID));
    // One look everywhere: Fusion paints a button's face in its palette colour.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Form1 window({.comm = std::make_unique<SerialCommControl>()});
    QObject::connect(&window, &Form1::ended, &app, &QApplication::quit);
    window.show();
    return app.exec();
}
