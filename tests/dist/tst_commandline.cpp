#include "link/PortNames.h"
#include "panel/CommandLine.h"

#include <QTest>

// What the command line makes of its arguments, and which device each port then opens with
// the environment variables set as well: the options win over them.
class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data();
    void outcomes();
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

void TestCommandLine::cleanup()
{
    setPortDevice(1, {});
    setPortDevice(2, {});
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
