// tolvek-send: the panel's commands and queries by name, for scripts and room-control systems.
#include "SendOptions.h"
#include "SendRun.h"
#include "link/DeviceCommControl.h"
#include "link/PortNames.h"
#include "process/TerminationSignals.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const send::Request request = send::parse(QCoreApplication::arguments(), portDeviceName(1));
    if (request.action != send::Action::Send)
        return send::report(request);

    QTextStream out(stdout);
    QTextStream err(stderr);
    send::Run run(request, out, err, makeQtTimer, [] { return std::make_unique<DeviceCommControl>(); });
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&run](int number) {
        run.stop();
        QCoreApplication::exit(send::kSignalExitBase + number);
    });
    QObject::connect(&run, &send::Run::finished, &app, &QCoreApplication::exit);
    run.start();
    return QCoreApplication::exec();
}
