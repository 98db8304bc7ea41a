#include "SendOptions.h"
#include "link/PortNames.h"
#include "panel/CommandLine.h"

#include <QTest>

// What the panel's command line makes of its arguments, and which device each port then opens
// with the environment variables set as well: the options win over them. What tolvek-send's
// makes of its own.
class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data();
    void outcomes();
    void sendRequests_data();
    void sendRequests();
    void cleanup();
};

using commandline::Action;

void TestCommandLine::outcomes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("variable1");
    QTest::addColumn<QByteArray>("variable2");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("text"); // a part of the text printed
    QTest::addColumn<QString>("device1");
    QTest::addColumn<QString>("device2");

    // The devices are what each port opens once the command line and the variables are taken.
    const auto row = [](const char *name, const QStringList &arguments, Action action, const QString &text,
                        const QByteArray &variable1 = {}, const QByteArray &variable2 = {}, const QString &device1 = {},
                        const QString &device2 = {}) {
        QTest::newRow(name) << arguments << variable1 << variable2 << action << text << device1 << device2;
    };
    // clang-format off
    row("variables alone", {}, Action::Run, {}, "/tmp/v1", "/tmp/v2", "/tmp/v1", "/tmp/v2");
    row("options over variables", {"--com1", "/dev/ttyUSB0"}, Action::Run, {}, "/tmp/v1", "/tmp/v2", "/dev/ttyUSB0",
        "/tmp/v2");
    row("second port, with =", {"--com2=COM5"}, Action::Run, {}, "/tmp/v1", {}, "/tmp/v1", "COM5");
    row("Qt's own options pass", {"-platform", "offscreen", "-reverse", "--com1", "/tmp/o1"}, Action::Run, {}, {},
        "/tmp/v2", "/tmp/o1", "/tmp/v2");
    row("help", {"--help"}, Action::ShowHelp, "--com1 <device>");
    row("version", {"-v"}, Action::ShowVersion, "tolvek-panel 1.31\n");
    row("unknown option", {"--com3", "/dev/ttyS2"}, Action::UsageError, "Unknown option 'com3'");
    row("stray argument", {"/dev/ttyUSB0"}, Action::UsageError, "Usage: tolvek-panel");
    row("empty device", {"--com1="}, Action::UsageError, "--com1 needs a device");
    // clang-format on
}

void TestCommandLine::outcomes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, variable1);
    QFETCH(QByteArray, variable2);
    QFETCH(Action, action);
    QFETCH(QString, text);
    QFETCH(QString, device1);
    QFETCH(QString, device2);

    const commandline::Outcome outcome = commandline::parse(QStringList{"tolvek-panel"} + arguments);
    QCOMPARE(outcome.action, action);
    QVERIFY2(outcome.text.contains(text), qPrintable(outcome.text));
    if (action != Action::Run)
        return;
    QVERIFY(outcome.text.isEmpty());

    for (const auto &[name, value] : {std::pair{"TOLVEK_COM1", variable1}, std::pair{"TOLVEK_COM2", variable2}})
        value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    for (int port = 1; port <= int(outcome.devices.size()); ++port)
        setPortDevice(port, outcome.devices.at(port - 1));
    QCOMPARE(portDeviceName(1), device1);
    QCOMPARE(portDeviceName(2), device2);
}

void TestCommandLine::sendRequests_data()
{
    QTest::addColumn<QString>("arguments"); // at spaces
    QTest::addColumn<send::Action>("action");
    // Send: "DEVICES | SETTINGS | MS | NAMES | WORDING"; else what the printed text holds.
    QTest::addColumn<QString>("text");
    using send::Action;
    const auto row = [](const char *name, const char *arguments, Action action, const char *text) {
        QTest::newRow(name) << QString(arguments) << action << QString(text);
    };
    row("a name, the defaults", "status", Action::Send, "/tmp/com1 | 19200,N,8,1 | 500 | status | words");
    row("every option", "--port /dev/ttyUSB0 --speed 9600 --timeout 60000 --raw --json power-on temp", Action::Send,
        "/dev/ttyUSB0 | 9600,N,8,1 | 60000 | power-on temp | raw json");
    row("several ports, in order",
        "--port tcp://192.0.2.7:4001 --port=/dev/ttyUSB0 --port rfc2217://[2001:db8::1]:2217 --timeout=1 mode",
        Action::Send,
        "tcp://192.0.2.7:4001 /dev/ttyUSB0 rfc2217://[2001:db8::1]:2217 | 19200,N,8,1 | 1 | mode | words");
    row("a gateway without its host", "--port /dev/ttyUSB0 --port tcp://:4001 status", Action::UsageError,
        "\"tcp://:4001\" is not a gateway's address of the form tcp://HOST:PORT.\nTry 'tolvek-send --help'.");
    row("a device twice", "--port /dev/ttyUSB0 --port /dev/ttyUSB0 status", Action::UsageError,
        "the device /dev/ttyUSB0 is given twice");
    row("an empty device", "--port= status", Action::UsageError, "--port needs a device");
    row("a speed of neither", "--speed 38400 status", Action::UsageError, "the speed is 19200 or 9600, not \"38400\"");
    row("no time-out", "--timeout 0 status", Action::UsageError, "the time-out is 1 to 60000 ms, not \"0\"");
    row("a time-out past a minute", "--timeout 60001 status", Action::UsageError, "the time-out is 1 to 60000 ms");
    row("no name", "--json", Action::UsageError, "no name given");
    row("unknown names, each told", "pwer-on status xyzzy", Action::UsageError,
        "tolvek-send: unknown name \"pwer-on\"; close names: power-on\n"
        "tolvek-send: unknown name \"xyzzy\"; --list shows them all\n");
    row("unknown option", "--prot /dev/ttyUSB0 status", Action::UsageError, "Unknown option 'prot'");
    row("help", "-h", Action::ShowHelp, "--port <DEVICE>");
    row("version", "--version", Action::ShowVersion, "tolvek-send 1.31\n");
    row("list", "--list", Action::List, "\ntemp                   CR6  TEMP\n");
    row("list and a name", "--list power-on", Action::UsageError, "--list takes no other argument");
    row("version and an option", "--json -v", Action::UsageError, "--version takes no other argument");
}

void TestCommandLine::sendRequests()
{
    QFETCH(QString, arguments);
    QFETCH(send::Action, action);
    QFETCH(QString, text);
    const send::Request request = send::parse(("tolvek-send " + arguments).split(u' '), "/tmp/com1");
    QCOMPARE(request.action, action);
    QStringList names;
    for (const vocabulary::Named &n : request.names)
        names << QString::fromLatin1(n.name);
    const QString wording = request.wording == NameSender::Wording::Raw ? "raw" : "words";
    const QString got =
        QStringList{request.devices.join(u' '), request.settings, QString::number(request.timeout.count()),
                    names.join(u' '), request.json ? wording + " json" : wording}
            .join(" | ");
    if (action == send::Action::Send)
        QCOMPARE(got, text);
    else
        QVERIFY2(request.text.contains(text), qPrintable(request.text));
}

void TestCommandLine::cleanup()
{
    setPortDevice(1, {});
    setPortDevice(2, {});
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
