#include "Harness.h"

#include <QRandomGenerator>
#include <QTest>

using Times = QList<int>;

namespace {

const QString kMarker = QStringLiteral(" X X X X");

// What each button says to the projector, written out here rather than taken from the panel's
// own table, so that a wrong row there is caught.
const QHash<QByteArray, QByteArray> kSays = {
    {"Command17", "C00"}, {"Command52", "C01"}, {"Command18", "C02"}, {"Command27", "C05"}, {"Command28", "C07"},
    {"Command1", "C09"},  {"Command2", "C0A"},  {"Command19", "C0B"}, {"Command20", "C0C"}, {"Command21", "C0D"},
    {"Command22", "C0E"}, {"Command31", "C0F"}, {"Command32", "C10"}, {"Command23", "C1C"}, {"Command24", "C1D"},
    {"Command3", "C1E"},  {"Command30", "C20"}, {"Command42", "C21"}, {"Command53", "C27"}, {"Command54", "C2A"},
    {"Command55", "C2B"}, {"Command48", "C30"}, {"Command49", "C31"}, {"Command8", "C3A"},  {"Command9", "C3B"},
    {"Command5", "C3C"},  {"Command7", "C3D"},  {"Command40", "C3E"}, {"Command6", "C3F"},  {"Command25", "C43"},
    {"Command26", "C44"}, {"Command13", "C89"}, {"Command14", "C8A"}, {"Command50", "C8E"}, {"Command51", "C8F"},
    {"Command44", "CR0"}, {"Command45", "CR1"}, {"Command46", "CR3"}, {"Command47", "CR4"}, {"Command56", "CR6"},
};

QByteArray line(const QByteArray &button)
{
    return kSays.value(button) + '\r';
}

// What a stretch of virtual time looked like, in ms from its start.
struct Trace
{
    int now = 0;
    Times sends, timeouts, clears; // timeouts: AwaitingReply fell with nothing received
    QByteArrayList bytes;
};

// Notes what was written so far, then steps through span ms one at a time so that every
// write and tick is seen at its moment.
void follow(Harness &h, int span, Trace &t)
{
    for (const int end = t.now + span;; ++t.now) {
        for (const QByteArray &w : h.takeWrites()) {
            t.sends.append(t.now);
            t.bytes.append(w);
        }
        if (t.now == end)
            return;
        const bool awaiting = h.form->state().AwaitingReply == 1, shown = !h.txd().isEmpty();
        h.advance(1);
        const bool cleared = shown && h.txd().isEmpty();
        if (cleared)
            t.clears.append(t.now + 1);
        if (awaiting && h.form->state().AwaitingReply == 0) {
            t.timeouts.append(t.now + 1);
            if (!cleared) // else the clear fell on the same moment
                QCOMPARE(h.rxd(), kMarker);
        }
    }
}

// A one-shot send times out at 500 ms and leaves the monitor at 1000 ms.
void expectNormalMonitor(Harness &h)
{
    Trace trace;
    h.click("Command17");
    follow(h, 1000, trace);
    QCOMPARE(trace.bytes, QByteArrayList{"C00\r"});
    QCOMPARE(trace.timeouts, Times{500});
    QCOMPARE(trace.clears, Times{1000});
}

struct Hold
{
    QList<const char *> setup; // clicked first, each left to run down
    int arrowMode;
    const char *button;
    Qt::MouseButton mouse;
    int span;
    Times sends, timeouts, clears;
    QString during = {}; // at 100 ms: "drag off" or "right press", whose release then ends the hold
};

} // namespace

Q_DECLARE_METATYPE(Hold)

class TestCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buttonsSendTheirCommand_data();
    void buttonsSendTheirCommand();
    void holdTiming_data();
    void holdTiming();
    void zoomReleaseRunsArrowsAtFiveMs();
    void statusThroughTheWindow();
    void randomUseSendsOnlyWholeTexts();
    void failedWriteEndsTheHold_data();
    void failedWriteEndsTheHold();
};

void TestCommands::buttonsSendTheirCommand_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("sends");
    for (auto it = kSays.keyBegin(); it != kSays.keyEnd(); ++it)
        QTest::addRow("%s left click", it->constData()) << *it << "left" << 1;
    QTest::newRow("one-shot two quick clicks") << QByteArray("Command17") << "double" << 2;
    QTest::newRow("one-shot Space") << QByteArray("Command28") << "space" << 1;
    QTest::newRow("one-shot Enter") << QByteArray("Command23") << "enter" << 1;
    QTest::newRow("one-shot keypad Enter") << QByteArray("Command44") << "keypad enter" << 1;
    QTest::newRow("one-shot right click") << QByteArray("Command17") << "right" << 0;
    QTest::newRow("one-shot middle click") << QByteArray("Command44") << "middle" << 0;
    QTest::newRow("hold button Space") << QByteArray("Command1") << "space" << 0;
}

void TestCommands::buttonsSendTheirCommand()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, how);
    QFETCH(int, sends);
    auto h = Harness::started();
    PanelButton *b = h->button(button);
    QVERIFY(b);
    if (how == u"space" || how.endsWith(u"enter")) {
        h->form->show();
        h->form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h->form.get()));
        b->setFocus();
        QVERIFY(b->hasFocus());
        QTest::keyClick(b, how == u"space" ? Qt::Key_Space : how == u"enter" ? Qt::Key_Return : Qt::Key_Enter,
                        how == u"keypad enter" ? Qt::KeypadModifier : Qt::NoModifier);
    } else {
        const auto mouse = how == u"right" ? Qt::RightButton : how == u"middle" ? Qt::MiddleButton : Qt::LeftButton;
        QTest::mouseClick(b, mouse);
        if (how == u"double") {
            QTest::mouseDClick(b, mouse);
            QTest::mouseRelease(b, mouse);
        }
    }
    QCOMPARE(h->takeWrites(), QByteArrayList(sends, line(button)));
    h->advance(2000); // nothing is left running that sends
    QCOMPARE(h->takeWrites(), QByteArrayList());
}

void TestCommands::holdTiming_data()
{
    QTest::addColumn<Hold>("hold");
    const auto row = [](const char *name, const Hold &hold) { QTest::newRow(name) << hold; };
    const auto left = Qt::LeftButton, right = Qt::RightButton, middle = Qt::MiddleButton;
    const Times second{0, 250, 500, 750, 1000}, secondTimeouts{200, 450, 700, 950}, secondClears{245, 495, 745, 995};
    row("VOL + tap", {{}, 0, "Command1", left, 249, {0}, {200}, {245}});
    row("VOL + held", {{}, 0, "Command1", left, 1010, second, secondTimeouts, secondClears});
    row("VOL + right button", {{}, 0, "Command1", right, 1010, second, secondTimeouts, secondClears});
    row("VOL + middle button", {{}, 0, "Command1", middle, 1010, second, secondTimeouts, secondClears});
    row("VOL + dragged off",
        {{}, 0, "Command1", left, 800, {0, 250, 500, 750}, {200, 450, 700}, {245, 495, 745}, "drag off"});
    // Sent again at once, and the repeat counts from the second press; its release ends the hold.
    row("Bright + a second button", {{}, 0, "Command30", left, 400, {0, 100, 350}, {300}, {345}, "right press"});
    row("D.Zoom - tap", {{}, 0, "Command49", left, 249, {0}, {200}, {245}});
    row("SELECT held", {{}, 0, "Command6", left, 1010, {0, 500, 1000}, {200, 700}, {245, 745}});

    // The arrows repeat at whatever Timer1 was given last and time their monitor by ArrowMode;
    // in mode 0 every resend comes before the 500 ms time-out.
    const Times at200{0, 200, 400}, at250{0, 250, 500}, menuTimeouts{150, 350}, menuClears{190, 390};
    row("up at start-up", {{}, 0, "Command5", left, 520, at200, {}, {}});
    row("down after MENU ON", {{"Command23"}, 1, "Command7", left, 520, at200, menuTimeouts, menuClears});
    row("left after A-IMAGE", {{"Command13"}, 1, "Command9", left, 520, at200, menuTimeouts, menuClears});
    row("up after VOL", {{"Command1"}, 0, "Command5", left, 520, at250, {}, {}});
    row("right after MENU ON, SELECT",
        {{"Command23", "Command6"}, 1, "Command8", left, 520, {0, 500}, {150}, {190}});
    row("up after A-IMAGE, R-CLICK",
        {{"Command13", "Command40"}, 1, "Command5", right, 520, {0, 500}, {150}, {190}});
    row("down after D.Zoom -, VOL",
        {{"Command49", "Command1"}, 3, "Command7", left, 520, at250, {5, 255, 505}, {5, 255, 505}});
    row("right after D.Zoom +, MENU ON",
        {{"Command48", "Command23"}, 1, "Command8", left, 520, at200, menuTimeouts, menuClears});
}

void TestCommands::holdTiming()
{
    QFETCH(Hold, hold);
    auto h = Harness::started();
    for (const char *button : hold.setup) {
        h->click(button);
        h->advance(2000);
    }
    QCOMPARE(h->form->state().ArrowMode, quint8(hold.arrowMode));
    h->click("Command44");
    h->comm->receive("00\r"); // outlasts a hold with no clear in it, as the arrows' at start-up
    h->takeWrites();

    PanelButton *b = h->button(hold.button);
    QPoint at = b->rect().center();
    Trace trace;
    h->press(hold.button, hold.mouse);
    if (hold.during == u"drag off") {
        follow(*h, 100, trace);
        QTest::mouseMove(b, at = QPoint(-40, b->height() * 3));
    } else if (hold.during == u"right press") {
        follow(*h, 100, trace);
        h->press(hold.button, hold.mouse = Qt::RightButton);
    }
    follow(*h, hold.span - trace.now, trace);
    h->comm->receive("\x06");
    const QString status = h->status();
    QTest::mouseRelease(b, hold.mouse, {}, at); // it reaches the pressed button wherever the pointer is
    QCOMPARE(trace.sends, hold.sends);
    QCOMPARE(trace.bytes, QByteArrayList(hold.sends.size(), line(hold.button)));
    QCOMPARE(trace.timeouts, hold.timeouts);
    QCOMPARE(trace.clears, hold.clears);

    QCOMPARE(h->form->state().RepeatCode, quint8(0));
    QVERIFY(h->form->state().ReceiveBuffer.isEmpty());
    QCOMPARE(h->txd(), QString());
    QCOMPARE(h->rxd(), QString());
    h->advance(999);
    QCOMPARE(h->status(), status);
    QCOMPARE(h->rxd(), QString()); // the abandoned send shows no marker
    h->advance(1);
    QCOMPARE(h->status(), QString());
    h->advance(1000);
    QCOMPARE(h->takeWrites(), QByteArrayList());
    expectNormalMonitor(*h);
}

void TestCommands::zoomReleaseRunsArrowsAtFiveMs()
{
    auto h = Harness::started();
    h->click("Command23");
    h->click("Command48");
    h->advance(2000);
    h->takeWrites();
    h->press("Command9");
    h->advance(2);
    h->comm->receive("\x06");
    QCOMPARE(h->rxd(), QStringLiteral(" ACK "));
    // The press started the time-out and the clear before the repeat, so at 5 ms they come first.
    h->advance(3);
    QVERIFY(h->form->state().ReceiveBuffer.isEmpty());
    QCOMPARE(h->rxd(), QString());
    h->advance(45);
    h->release("Command9");
    QCOMPARE(h->takeWrites(), QByteArrayList(11, line("Command9")));
}

void TestCommands::statusThroughTheWindow()
{
    auto h = Harness::started();
    h->click("Command44");
    h->comm->receive("80\r");
    QCOMPARE(h->status(), QStringLiteral(" Stand by"));
    h->advance(600); // the reply time-out has emptied the buffer; the clear is still to come
    h->click("Command44");
    h->comm->receive("0");
    QCOMPARE(h->status(), QStringLiteral(" Stand by"));
    h->comm->receive("0\r");
    QCOMPARE(h->status(), QStringLiteral(" Power ON"));
    h->advance(600);
    h->click("Command17"); // not a query: its reply is not read
    h->comm->receive("80\r");
    QCOMPARE(h->status(), QStringLiteral(" Power ON"));
    h->advance(600);

    h->click("Command44"); // a reply after the time-out is still read
    h->advance(500);
    QCOMPARE(h->rxd(), kMarker);
    h->advance(100);
    h->comm->receive("20\r");
    QCOMPARE(h->status(), QStringLiteral(" Cooling down"));
    h->advance(399);
    QCOMPARE(h->status(), QStringLiteral(" Cooling down"));
    h->advance(1);
    QCOMPARE(h->status(), QString());
}

void TestCommands::randomUseSendsOnlyWholeTexts()
{
    QRandomGenerator random(20261206);
    const QByteArrayList texts = kSays.values();
    auto h = Harness::started();
    QList<PanelButton *> buttons = h->form->findChildren<PanelButton *>();
    buttons.removeIf([](PanelButton *b) { return b->objectName() == u"Command16"; }); // END ends the run

    const Qt::MouseButton mice[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
    const QByteArray chunks[] = {"00\r", "0", "\x06", "81\r", "\r", "ABCDEFGHIJKLMNOPQ\r"};
    PanelButton *grab = nullptr; // the press's button gets every mouse event until all are up
    Qt::MouseButtons down;
    int written = 0;
    for (int step = 0; step < 3000; ++step) {
        PanelButton *any = buttons[random.bounded(buttons.size())];
        const Qt::MouseButton m = mice[random.bounded(3)];
        switch (random.bounded(5)) {
        case 0:
            if (!(down & m)) {
                grab = grab ? grab : any;
                QTest::mousePress(grab, m);
                down |= m;
            }
            break;
        case 1:
            if (down & m) {
                QTest::mouseRelease(grab, m);
                down &= ~m;
                grab = down ? grab : nullptr;
            }
            break;
        case 2:
            QTest::keyClick(grab ? grab : any, random.bounded(2) ? Qt::Key_Space : Qt::Key_Return);
            break;
        case 3:
            h->comm->receive(chunks[random.bounded(6)]);
            break;
        case 4:
            h->advance(random.bounded(700));
            break;
        }
        for (const QByteArray &w : h->takeWrites()) {
            ++written;
            QVERIFY2(w.endsWith('\r') && texts.contains(w.chopped(1)),
                     qPrintable(QStringLiteral("step %1 wrote %2").arg(step).arg(w.toPercentEncoding())));
        }
    }
    QVERIFY2(written > 500, qPrintable(QString::number(written)));
    QVERIFY(h->warnings.isEmpty());
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
    auto h = Harness::started();
    const auto expectEnded = [&](int warnings) {
        QCOMPARE(h->warnings, QStringList(warnings, "Input/output error"));
        QCOMPARE(h->form->state().RepeatCode, quint8(0));
        QCOMPARE(h->txd(), QString());
        QCOMPARE(h->rxd(), QString());
        h->advance(999);
        QCOMPARE(h->rxd(), QString()); // the abandoned send shows no marker
        h->advance(1001); // still held: nothing more is tried or reported
        QCOMPARE(h->takeWrites(), QByteArrayList());
        QCOMPARE(h->warnings.size(), warnings);
        h->comm->failWriting(QString());
        expectNormalMonitor(*h);
        h->release(button);
    };
    h->comm->failWriting("Input/output error");
    h->press(button);
    expectEnded(1);
    h->press(button); // a later press tries again
    QCOMPARE(h->takeWrites(), QByteArrayList{line(button)});
    h->comm->failWriting("Input/output error");
    h->advance(260); // the first resend fails
    expectEnded(2);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
