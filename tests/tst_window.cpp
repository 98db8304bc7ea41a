// What the window adds to the core: start-up and END, the controls made from the table and
// wired to the core, the views and Ctrl+J, the port panel with its auto-hide, and the warning
// box; in virtual time on a fake port.
#include "Harness.h"
#include "link/Transfer.h"
#include "panel/Layout.h"
#include "panel/LayoutBuilder.h"
#include "wire/Rendering.h"
#include "wire/Text.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QRadioButton>
#include <QRawFont>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kShowData = QStringLiteral("データを表示する");
const QString kHideData = QStringLiteral("データを表示しない");

std::unique_ptr<Harness> shown()
{
    auto h = Harness::started();
    h->form->show();
    (void)QTest::qWaitForWindowActive(h->form.get());
    return h;
}

// Where the keyboard would send it: to the focused control, or to the window.
void ctrlJ(const Harness &h)
{
    QWidget *target = QApplication::focusWidget();
    QTest::keyClick(target ? target : h.form.get(), Qt::Key_J, Qt::ControlModifier);
}

void choose(const Harness &h, const char *option)
{
    h.click("Command33");
    QTest::mouseClick(h.control<QRadioButton>(option), Qt::LeftButton);
}

// The window's depth with its view button's presence and caption, named.
QString viewOf(const Harness &h)
{
    const PanelButton *b = h.button("Command34");
    const struct
    {
        const char *name;
        int depth;
        bool hidden;
        QString caption;
    } views[] = {{"closed hidden", 4815, true, kShowData},
                 {"full", 6615, false, QStringLiteral("CLOSE")},
                 {"closed shown", 4815, false, kShowData},
                 {"intermediate", 6260, false, kHideData}};
    for (const auto &v : views)
        if (h.form->height() == layout::toPixels(v.depth, h.form->logicalDpiY()) && b->isHidden() == v.hidden
            && b->text() == v.caption)
            return v.name;
    return QStringLiteral("height %1, Command34 hidden %2, \"%3\"")
        .arg(h.form->height())
        .arg(b->isHidden())
        .arg(b->text());
}

void reach(const Harness &h, const QString &view)
{
    if (view != "closed hidden")
        ctrlJ(h);
    for (int clicks = view == "closed shown" ? 1 : view == "intermediate" ? 2 : 0; clicks > 0; --clicks)
        h.click("Command34");
}

// Counts the presses of one key that reach a widget past the application's filters.
struct KeyRecorder : QObject
{
    int key, presses = 0;
    explicit KeyRecorder(int k)
        : key(k)
    {
    }
    bool eventFilter(QObject *, QEvent *e) override
    {
        presses += e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == key;
        return false;
    }
};

// The port, how often it was opened and tried, and the options chosen.
QString portState(const Harness &h)
{
    QString state = QStringLiteral("COM%1 %2 %3, opened %4 of %5:")
                        .arg(h.comm->commPort())
                        .arg(h.comm->openness(), h.comm->settings())
                        .arg(h.comm->opens)
                        .arg(h.comm->attempts);
    for (const char *name : {"Option1", "Option2", "Option3", "Option4"})
        if (h.control<QRadioButton>(name)->isChecked())
            state += QLatin1Char(' ') + QLatin1StringView(name);
    return state;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The offscreen platform says so at every change of the window's depth.
        static QtMessageHandler next =
            qInstallMessageHandler([](QtMsgType t, const QMessageLogContext &c, const QString &s) {
                if (s != QLatin1StringView("This plugin does not support propagateSizeHints()"))
                    next(t, c, s);
            });
    }

    void lifeCycle_data()
    {
        // Each port opens (empty), fails with a message, or does either "later", as a gateway does.
        QTest::addColumn<QString>("com1");
        QTest::addColumn<QString>("com2");
        QTest::addColumn<QString>("port");
        // One attempt at COM1, and one at COM2 if it fails; one box at most. When both fail, the
        // option shown is the port the next box names.
        // clang-format off
        QTest::newRow("COM1 there") << "" << "" << "COM1 open 19200,N,8,1, opened 1 of 1: Option1 Option3";
        QTest::newRow("COM1 missing") << "No such file or directory" << "" << "COM2 open 19200,N,8,1, opened 1 of 2: Option2 Option3";
        QTest::newRow("both missing") << "No such file or directory" << "Permission denied" << "COM1 closed 19200,N,8,1, opened 0 of 2: Option1 Option3";
        QTest::newRow("COM1 connects") << "later" << "" << "COM1 open 19200,N,8,1, opened 1 of 1: Option1 Option3";
        QTest::newRow("COM1 times out, COM2 connects") << "later Connection timed out" << "later" << "COM2 open 19200,N,8,1, opened 1 of 2: Option2 Option3";
        QTest::newRow("COM1 times out, COM2 missing") << "later Connection timed out" << "No such file or directory" << "COM1 closed 19200,N,8,1, opened 0 of 2: Option1 Option3";
        // clang-format on
    }

    void lifeCycle()
    {
        QFETCH(QString, com1);
        QFETCH(QString, com2);
        QFETCH(QString, port);
        const auto failure = [](const QString &how) { return how.startsWith(u"later") ? how.mid(6) : how; };
        Harness h;
        for (const auto &[n, how] : {std::pair{1, com1}, std::pair{2, com2}}) {
            h.comm->delayOpening(n, how.startsWith(u"later"));
            h.comm->failOpening(n, failure(how));
        }
        h.start();
        h.form->show();
        while (h.comm->portOpening())
            h.comm->finishOpening();
        const QStringList warnings =
            failure(com1).isEmpty() ? QStringList() : QStringList{"COM1 (/nonexistent/tolvek-com1): " + failure(com1)};
        QCOMPARE(h.warnings, warnings);
        QCOMPARE(portState(h), port);
        QVERIFY(h.control("Frame8")->isHidden());
        QCOMPARE(viewOf(h), "closed hidden");
        h.advance(20000);
        QCOMPARE(h.takeWrites(), QByteArrayList());

        // The chosen option clicked again runs its choice again, which retries.
        for (const int n : {1, 2}) {
            h.comm->failOpening(n, QString());
            h.comm->delayOpening(n, false);
        }
        choose(h, h.control<QRadioButton>("Option1")->isChecked() ? "Option1" : "Option2");
        QVERIFY(h.comm->portOpen());

        // END. Were any timer left running, its tick would reach a port that is open again.
        QSignalSpy ended(h.form.get(), &Form1::ended);
        h.press("Command1");
        h.advance(100);
        QVERIFY(!h.takeWrites().isEmpty());
        h.click("Command16");
        QVERIFY(!h.comm->portOpen());
        QVERIFY(!h.form->isVisible());
        QCOMPARE(ended.size(), 1);
        const QString txd = h.txd();
        QVERIFY(!h.comm->setPortOpen(true));
        h.advance(3000);
        QCOMPARE(h.takeWrites(), QByteArrayList());
        QCOMPARE(h.txd(), txd);
    }

    // While a gateway connects the window is all there: the views, the port panel, a send
    // refused with its box. A failure met while a box is up is told once that box is closed.
    void whileConnecting()
    {
        Harness h;
        h.comm->delayOpening(1);
        h.start();
        ctrlJ(h);
        QCOMPARE(viewOf(h), "full");
        choose(h, "Option1"); // chosen again, the connection goes on
        QVERIFY(!h.control("Frame8")->isHidden());
        QCOMPARE(portState(h), "COM1 opening 19200,N,8,1, opened 0 of 1: Option1 Option3");
        h.comm->failOpening(1, QStringLiteral("Connection timed out"));
        h.whileWarning = [&] { h.comm->finishOpening(); };
        h.click("Command17");
        const QString com1 = QStringLiteral("COM1 (/nonexistent/tolvek-com1): ");
        QCOMPARE(h.warnings,
                 (QStringList{com1 + "The port is not open yet: its connection is under way.",
                              com1 + "Connection timed out"}));
        QCOMPARE(h.boxesUp, 1);
        QCOMPARE(portState(h), "COM2 open 19200,N,8,1, opened 1 of 2: Option2 Option3");
        QCOMPARE(h.takeWrites(), QByteArrayList());
    }

    // END, or a signal (which closes the window), while a box is up: the fallback or the choice
    // under way opens nothing afterwards.
    void nothingOpensOnceEnded_data()
    {
        QTest::addColumn<QString>("during");
        QTest::addColumn<int>("attempts");
        QTest::newRow("the start-up box") << "start-up" << 1;
        QTest::newRow("a port change's box") << "change" << 2;
    }

    void nothingOpensOnceEnded()
    {
        QFETCH(QString, during);
        QFETCH(int, attempts);
        Harness h;
        h.whileWarning = [&] { h.form->close(); };
        h.comm->failOpening(during == u"start-up" ? 1 : 2, QStringLiteral("No such file or directory"));
        h.start();
        if (during == u"change")
            choose(h, "Option2");
        QVERIFY(!h.comm->portOpen() && !h.comm->portOpening());
        QCOMPARE(h.comm->attempts, attempts);
    }

    // Tab stops on every button and the chosen option of each group, in order, but not on what
    // the closed view cuts off (its view button aside, the keyboard's way to open it).
    void tabOrder_data()
    {
        QTest::addColumn<QString>("view");
        for (const char *view : {"full", "intermediate", "closed shown"})
            QTest::newRow(view) << view;
    }

    void tabOrder()
    {
        QFETCH(QString, view);
        auto h = shown();
        h->click("Command33");
        reach(*h, view);
        const QStringList cutOff{"Command44", "Command45", "Command46", "Command47", "Command52", "Command56"};
        std::map<int, QString> stops;
        for (const layout::Control &c : layout::kControls)
            if ((c.kind == layout::Kind::Button || c.name == "Option1" || c.name == "Option3")
                && !(view.startsWith("closed") && cutOff.contains(qstring(c.name))))
                stops[c.tab] = qstring(c.name);
        h->control(qPrintable(stops.begin()->second))->setFocus();
        for (const auto &[tab, name] : stops) {
            QWidget *focus = QApplication::focusWidget();
            QCOMPARE(focus ? focus->objectName() : QString(), name);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget()->objectName(), stops.begin()->second);
    }

    // The Japanese captions in a font that has their glyphs; the options on their grey. The
    // control the keyboard moves the focus to wears a frame plain on any face: at least its
    // outline's worth of pixels stand far from what is there without the focus.
    void drawing()
    {
        auto h = shown();
        const QRawFont raw = QRawFont::fromFont(h->button("Command34")->font());
        for (QChar c : kShowData + kHideData)
            QVERIFY2(raw.supportsCharacter(c), qPrintable(QStringLiteral("%1 lacks %2").arg(raw.familyName(), c)));
        h->click("Command33");
        const QImage image = h->control("Option1")->grab().toImage();
        QCOMPARE(image.pixelColor(image.width() - 4, image.height() / 2), QColor(192, 192, 192));
        for (const char *name : {"Command1", "Command13", "Option1"}) {
            QWidget *w = h->control(name);
            const QImage without = w->grab().toImage();
            w->setFocus();
            QTest::keyClick(w, Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            const QImage with = w->grab().toImage();
            int plain = 0;
            for (int y = 0; y < with.height(); ++y)
                for (int x = 0; x < with.width(); ++x)
                    plain += qAbs(qGray(with.pixel(x, y)) - qGray(without.pixel(x, y))) >= 96;
            QVERIFY2(w->hasFocus() && plain >= 2 * (with.width() + with.height()), name);
        }
    }

    // Ctrl+J from any focus, the view button by mouse and keyboard, and what each view then
    // shows. A key always goes on to the control with the focus, once.
    void views_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("focus"); // empty: nothing has the focus
        QTest::addColumn<QString>("keys");  // empty: a click on the view button
        QTest::addColumn<QString>("to");
        // clang-format off
        QTest::newRow("closed hidden, Ctrl+J, no focus") << "closed hidden" << "" << "Ctrl+J" << "full";
        QTest::newRow("closed hidden, Ctrl+J on Command17") << "closed hidden" << "Command17" << "Ctrl+J" << "full";
        QTest::newRow("closed hidden, J") << "closed hidden" << "Command17" << "J" << "closed hidden";
        QTest::newRow("closed hidden, Ctrl+Shift+J") << "closed hidden" << "Command17" << "Ctrl+Shift+J" << "closed hidden";
        QTest::newRow("full, Ctrl+J") << "full" << "Command34" << "Ctrl+J" << "full";
        QTest::newRow("intermediate, Ctrl+J") << "intermediate" << "Command34" << "Ctrl+J" << "full";
        QTest::newRow("full, click") << "full" << "" << "" << "closed shown";
        QTest::newRow("intermediate, click") << "intermediate" << "" << "" << "closed shown";
        QTest::newRow("closed shown, Space") << "closed shown" << "Command34" << "Space" << "intermediate";
        QTest::newRow("closed shown, keypad Enter") << "closed shown" << "Command34" << "Num+Enter" << "intermediate";
        // clang-format on
    }

    void views()
    {
        QFETCH(QString, from);
        QFETCH(QString, focus);
        QFETCH(QString, keys);
        QFETCH(QString, to);
        auto h = shown();
        h->click("Command33");
        reach(*h, from);
        QCOMPARE(viewOf(*h), from);
        if (QWidget *w = QApplication::focusWidget())
            w->clearFocus();
        QWidget *target = focus.isEmpty() ? h->form.get() : h->control(qPrintable(focus));
        if (!focus.isEmpty())
            target->setFocus();
        QCOMPARE(QApplication::focusWidget(), focus.isEmpty() ? nullptr : target);
        const QKeyCombination key = QKeySequence(keys)[0];
        KeyRecorder recorder(key.key());
        target->installEventFilter(&recorder);
        if (keys.isEmpty())
            h->click("Command34");
        else
            QTest::keyClick(target, key.key(), key.keyboardModifiers());
        QCOMPARE(recorder.presses, int(!keys.isEmpty()));
        QCOMPARE(viewOf(*h), to);
        QCOMPARE(h->takeWrites(), QByteArrayList());

        // The upper panel always shows whole, down to the port panel's lower edge. Of the monitor
        // area the closed depth shows nothing, the full all, the intermediate all but its last row.
        const QStringList monitor{"Frame9", "Command34", "Command44", "Command45", "Command46", "Command47"};
        const QStringList lastRow{"Frame15", "Command52", "Command56"};
        const int bottom = h->form->height();
        int upperBottom = 0;
        for (QWidget *w : h->form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            const QString name = w->objectName();
            const QRect r = w->geometry();
            if (!monitor.contains(name) && !lastRow.contains(name))
                upperBottom = std::max(upperBottom, r.bottom());
            else if (to.startsWith("closed"))
                QVERIFY2(r.top() >= bottom, qPrintable(name));
            else if (to == "full" || monitor.contains(name))
                QVERIFY2(r.bottom() < bottom, qPrintable(name));
            else if (name == "Frame15")
                QVERIFY2(r.top() < bottom && r.bottom() >= bottom, "Frame15 is not cut");
        }
        QCOMPARE(upperBottom, h->control("Frame8")->geometry().bottom());
        QVERIFY2(upperBottom < bottom, qPrintable(QString::number(upperBottom)));
    }

    // "COM" at 0 ms: the port panel covers it until it hides itself. The view button restarts
    // the wait, a port that fails to open does not; afterwards COM1 opens again.
    void portPanel_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<QString>("click"); // at that time
        QTest::addColumn<int>("hiddenAt");
        QTest::addColumn<QString>("port"); // once the click is done
        const QString untouched = QStringLiteral("COM1 open 19200,N,8,1, opened 1 of 1: Option1 Option3");
        QTest::newRow("untouched") << 0 << "" << 5000 << untouched;
        QTest::newRow("view button at 3000") << 3000 << "Command34" << 8000 << untouched;
        QTest::newRow("9600 at 1000") << 1000 << "Option4" << 1000
                                      << "COM1 open 9600,N,8,1, opened 1 of 1: Option1 Option4";
        // A missing COM2 leaves the panel on COM1, open again.
        QTest::newRow("missing COM2 at 1000")
            << 1000 << "Option2" << 5000 << "COM1 open 19200,N,8,1, opened 2 of 3: Option1 Option3";
    }

    void portPanel()
    {
        QFETCH(int, at);
        QFETCH(QString, click);
        QFETCH(int, hiddenAt);
        QFETCH(QString, port);
        auto h = Harness::started();
        h->comm->failOpening(2, QStringLiteral("COM2 is not there"));
        ctrlJ(*h);
        QWidget *frame8 = h->control("Frame8");
        const QPoint com = h->button("Command33")->geometry().center();
        h->click("Command33");
        QWidget *top = h->form->childAt(com);
        QVERIFY2(top == frame8 || frame8->isAncestorOf(top), qPrintable(top ? top->objectName() : QString()));
        h->advance(at);
        if (!click.isEmpty())
            QTest::mouseClick(h->control(qPrintable(click)), Qt::LeftButton);
        const bool failed = click == "Option2";
        QCOMPARE(h->warnings,
                 failed ? QStringList{"COM2 (/nonexistent/tolvek-com2): COM2 is not there"} : QStringList());
        QCOMPARE(portState(*h), port);
        if (hiddenAt > at) {
            h->advance(hiddenAt - at - 1);
            QVERIFY(!frame8->isHidden());
            h->advance(1);
        }
        QVERIFY(frame8->isHidden());
        choose(*h, "Option1");
        QVERIFY(portState(*h).startsWith("COM1 open"));
        QCOMPARE(h->warnings.size(), int(failed));
    }

    // Each button reaches the core the way its kind is used: one-shots by the platform's click
    // (left button, Space, Enter), holds by the left, right or middle button's press, or Space's,
    // sent before the button is painted down, and release, wherever the pointer went meanwhile;
    // the keyboard's repeat does neither, and a screen reader's Press is a short click.
    void buttons_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("down"); // drawn pressed while the mouse button is down
        QTest::addColumn<QByteArrayList>("sent");
        const QByteArrayList on{"C00\r"}, none, vol(4, "C09\r");
        QTest::newRow("one-shot left") << QByteArray("Command17") << "left" << true << on;
        QTest::newRow("one-shot double click")
            << QByteArray("Command17") << "double" << true << QByteArrayList(2, "C00\r");
        QTest::newRow("one-shot Space") << QByteArray("Command17") << "space" << false << on;
        QTest::newRow("one-shot keypad Enter") << QByteArray("Command17") << "keypad enter" << false << on;
        QTest::newRow("one-shot right") << QByteArray("Command17") << "right" << false << none;
        QTest::newRow("query middle") << QByteArray("Command44") << "middle" << false << none;
        QTest::newRow("query left") << QByteArray("Command44") << "left" << true << QByteArrayList{"CR0\r"};
        QTest::newRow("hold, a screen reader's Press")
            << QByteArray("Command1") << "press action" << false << QByteArrayList{"C09\r"};
        QTest::newRow("hold left") << QByteArray("Command1") << "left" << true << vol;
        QTest::newRow("hold right") << QByteArray("Command1") << "right" << true << vol;
        QTest::newRow("hold middle, dragged off") << QByteArray("Command1") << "drag" << true << vol;
        QTest::newRow("hold back") << QByteArray("Command1") << "back" << false << none;
    }

    void buttons()
    {
        QFETCH(QByteArray, button);
        QFETCH(QString, how);
        QFETCH(bool, down);
        QFETCH(QByteArrayList, sent);
        auto h = shown();
        PanelButton *b = h->button(button);
        struct WritesAtPaint : QObject
        {
            FakeCommControl *comm;
            QList<qsizetype> seen;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint)
                    seen.append(comm->writes.size());
                return false;
            }
        } paints;
        paints.comm = h->comm;
        b->installEventFilter(&paints);
        if (how == u"space" || how == u"keypad enter") {
            b->setFocus();
            QTest::keyClick(b, how == u"space" ? Qt::Key_Space : Qt::Key_Enter,
                            how == u"space" ? Qt::NoModifier : Qt::KeypadModifier);
            h->advance(20); // the keyboard's repeat might yet come
        } else if (how == u"press action") {
            QAccessible::queryAccessibleInterface(b)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
        } else {
            const QMap<QString, Qt::MouseButton> mice{{"right", Qt::RightButton},
                                                      {"drag", Qt::MiddleButton},
                                                      {"middle", Qt::MiddleButton},
                                                      {"back", Qt::BackButton}};
            const Qt::MouseButton mouse = mice.value(how, Qt::LeftButton);
            QTest::mousePress(b, mouse);
            QApplication::processEvents(); // a paint asked for rather than done at once comes now
            QCOMPARE(b->isDown(), down);
            if (down) // what a press sends is on the line before the button looks pressed
                QCOMPARE(paints.seen.value(0), isHold(button) ? 1 : 0);
            QPoint at = b->rect().center();
            if (how == u"drag")
                QTest::mouseMove(b, at = QPoint(-40, b->height() * 3));
            if (isHold(button))
                h->advance(800);
            QTest::mouseRelease(b, mouse, {}, at); // it reaches the pressed button wherever the pointer is
            if (how == u"double") {
                QTest::mouseDClick(b, mouse);
                QTest::mouseRelease(b, mouse);
            }
        }
        QVERIFY(!b->isDown());
        QCOMPARE(h->takeWrites(), sent);
        h->advance(2000); // nothing is left running that sends
        QCOMPARE(h->takeWrites(), QByteArrayList());
    }

    // Space holds a hold button as the left mouse button does. The keyboard's repeat, every 40 ms
    // here, neither presses nor releases it, whether the platform marks it as a repeat or not; and
    // a release just before a repeat is due stops that repeat, as a mouse release would.
    void spaceHolds_data()
    {
        QTest::addColumn<bool>("marked");    // the repeat's pairs marked as a repeat
        QTest::addColumn<int>("releasedAt"); // negative: the focus moves away then instead
        QTest::addColumn<int>("sends");
        QTest::newRow("repeats marked") << true << 800 << 4;
        QTest::newRow("repeats unmarked") << false << 800 << 4;
        QTest::newRow("let go 10 ms before a repeat") << false << 740 << 3;
        QTest::newRow("focus lost at 300 ms") << true << -300 << 2;
    }

    void spaceHolds()
    {
        QFETCH(bool, marked);
        QFETCH(int, releasedAt);
        QFETCH(int, sends);
        auto h = shown();
        PanelButton *b = h->button("Command1");
        b->setFocus();
        const auto space = [b](QEvent::Type type, bool repeat, int at) {
            QKeyEvent key(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), repeat);
            key.setTimestamp(at);
            QApplication::sendEvent(b, &key);
        };
        space(QEvent::KeyPress, false, 0);
        QVERIFY(b->isDown());
        const int end = std::abs(releasedAt);
        int now = 0;
        for (; now + 40 < end; now += 40) {
            h->advance(40);
            space(QEvent::KeyRelease, marked, now + 40);
            space(QEvent::KeyPress, marked, now + 40);
        }
        h->advance(end - now);
        if (releasedAt < 0)
            h->button("Command17")->setFocus();
        else
            space(QEvent::KeyRelease, false, end);
        h->advance(2000);
        QCOMPARE(h->takeWrites(), QByteArrayList(sends, "C09\r"));
        QVERIFY(!b->isDown());
    }

    // The monitor lines show what the core says; RXD follows a buffer that never stops filling.
    void monitorLines()
    {
        auto h = Harness::started();
        h->click("Command44");
        QCOMPARE(h->txd(), QStringLiteral(" C R 0 CR "));
        h->comm->receive("00\r");
        QCOMPARE(h->status(), QStringLiteral(" Power ON"));
        h->advance(1000);
        QCOMPARE(h->status(), QString());
        QByteArray stream;
        for (int i = 0; i < 3 * ReceivedBytes::kCapacity; ++i)
            stream.append(char((i * 13) % 256));
        qsizetype at = 0;
        for (int round = 1; at < stream.size(); ++round) {
            const qsizetype n = std::min<qsizetype>(1 + (round * 37) % 600, stream.size() - at);
            h->comm->receive(stream.sliced(at, n));
            at += n;
            if (round % 50 == 0) {
                QCOMPARE(h->rxd(), tolvek::render(h->form->transfer().state().ReceiveBuffer.bytes()));
                h->advance(1000); // the clear blanks RXD; the buffer stays, nothing was sent
            }
        }
        QCOMPARE(h->rxd(), tolvek::render(QByteArrayView(stream).last(ReceivedBytes::kCapacity)));
        stream += "end"; // one read past the bound keeps its newest bytes too
        h->comm->receive(stream);
        QCOMPARE(h->rxd(), tolvek::render(QByteArrayView(stream).last(ReceivedBytes::kCapacity)));
    }

    // Every failure the core reports reaches the warning box, but never a box on a box: a held
    // button's repeat that fails while a box is up shows none, and a port change ends the hold
    // before it closes the port. A hold that fails is drawn up at once: its release goes to the box.
    void failuresAreShownOneBoxAtATime()
    {
        auto h = Harness::started();
        PanelButton *vol = h->button("Command1");
        const QString failed = QStringLiteral("COM1 (/nonexistent/tolvek-com1): Input/output error");
        h->comm->failWriting(QStringLiteral("Input/output error"));
        h->click("Command17");
        h->press("Command1");
        QVERIFY(!vol->isDown());
        h->release("Command1");
        vol->setFocus();
        QTest::keyPress(vol, Qt::Key_Space);
        QVERIFY(!vol->isDown());
        h->comm->failWriting(QString());
        h->press("Command1");
        h->comm->failWriting(QStringLiteral("Input/output error"));
        h->advance(1000); // the first resend fails and ends the hold
        QVERIFY(!vol->isDown());
        h->release("Command1");
        QCOMPARE(h->warnings, QStringList(4, failed));

        h->comm->failWriting(QString());
        quint8 heldDuringBox = 0;
        h->whileWarning = [&] {
            heldDuringBox = std::max(heldDuringBox, h->form->repeater().state().RepeatCode);
            h->advance(1000);
        };
        h->comm->failOpening(2, QStringLiteral("No such file or directory"));
        h->press("Command1");
        choose(*h, "Option2");
        h->release("Command1");
        QCOMPARE(heldDuringBox, quint8(0));
        QCOMPARE(h->warnings.size(), 5);
        // Choosing the port that is open keeps the line, and the hold on it.
        h->press("Command1");
        choose(*h, "Option1");
        QVERIFY(h->form->repeater().state().RepeatCode != 0);
        h->release("Command1");

        h->press("Command1");
        h->comm->failWriting(QStringLiteral("Input/output error"));
        h->click("Command17");
        h->release("Command1");
        QCOMPARE(h->boxesUp, 1);
        QCOMPARE(h->warnings.size(), 6);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
