#include "Harness.h"
#include "commands/Vocabulary.h"

#include <QApplication>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using Times = QList<int>;

namespace {

const QString kMarker = QStringLiteral(" X X X X");

// What each button says to the projector, written out here rather than taken from the panel's
// own table, so that a wrong row there is caught.
const QHash<QByteArray, QByteArray> kSays = {
    {"Command17", "C00"}, {"Command52", "C01"}, {"Command18", "C02"}, {"Command27", "C05"},
    {"Command28", "C07"}, {"Command1", "C09"},  {"Command2", "C0A"},  {"Command19", "C0B"},
    {"Command20", "C0C"}, {"Command21", "C0D"}, {"Command22", "C0E"}, {"Command31", "C0F"},
    {"Command32", "C10"}, {"Command23", "C1C"}, {"Command24", "C1D"}, {"Command3", "C1E"},
    {"Command30", "C20"}, {"Command42", "C21"}, {"Command53", "C27"}, {"Command54", "C2A"},
    {"Command55", "C2B"}, {"Command48", "C30"}, {"Command49", "C31"}, {"Command8", "C3A"},
    {"Command9", "C3B"},  {"Command5", "C3C"},  {"Command7", "C3D"},  {"Command40", "C3E"},
    {"Command6", "C3F"},  {"Command25", "C43"}, {"Command26", "C44"}, {"Command13", "C89"},
    {"Command14", "C8A"}, {"Command50", "C8E"}, {"Command51", "C8F"}, {"Command44", "CR0"},
    {"Command45", "CR1"}, {"Command46", "CR3"}, {"Command47", "CR4"}, {"Command56", "CR6"},
};
const QSet<QByteArray> kHoldButtons = {"Command1",  "Command2",  "Command5",  "Command6",  "Command7",
                                       "Command8",  "Command9",  "Command30", "Command40", "Command42",
                                       "Command48", "Command49", "Command50", "Command51"};

QByteArray line(const QByteArray &button)
{
    return kSays.value(button) + '\r';
}

// What a stretch of virtual time looked like, in ms from its start.
struct Trace
{
    int now = 0;
    Times sends;
    Times timeouts; // AwaitingReply fell with nothing received
    Times clears;   // TXD went blank
    QByteArrayList bytes;
};

void noteWrites(Harness &h, Trace &trace)
{
    for (const QByteArray &w : h.takeWrites()) {
        trace.sends.append(trace.now);
        trace.bytes.append(w);
    }
}

// Steps through span ms one at a time, so that every write and tick is seen at its moment.
void follow(Harness &h, int span, Trace &trace)
{
    for (const int end = trace.now + span; trace.now < end;) {
        const bool awaiting = h.form->state().AwaitingReply == 1;
        const bool shown = !h.txd().isEmpty();
        h.advance(1);
        ++trace.now;
        noteWrites(h, trace);
        const bool cleared = shown && h.txd().isEmpty();
        if (cleared)
            trace.clears.append(trace.now);
        if (awaiting && h.form->state().AwaitingReply == 0) {
            trace.timeouts.append(trace.now);
            // The marker shows unless the clear fell on the same moment.
            if (!cleared)
                QCOMPARE(h.rxd(), kMarker);
        }
    }
}

Trace hold(Harness &h, const QByteArray &button, Qt::MouseButton mouse, int span)
{
    Trace trace;
    h.press(button, mouse);
    noteWrites(h, trace);
    follow(h, span, trace);
    h.release(button, mouse);
    noteWrites(h, trace);
    return trace;
}

// "click Command23" or "tap Command48"; afterwards everything has run down.
void run(Harness &h, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QByteArray button = step.section(u' ', 1).toLatin1();
        if (step.startsWith(u"click")) {
            h.click(button);
        } else {
            h.press(button);
            h.advance(10);
            h.release(button);
        }
        h.advance(2000);
    }
    h.takeWrites();
}

void showAndFocus(Harness &h, QWidget *target)
{
    h.form->show();
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
    target->setFocus();
    QVERIFY(target->hasFocus());
}

QList<QByteArray> allButtons()
{
    QList<QByteArray> names;
    for (const vocabulary::Command &c : vocabulary::kCommands)
        names.append(QByteArray(c.button.data(), qsizetype(c.button.size())));
    for (const vocabulary::Query &q : vocabulary::kQueries)
        names.append(QByteArray(q.button.data(), qsizetype(q.button.size())));
    return names;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyButtonIsInTheVocabulary();
    void buttonsSendTheirCommand_data();
    void buttonsSendTheirCommand();
    void holdTiming_data();
    void holdTiming();
    void zoomReleaseRunsArrowsAtFiveMs();
    void releaseRestoresTheMonitor_data();
    void releaseRestoresTheMonitor();
    void dragOffKeepsRepeating_data();
    void dragOffKeepsRepeating();
    void secondMouseButtonPressesAgain();
    void statusThroughTheWindow_data();
    void statusThroughTheWindow();
    void statusAfterTheTimeout();
    void statusClearedASecondAfterTheSend();
    void randomUseSendsOnlyWholeTexts();
    void failedWriteEndsTheHold_data();
    void failedWriteEndsTheHold();
};

void TestCommands::everyButtonIsInTheVocabulary()
{
    const QList<QByteArray> names = allButtons();
    QCOMPARE(QSet<QByteArray>(names.begin(), names.end()), QSet<QByteArray>(kSays.keyBegin(), kSays.keyEnd()));
}

void TestCommands::buttonsSendTheirCommand_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("sends");

    for (const QByteArray &b : allButtons()) {
        const char *name = b.constData();
        if (kHoldButtons.contains(b)) {
            QTest::addRow("%s left press", name) << b << "left" << 1;
            QTest::addRow("%s right press", name) << b << "right" << 1;
            QTest::addRow("%s middle press", name) << b << "middle" << 1;
            QTest::addRow("%s two quick presses", name) << b << "twice" << 2;
            QTest::addRow("%s Space", name) << b << "space" << 0;
            QTest::addRow("%s Enter", name) << b << "enter" << 0;
            QTest::addRow("%s keypad Enter", name) << b << "keypad enter" << 0;
        } else {
            QTest::addRow("%s left click", name) << b << "left" << 1;
            QTest::addRow("%s two quick clicks", name) << b << "twice" << 2;
            QTest::addRow("%s double click", name) << b << "double" << 2;
            QTest::addRow("%s Space", name) << b << "space" << 1;
            QTest::addRow("%s Enter", name) << b << "enter" << 1;
            QTest::addRow("%s keypad Enter", name) << b << "keypad enter" << 1;
            QTest::addRow("%s right click", name) << b << "right" << 0;
            QTest::addRow("%s middle click", name) << b << "middle" << 0;
        }
    }
}

void TestCommands::buttonsSendTheirCommand()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, how);
    QFETCH(int, sends);

    auto h = Harness::started();
    PanelButton *b = h->button(button);
    QVERIFY(b);
    if (how == u"left") {
        QTest::mouseClick(b, Qt::LeftButton);
    } else if (how == u"right") {
        QTest::mouseClick(b, Qt::RightButton);
    } else if (how == u"middle") {
        QTest::mouseClick(b, Qt::MiddleButton);
    } else if (how == u"twice") {
        QTest::mouseClick(b, Qt::LeftButton);
        QTest::mouseClick(b, Qt::LeftButton);
    } else if (how == u"double") {
        QTest::mouseClick(b, Qt::LeftButton);
        QTest::mouseDClick(b, Qt::LeftButton);
        QTest::mouseRelease(b, Qt::LeftButton);
    } else {
        showAndFocus(*h, b);
        if (how == u"space")
            QTest::keyClick(b, Qt::Key_Space);
        else if (how == u"enter")
            QTest::keyClick(b, Qt::Key_Return);
        else
            QTest::keyClick(b, Qt::Key_Enter, Qt::KeypadModifier);
    }

    QCOMPARE(h->takeWrites(), QByteArrayList(sends, line(button)));
    if (sends > 0)
        QCOMPARE(h->form->state().OutgoingCommand, line(button));
    QCOMPARE(h->form->state().RepeatCode, quint8(0));
    int arrowMode = 0;
    if (sends > 0 && (button == "Command23" || button == "Command13"))
        arrowMode = 1;
    else if (sends > 0 && (button == "Command48" || button == "Command49"))
        arrowMode = 3; // the D.Zoom release
    QCOMPARE(h->form->state().ArrowMode, quint8(arrowMode));
    // Nothing is left running that sends.
    h->advance(2000);
    QCOMPARE(h->takeWrites(), QByteArrayList());
}

void TestCommands::holdTiming_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<int>("arrowMode");
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("mouse");
    QTest::addColumn<int>("span");
    QTest::addColumn<Times>("sends");
    QTest::addColumn<Times>("timeouts");
    QTest::addColumn<Times>("clears");

    const auto row = [](const char *name, const QStringList &setup, int mode, const char *button, int mouse, int span,
                        const Times &sends, const Times &timeouts, const Times &clears) {
        QTest::newRow(name) << setup << mode << QByteArray(button) << mouse << span << sends << timeouts << clears;
    };
    const int left = Qt::LeftButton, right = Qt::RightButton, middle = Qt::MiddleButton;

    const Times second{0, 250, 500, 750, 1000}, secondTimeouts{200, 450, 700, 950}, secondClears{245, 495, 745, 995};
    row("VOL + tap", {}, 0, "Command1", left, 249, {0}, {200}, {245});
    row("VOL + held", {}, 0, "Command1", left, 1010, second, secondTimeouts, secondClears);
    row("VOL + right button", {}, 0, "Command1", right, 1010, second, secondTimeouts, secondClears);
    row("VOL + middle button", {}, 0, "Command1", middle, 1010, second, secondTimeouts, secondClears);
    row("VOL - held", {}, 0, "Command2", left, 510, {0, 250, 500}, {200, 450}, {245, 495});
    row("Bright + held", {}, 0, "Command30", left, 510, {0, 250, 500}, {200, 450}, {245, 495});
    row("Bright - held", {}, 0, "Command42", left, 510, {0, 250, 500}, {200, 450}, {245, 495});
    row("D.Zoom + held", {}, 0, "Command48", left, 510, {0, 250, 500}, {200, 450}, {245, 495});
    row("D.Zoom - held", {}, 0, "Command49", left, 510, {0, 250, 500}, {200, 450}, {245, 495});
    row("Keystone + held", {}, 0, "Command50", left, 510, {0, 250, 500}, {200, 450}, {245, 495});
    row("Keystone - held", {}, 0, "Command51", left, 510, {0, 250, 500}, {200, 450}, {245, 495});
    row("SELECT held", {}, 0, "Command6", left, 1010, {0, 500, 1000}, {200, 700}, {245, 745});
    row("R-CLICK held", {}, 0, "Command40", left, 1010, {0, 500, 1000}, {200, 700}, {245, 745});
    row("R-CLICK right button", {}, 0, "Command40", right, 1010, {0, 500, 1000}, {200, 700}, {245, 745});

    // The arrows repeat at whatever Timer1 was given last and time their monitor by ArrowMode;
    // in mode 0 every resend comes before the 500 ms time-out.
    const Times at200{0, 200, 400}, at250{0, 250, 500}, at500{0, 500};
    const Times menuTimeouts{150, 350}, menuClears{190, 390};
    row("up at start-up", {}, 0, "Command5", left, 520, at200, {}, {});
    row("down after MENU ON", {"click Command23"}, 1, "Command7", left, 520, at200, menuTimeouts, menuClears);
    row("left after A-IMAGE", {"click Command13"}, 1, "Command9", left, 520, at200, menuTimeouts, menuClears);
    row("right after MENU ON, OFF", {"click Command23", "click Command24"}, 1, "Command8", left, 520, at200,
        menuTimeouts, menuClears);
    row("up after VOL", {"tap Command1"}, 0, "Command5", left, 520, at250, {}, {});
    row("down after Keystone", {"tap Command51"}, 0, "Command7", left, 520, at250, {}, {});
    row("left after MENU ON, Bright", {"click Command23", "tap Command30"}, 1, "Command9", left, 520, at250,
        {150, 400}, {190, 440});
    row("right after MENU ON, SELECT", {"click Command23", "tap Command6"}, 1, "Command8", left, 520, at500, {150},
        {190});
    row("up after A-IMAGE, R-CLICK", {"click Command13", "tap Command40"}, 1, "Command5", right, 520, at500, {150},
        {190});
    row("down after D.Zoom, VOL", {"tap Command48", "tap Command1"}, 3, "Command7", left, 520, at250, {5, 255, 505},
        {5, 255, 505});
    row("left after D.Zoom, SELECT", {"tap Command49", "tap Command6"}, 3, "Command9", middle, 520, at500, {5, 505},
        {5, 505});
    row("right after D.Zoom, MENU ON", {"tap Command48", "click Command23"}, 1, "Command8", left, 520, at200,
        menuTimeouts, menuClears);
    row("up after D.Zoom, A-IMAGE", {"tap Command49", "click Command13"}, 1, "Command5", left, 520, at200,
        menuTimeouts, menuClears);
}

void TestCommands::holdTiming()
{
    QFETCH(QStringList, setup);
    QFETCH(int, arrowMode);
    QFETCH(QByteArray, button);
    QFETCH(int, mouse);
    QFETCH(int, span);
    QFETCH(Times, sends);
    QFETCH(Times, timeouts);
    QFETCH(Times, clears);

    auto h = Harness::started();
    run(*h, setup);
    QCOMPARE(h->form->state().ArrowMode, quint8(arrowMode));

    const Trace trace = hold(*h, button, Qt::MouseButton(mouse), span);
    QCOMPARE(trace.sends, sends);
    QCOMPARE(trace.bytes, QByteArrayList(sends.size(), line(button)));
    QCOMPARE(trace.timeouts, timeouts);
    QCOMPARE(trace.clears, clears);
    QCOMPARE(h->form->state().RepeatCode, quint8(0));
    h->advance(2000);
    QCOMPARE(h->takeWrites(), QByteArrayList());
}

void TestCommands::zoomReleaseRunsArrowsAtFiveMs()
{
    auto h = Harness::started();
    run(*h, {"click Command23", "tap Command48"});
    QCOMPARE(h->form->state().ArrowMode, quint8(3));

    h->press("Command9");
    h->advance(2);
    h->comm->receive("\x06");
    QCOMPARE(h->rxd(), QStringLiteral(" ACK "));
    // The press started the time-out and the clear before the repeat, so at 5 ms they come first.
    h->advance(3);
    QVERIFY(h->form->state().ReceiveBuffer.isEmpty());
    QCOMPARE(h->rxd(), QString());

    QCOMPARE(h->takeWrites(), QByteArrayList(2, line("Command9")));
    Trace trace;
    trace.now = 5;
    follow(*h, 45, trace);
    h->release("Command9");
    QCOMPARE(trace.sends, (Times{10, 15, 20, 25, 30, 35, 40, 45, 50}));
    QCOMPARE(trace.bytes, QByteArrayList(9, line("Command9")));
}

void TestCommands::releaseRestoresTheMonitor_data()
{
    QTest::addColumn<QByteArray>("button");
    for (const QByteArray &b : allButtons())
        if (kHoldButtons.contains(b))
            QTest::addRow("%s", b.constData()) << b;
}

void TestCommands::releaseRestoresTheMonitor()
{
    QFETCH(QByteArray, button);
    auto h = Harness::started();
    h->click("Command44");
    h->comm->receive("00\r");
    QCOMPARE(h->status(), QStringLiteral(" Power ON"));
    h->advance(600); // past the reply time-out, which empties the buffer

    h->press(button);
    h->advance(20);
    h->comm->receive("\x06");
    QCOMPARE(h->rxd(), QStringLiteral(" ACK "));
    QVERIFY(!h->txd().isEmpty());
    h->release(button);
    QVERIFY(h->form->state().ReceiveBuffer.isEmpty());
    QCOMPARE(h->txd(), QString());
    QCOMPARE(h->rxd(), QString());
    QCOMPARE(h->status(), QStringLiteral(" Power ON"));
    h->advance(999);
    QCOMPARE(h->status(), QStringLiteral(" Power ON"));
    QCOMPARE(h->rxd(), QString()); // the abandoned send shows no marker
    h->advance(1);
    QCOMPARE(h->status(), QString());

    h->takeWrites();
    h->click("Command28");
    QCOMPARE(h->takeWrites(), QByteArrayList{"C07\r"});
    h->advance(499);
    QCOMPARE(h->rxd(), QString());
    h->advance(1);
    QCOMPARE(h->rxd(), kMarker);
    h->advance(499);
    QCOMPARE(h->txd(), QStringLiteral(" C 0 7 CR "));
    h->advance(1);
    QCOMPARE(h->txd(), QString());
    QCOMPARE(h->rxd(), QString());
}

void TestCommands::dragOffKeepsRepeating_data()
{
    QTest::addColumn<int>("mouse");
    QTest::newRow("left") << int(Qt::LeftButton);
    QTest::newRow("right") << int(Qt::RightButton);
    QTest::newRow("middle") << int(Qt::MiddleButton);
}

void TestCommands::dragOffKeepsRepeating()
{
    QFETCH(int, mouse);
    const auto m = Qt::MouseButton(mouse);
    auto h = Harness::started();
    PanelButton *plus = h->button("Command1");
    const QPoint outside(-40, plus->height() * 3);

    Trace trace;
    h->press("Command1", m);
    noteWrites(*h, trace);
    follow(*h, 100, trace);
    QTest::mouseMove(plus, outside);
    follow(*h, 700, trace);
    // The release reaches the button that got the press, wherever the pointer is.
    QTest::mouseRelease(plus, m, {}, outside);
    follow(*h, 700, trace);
    QCOMPARE(trace.sends, (Times{0, 250, 500, 750}));
    QCOMPARE(h->form->state().RepeatCode, quint8(0));
}

void TestCommands::secondMouseButtonPressesAgain()
{
    auto h = Harness::started();
    Trace trace;
    h->press("Command30", Qt::LeftButton);
    noteWrites(*h, trace);
    follow(*h, 100, trace);
    h->press("Command30", Qt::RightButton);
    noteWrites(*h, trace);
    follow(*h, 300, trace);
    h->release("Command30", Qt::RightButton);
    QCOMPARE(h->form->state().RepeatCode, quint8(0));
    noteWrites(*h, trace);
    follow(*h, 1000, trace);
    h->release("Command30", Qt::LeftButton);
    noteWrites(*h, trace);
    follow(*h, 600, trace);
    // Sent again at once, and the repeat counts from the second press.
    QCOMPARE(trace.sends, (Times{0, 100, 350}));
    QCOMPARE(trace.bytes, QByteArrayList(3, "C20\r"));
}

void TestCommands::statusThroughTheWindow_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QStringList>("lines");

    const QString before = QStringLiteral(" Stand by");
    QTest::newRow("STATUS whole") << QByteArray("Command44") << QByteArrayList{"00\r"}
                                  << QStringList{" Power ON"};
    QTest::newRow("STATUS in two pieces") << QByteArray("Command44") << QByteArrayList{"0", "0\r"}
                                          << QStringList{before, " Power ON"};
    QTest::newRow("STATUS unknown code") << QByteArray("Command44") << QByteArrayList{"81\r"} << QStringList{before};
    QTest::newRow("MODE") << QByteArray("Command45") << QByteArrayList{"3\r"} << QStringList{" Video"};
    QTest::newRow("L-TIME in two pieces") << QByteArray("Command46") << QByteArrayList{"01", "23\r"}
                                          << QStringList{" 0 1  Hour", " 0 1 2 3 Hour"};
    QTest::newRow("SETTING") << QByteArray("Command47") << QByteArrayList{"00\r"}
                             << QStringList{" Top/Bottom , Left/Right reversal"};
    QTest::newRow("TEMP short") << QByteArray("Command56") << QByteArrayList{"25\r"}
                                << QStringList{"  S1= 2 5 CR  C ,  S2= C ,  S3= C"};
    QTest::newRow("after power on") << QByteArray("Command17") << QByteArrayList{"00\r"} << QStringList{before};
    QTest::newRow("after a hold") << QByteArray("Command1") << QByteArrayList{"00\r"} << QStringList{before};
}

void TestCommands::statusThroughTheWindow()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, lines);

    auto h = Harness::started();
    h->click("Command44");
    h->comm->receive("80\r");
    QCOMPARE(h->status(), QStringLiteral(" Stand by"));
    h->advance(600); // the reply time-out has emptied the buffer; the clear is still to come

    h->click(button);
    QCOMPARE(h->takeWrites().last(), line(button));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        h->comm->receive(pieces[i]);
        QCOMPARE(h->status(), lines[i]);
    }
}

void TestCommands::statusAfterTheTimeout()
{
    auto h = Harness::started();
    h->click("Command44");
    h->advance(500);
    QCOMPARE(h->rxd(), kMarker);
    QCOMPARE(h->status(), QString());
    h->advance(100);
    h->comm->receive("20\r");
    QCOMPARE(h->rxd(), QStringLiteral(" 2 0 CR "));
    QCOMPARE(h->status(), QStringLiteral(" Cooling down"));
}

void TestCommands::statusClearedASecondAfterTheSend()
{
    auto h = Harness::started();
    h->click("Command44");
    h->advance(30);
    h->comm->receive("00\r");
    h->advance(969);
    QCOMPARE(h->status(), QStringLiteral(" Power ON"));
    h->advance(1);
    QCOMPARE(h->status(), QString());
    QCOMPARE(h->txd(), QString());
    QCOMPARE(h->rxd(), QString());
}

void TestCommands::randomUseSendsOnlyWholeTexts()
{
    const quint32 seed = 20261206;
    QRandomGenerator random(seed);
    QSet<QByteArray> texts;
    for (const QByteArray &b : kSays.keys())
        texts.insert(line(b));

    auto h = Harness::started();
    QList<PanelButton *> buttons = h->form->findChildren<PanelButton *>();
    buttons.removeIf([](PanelButton *b) { return b->objectName() == u"Command16"; }); // END ends the run
    QVERIFY(buttons.size() > 40);
    showAndFocus(*h, buttons.first());

    const Qt::MouseButton mice[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
    const QByteArray chunks[] = {"00\r", "0", "\x06", "81\r", "\r", "ABCDEFGHIJKLMNOPQ\r"};
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {{Qt::Key_J, Qt::ControlModifier}, {Qt::Key_Space, {}}, {Qt::Key_Return, {}}, {Qt::Key_Tab, {}}};

    PanelButton *grab = nullptr; // the press's button gets every mouse event until all are up
    Qt::MouseButtons down;
    int written = 0;
    for (int step = 0; step < 3000; ++step) {
        switch (random.bounded(6)) {
        case 0: {
            const Qt::MouseButton m = mice[random.bounded(3)];
            if (down & m)
                break;
            if (!grab)
                grab = buttons[random.bounded(buttons.size())];
            QTest::mousePress(grab, m);
            down |= m;
            break;
        }
        case 1:
            if (!grab)
                break;
            for (const Qt::MouseButton m : mice)
                if (down & m) {
                    QTest::mouseRelease(grab, m);
                    down &= ~m;
                    break;
                }
            if (!down)
                grab = nullptr;
            break;
        case 2:
            if (!grab)
                QTest::mouseClick(buttons[random.bounded(buttons.size())], Qt::LeftButton);
            break;
        case 3: {
            const auto &k = keys[random.bounded(4)];
            QWidget *focus = QApplication::focusWidget();
            if (focus && focus->objectName() == u"Command16" && k.key != Qt::Key_Tab)
                break;
            QTest::keyClick(focus ? focus : h->form.get(), k.key, k.modifiers);
            break;
        }
        case 4:
            h->comm->receive(chunks[random.bounded(6)]);
            break;
        case 5:
            h->advance(random.bounded(700));
            break;
        }
        for (const QByteArray &w : h->takeWrites()) {
            ++written;
            QVERIFY2(texts.contains(w), qPrintable(QStringLiteral("seed %1, step %2: wrote \"%3\"")
                                                       .arg(seed)
                                                       .arg(step)
                                                       .arg(QString::fromLatin1(w.toPercentEncoding()))));
        }
    }
    for (const Qt::MouseButton m : mice)
        if (grab && (down & m))
            QTest::mouseRelease(grab, m);
    QVERIFY2(written > 500, qPrintable(QStringLiteral("seed %1: only %2 writes").arg(seed).arg(written)));
    QVERIFY(h->warnings.isEmpty());
}

void TestCommands::failedWriteEndsTheHold_data()
{
    QTest::addColumn<bool>("portLost");
    QTest::addColumn<bool>("atResend");
    QTest::newRow("write fails at the press") << false << false;
    QTest::newRow("port lost before the press") << true << false;
    QTest::newRow("write fails at a resend") << false << true;
    QTest::newRow("port lost during the hold") << true << true;
}

void TestCommands::failedWriteEndsTheHold()
{
    QFETCH(bool, portLost);
    QFETCH(bool, atResend);
    const QString message = portLost ? QStringLiteral("The port is not open.") : QStringLiteral("Input/output error");
    auto h = Harness::started();
    const auto fail = [&] {
        if (portLost)
            h->comm->loseDevice();
        else
            h->comm->failWriting(message);
    };

    if (atResend) {
        h->press("Command1");
        QCOMPARE(h->takeWrites(), QByteArrayList{"C09\r"});
        h->advance(100);
        fail();
        h->advance(150);
    } else {
        fail();
        h->press("Command1");
    }
    QCOMPARE(h->warnings, QStringList{message});
    QCOMPARE(h->form->state().RepeatCode, quint8(0));
    QCOMPARE(h->txd(), QString());
    QCOMPARE(h->rxd(), QString());

    // Still held: nothing more is tried or reported.
    h->advance(2000);
    QCOMPARE(h->takeWrites(), QByteArrayList());
    QCOMPARE(h->warnings.size(), 1);

    if (portLost) {
        h->click("Command33");
        QTest::mouseClick(h->control<QRadioButton>("Option1"), Qt::LeftButton);
        QVERIFY(h->comm->portOpen());
    } else {
        h->comm->failWriting(QString());
    }
    // The monitor timing is the normal one again.
    h->click("Command17");
    QCOMPARE(h->takeWrites(), QByteArrayList{"C00\r"});
    h->advance(499);
    QCOMPARE(h->rxd(), QString());
    h->advance(1);
    QCOMPARE(h->rxd(), kMarker);
    h->advance(499);
    QCOMPARE(h->txd(), QStringLiteral(" C 0 0 CR "));
    h->advance(1);
    QCOMPARE(h->txd(), QString());

    h->release("Command1");
    QCOMPARE(h->takeWrites(), QByteArrayList());
    h->press("Command1");
    QCOMPARE(h->takeWrites(), QByteArrayList{"C09\r"});
    h->advance(250);
    QCOMPARE(h->takeWrites(), QByteArrayList{"C09\r"});
    h->release("Command1");
    QCOMPARE(h->warnings.size(), 1);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
