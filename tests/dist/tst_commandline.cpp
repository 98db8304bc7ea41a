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

    const QString none;
    QTest::newRow("variables alone") << QStringList{} << QByteArray("/tmp/v1") << QByteArray("/tmp/v2") << Action::Run
                                     << none << "/tmp/v1"
                                     << "/tmp/v2";
    QTest::newRow("options over variables") << QStringList{"--com1", "/dev/ttyUSB0"} << QByteArray("/tmp/v1")
                                            << QByteArray("/tmp/v2") << Action::Run << none << "/dev/ttyUSB0"
                                            << "/tmp/v2";
    QTest::newRow("second port, with =") << QStringList{"--com2=COM5"} << QByteArray("/tmp/v1") << QByteArray()
                                         << Action::Run << none << "/tmp/v1"
                                         << "COM5";
    QTest::newRow("Qt's own options pass") << QStringList{"-platform", "offscreen", "-reverse", "--com1", "/tmp/o1"}
                                           << QByteArray() << QByteArray("/tmp/v2") << Action::Run << none << "/tmp/o1"
                                           << "/tmp/v2";
    QTest::newRow("help") << QStringList{"--help"} << QByteArray() << QByteArray() << Action::ShowHelp
                          << "--com1 <device>" << none << none;
    QTest::newRow("version") << QStringList{"-v"} << QByteArray() << QByteArray() << Action::ShowVersion
                             << "tolvek-panel 1.31\n"
                             << none << none;
    QTest::newRow("unknown option") << QStringList{"--com3", "/dev/ttyS2"} << QByteArray() << QByteArray()
                                    << Action::UsageError << "Unknown option 'com3'" << none << none;
    QTest::newRow("stray argument") << QStringList{"/dev/ttyUSB0"} << QByteArray() << QByteArray() << Action::UsageError
                                    << "Usage: tolvek-panel" << none << none;
    QTest::newRow("empty device") << QStringList{"--com1="} << QByteArray() << QByteArray() << Action::UsageError
                                  << "--com1 needs a device" << none << none;
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
