// The command buttons and their names, and hold-to-repeat, in virtual time on a fake port.
#include "Rig.h"
#include "commands/Names.h"

#include <QTest>

using Times = QList<int>;

namespace {

const QString kMarker = QStringLiteral(" X X X X");
const QString kWriteFailed = QStringLiteral("COM1 (/nonexistent/tolvek-com1): Input/output error");

struct Says
{
    const char *name; // what scripts call it: published, so it must keep its button and text
    QByteArray text;
};

// What each button says to the projector, and its name, written out here rather than taken
// from the panel's own table, so that a wrong row there is caught.
// clang-format off
const QHash<QByteArray, Says> kSays = {
    {"Command17", {"power-on", "C00"}}, {"Command52", {"c01", "C01"}}, {"Command18", {"power-off", "C02"}},
    {"Command27", {"input-pc", "C05"}}, {"Command28", {"input-video", "C07"}}, {"Command1", {"vol-up", "C09"}},
    {"Command2", {"vol-down", "C0A"}}, {"Command19", {"audio-mute-on", "C0B"}},
    {"Command20", {"audio-mute-off", "C0C"}}, {"Command21", {"video-mute-on", "C0D"}},
    {"Command22", {"video-mute-off", "C0E"}}, {"Command31", {"screen-normal", "C0F"}},
    {"Command32", {"screen-wide", "C10"}}, {"Command23", {"menu-on", "C1C"}}, {"Command24", {"menu-off", "C1D"}},
    {"Command3", {"display-clear", "C1E"}}, {"Command30", {"bright-up", "C20"}},
    {"Command42", {"bright-down", "C21"}}, {"Command53", {"image", "C27"}},
    {"Command54", {"power-management-on", "C2A"}}, {"Command55", {"power-management-off", "C2B"}},
    {"Command48", {"zoom-up", "C30"}}, {"Command49", {"zoom-down", "C31"}}, {"Command8", {"cursor-right", "C3A"}},
    {"Command9", {"cursor-left", "C3B"}}, {"Command5", {"cursor-up", "C3C"}}, {"Command7", {"cursor-down", "C3D"}},
    {"Command40", {"r-click", "C3E"}}, {"Command6", {"select", "C3F"}}, {"Command25", {"freeze-on", "C43"}},
    {"Command26", {"freeze-off", "C44"}}, {"Command13", {"a-image", "C89"}}, {"Command14", {"p-timer", "C8A"}},
    {"Command50", {"keystone-up", "C8E"}}, {"Command51", {"keystone-down", "C8F"}}, {"Command44", {"status", "CR0"}},
    {"Command45", {"mode", "CR1"}}, {"Command46", {"lamp-time", "CR3"}}, {"Command47", {"setting", "CR4"}},
    {"Command56", {"temp", "CR6"}},
};
// clang-format on

QByteArray line(const QByteArray &button)
{
    return kSays.value(button).text + '\r';
}

// What a stretch of virtual time looked like, in ms from its start.
struct Trace
{
    int now = 0;
    Times sends, timeouts, clears; // the reply time-out ending with nothing received; TXD and RXD blanked
    QByteArrayList bytes;
};

// Steps through span ms one at a time so that every write is seen at its moment. Time-outs and
// clears are taken as they happen: at 5 ms they fall on the moment of a resend.
void follow(Rig &r, int span, Trace &t)
{
    const QMetaObject::Connection timeouts = QObject::connect(&r.transfer, &Transfer::replyTimeEnded, [&] {
        if (r.rxd == kMarker)
            t.timeouts.append(t.now + 1);
    });
    const QMetaObject::Connection clears = QObject::connect(&r.transfer, &Transfer::monitorCleared, [&] {
        if (r.txd.isEmpty() && r.rxd.isEmpty())
            t.clears.append(t.now + 1);
    });
    for (const int end = t.now + span;; ++t.now) {
        for (const QByteArray &w : r.takeWrites()) {
            t.sends.append(t.now);
            t.bytes.append(w);
        }
        if (t.now == end)
            break;
        r.advance(1);
    }
    QObject::disconnect(timeouts);
    QObject::disconnect(clears);
}

// A one-shot send times out at 500 ms and leaves the monitor at 1000 ms.
void expectNormalMonitor(Rig &r)
{
    Trace trace;
    r.click("Command17");
    follow(r, 1000, trace);
    QCOMPARE(trace.bytes, QByteArrayList{"C00\r"});
    QCOMPARE(trace.timeouts, Times{500});
    QCOMPARE(trace.clears, Times{1000});
}

struct Hold
{
    QList<const char *> setup; // clicked first, each left to run down
    int arrowMode;
    const char *button;
    int span;
    Times sends, timeouts, clears;
    int pressedAgainAt = -1;
};

} // namespace

Q_DECLARE_METATYPE(Hold)

class TestCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyButtonSendsItsText();
    void misspeltNames_data();
    void misspeltNames();
    void holdTiming_data();
    void holdTiming();
    void failedWriteEndsTheHold_data();
    void failedWriteEndsTheHold();
    void failedPressStillSetsTheRepeat();
};

void TestCommands::everyButtonSendsItsText()
{
    QCOMPARE(qsizetype(vocabulary::kCommands.size() + vocabulary::kQueries.size()), kSays.size());
    for (auto it = kSays.keyBegin(); it != kSays.keyEnd(); ++it) {
        Rig r;
        if (isHold(it->constData())) {
            r.press(it->constData());
            r.release(it->constData());
        } else {
            r.click(it->constData());
        }
        QCOMPARE(r.takeWrites(), QByteArrayList{line(*it)});
        QCOMPARE(r.transfer.state().OutgoingCommand, line(*it));
        r.advance(2000); // nothing is left running that sends
        QCOMPARE(r.takeWrites(), QByteArrayList());

        // Its name finds the same button and text, and a query's its reading.
        const Says &says = kSays[*it];
        const std::optional<vocabulary::Named> named = vocabulary::findName(QString::fromLatin1(says.name));
        QVERIFY2(named && named->button == it->toStdString() && named->text == says.text.toStdString(), says.name);
        QVERIFY2(named->query ? named->query->button == named->button : !says.text.startsWith("CR"), says.name);
    }
}

void TestCommands::misspeltNames_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QStringList>("close"); // offered instead, nearest first
    QTest::newRow("a letter dropped") << "pwer-on" << QStringList{"power-on"};
    QTest::newRow("a word of four") << "mute"
                                    << QStringList{"audio-mute-on", "video-mute-on", "audio-mute-off",
                                                   "video-mute-off"};
    QTest::newRow("a misspelt word") << "powr"
                                     << QStringList{"power-on", "power-off", "power-management-on",
                                                    "power-management-off"};
    QTest::newRow("longer than the name") << "temperature" << QStringList{"temp"};
    QTest::newRow("capitals") << "Power-On" << QStringList{"power-on", "power-off"};
    QTest::newRow("a command text is no name") << "C00" << QStringList{"c01"};
    QTest::newRow("with its carriage return") << "status\r" << QStringList{"status"};
    QTest::newRow("nothing near") << "xyzzy" << QStringList();
    QTest::newRow("empty") << "" << QStringList();
}

void TestCommands::misspeltNames()
{
    QFETCH(QString, given);
    QFETCH(QStringList, close);
    QVERIFY(!vocabulary::findName(given));
    QCOMPARE(vocabulary::closeNames(given), close);
}

void TestCommands::holdTiming_data()
{
    QTest::addColumn<Hold>("hold");
    const auto row = [](const char *name, const Hold &hold) { QTest::newRow(name) << hold; };
    const Times second{0, 250, 500, 750, 1000}, secondTimeouts{200, 450, 700, 950}, secondClears{245, 495, 745, 995};
    row("VOL + tap", {{}, 0, "Command1", 249, {0}, {200}, {245}});
    row("VOL + held", {{}, 0, "Command1", 1010, second, secondTimeouts, secondClears});
    // Sent again at once, and the repeat counts from the second press.
    row("Bright + pressed again", {{}, 0, "Command30", 400, {0, 100, 350}, {300}, {345}, 100});
    row("D.Zoom - tap", {{}, 0, "Command49", 249, {0}, {200}, {245}});
    row("SELECT held", {{}, 0, "Command6", 1010, {0, 500, 1000}, {200, 700}, {245, 745}});

    // The arrows repeat at whatever Timer1 was given last and time their monitor by ArrowMode;
    // in mode 0 every resend comes before the 500 ms time-out.
    const Times at200{0, 200, 400}, at250{0, 250, 500}, menuTimeouts{150, 350}, menuClears{190, 390};
    row("up at start-up", {{}, 0, "Command5", 520, at200, {}, {}});
    row("down after MENU ON", {{"Command23"}, 1, "Command7", 520, at200, menuTimeouts, menuClears});
    row("left after A-IMAGE", {{"Command13"}, 1, "Command9", 520, at200, menuTimeouts, menuClears});
    row("up after VOL", {{"Command1"}, 0, "Command5", 520, at250, {}, {}});
    row("right after MENU ON, SELECT", {{"Command23", "Command6"}, 1, "Command8", 520, {0, 500}, {150}, {190}});
    row("up after A-IMAGE, R-CLICK", {{"Command13", "Command40"}, 1, "Command5", 520, {0, 500}, {150}, {190}});
    row("down after D.Zoom -, VOL",
        {{"Command49", "Command1"}, 3, "Command7", 520, at250, {5, 255, 505}, {5, 255, 505}});
    row("right after D.Zoom +, MENU ON",
        {{"Command48", "Command23"}, 1, "Command8", 520, at200, menuTimeouts, menuClears});
    // After a D.Zoom release the arrows repeat every 5 ms; the press started their time-out and
    // clear before the repeat, so at 5 ms these come first, and then each resend restarts them.
    Times every5;
    for (int at = 0; at <= 50; at += 5)
        every5.append(at);
    row("left after MENU ON, D.Zoom +", {{"Command23", "Command48"}, 3, "Command9", 50, every5, {5}, {5}});
}

void TestCommands::holdTiming()
{
    QFETCH(Hold, hold);
    Rig r;
    for (const char *button : hold.setup) {
        if (isHold(button)) {
            r.press(button);
            r.release(button);
        } else {
            r.click(button);
        }
        r.advance(2000);
    }
    QCOMPARE(quint8(r.repeater.state().ArrowMode), quint8(hold.arrowMode));
    r.click("Command44");
    r.comm->receive("00\r"); // outlasts a hold with no clear in it, as the arrows' at start-up
    r.takeWrites();

    Trace trace;
    r.press(hold.button);
    if (hold.pressedAgainAt >= 0) {
        follow(r, hold.pressedAgainAt, trace);
        r.press(hold.button);
    }
    follow(r, hold.span - trace.now, trace);
    r.comm->receive("\x06");
    const QString status = r.status.line();
    r.release(hold.button);
    QCOMPARE(trace.sends, hold.sends);
    QCOMPARE(trace.bytes, QByteArrayList(hold.sends.size(), line(hold.button)));
    QCOMPARE(trace.timeouts, hold.timeouts);
    QCOMPARE(trace.clears, hold.clears);

    QCOMPARE(r.repeater.state().RepeatCode, quint8(0));
    QVERIFY(r.transfer.state().ReceiveBuffer.isEmpty());
    QCOMPARE(r.txd, QString());
    QCOMPARE(r.rxd, QString());
    r.advance(999);
    QCOMPARE(r.status.line(), status);
    QCOMPARE(r.rxd, QString()); // the abandoned send shows no marker
    r.advance(1);
    QCOMPARE(r.status.line(), QString());
    r.advance(1000);
    QCOMPARE(r.takeWrites(), QByteArrayList());
    expectNormalMonitor(r);
}

void TestCommands::failedWriteEndsTheHold_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::newRow("VOL +") << QByteArray("Command1");
    QTest::newRow("up") << QByteArray("Command5");
}

void TestCommands::failedWriteEndsTheHold()
{
    QFETCH(QByteArray, button);
    Rig r;
    const auto expectEnded = [&](int failures) {
        QCOMPARE(r.failures, QStringList(failures, kWriteFailed));
        QCOMPARE(r.repeater.state().RepeatCode, quint8(0));
        QCOMPARE(r.txd, QString());
        QCOMPARE(r.rxd, QString());
        r.advance(999);
        QCOMPARE(r.rxd, QString()); // the abandoned send shows no marker
        // Still held: nothing more is tried or reported.
        r.advance(1001);
        QCOMPARE(r.takeWrites(), QByteArrayList());
        QCOMPARE(r.failures.size(), failures);
        r.comm->failWriting(QString());
        expectNormalMonitor(r);
        r.release(button);
    };
    r.comm->failWriting("Input/output error");
    r.press(button);
    expectEnded(1);
    r.press(button); // a later press tries again
    QCOMPARE(r.takeWrites(), QByteArrayList{line(button)});
    r.comm->failWriting("Input/output error");
    r.advance(260); // the first resend fails
    expectEnded(2);
}

void TestCommands::failedPressStillSetsTheRepeat()
{
    // The arrows repeat at the interval the last press gave Timer1, whether or not its send went out.
    Rig r;
    r.comm->failWriting("Input/output error");
    r.press("Command6");
    r.release("Command6");
    r.comm->failWriting(QString());
    r.advance(2000);
    Trace trace;
    r.press("Command5");
    follow(r, 600, trace);
    QCOMPARE(trace.sends, (Times{0, 500}));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
