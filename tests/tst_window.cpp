// The window: start-up and END, what each depth shows, focus and tab order, the Ctrl+J view,
// and the port panel, in virtual time on a fake port.
#include "Harness.h"
#include "panel/Layout.h"
#include "panel/LayoutBuilder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRadioButton>
#include <QRawFont>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kShowData = QStringLiteral("データを表示する");
const QString kHideData = QStringLiteral("データを表示しない");
const QString kClose = QStringLiteral("CLOSE");

// The client-area depths in twips.
constexpr int kClosed = 4815;
constexpr int kIntermediate = 6260;
constexpr int kFull = 6615;

enum class View { ClosedHidden, Full, ClosedShown, Intermediate };

int px(const Harness &h, int twips)
{
    return layout::toPixels(twips, h.form->logicalDpiY());
}

QRect inWindow(const QWidget *w)
{
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

std::unique_ptr<Harness> shown()
{
    auto h = Harness::started();
    h->form->show();
    if (!QTest::qWaitForWindowActive(h->form.get()))
        qWarning("the window did not become active");
    return h;
}

// Sends the key where the keyboard would: to the focused control, or to the window.
void key(const Harness &h, Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget();
    QTest::keyClick(target ? target : h.form.get(), k, modifiers);
}

void ctrlJ(const Harness &h)
{
    key(h, Qt::Key_J, Qt::ControlModifier);
}

void activateCommand34(const Harness &h, Qt::Key k)
{
    h.button("Command34")->setFocus();
    QCOMPARE(QApplication::focusWidget(), h.button("Command34"));
    key(h, k);
}

void reach(const Harness &h, View view)
{
    if (view == View::ClosedHidden)
        return;
    ctrlJ(h);
    if (view == View::Full)
        return;
    h.click("Command34");
    if (view == View::ClosedShown)
        return;
    activateCommand34(h, Qt::Key_Space);
}

QString describe(const Harness &h)
{
    const PanelButton *b = h.button("Command34");
    return QStringLiteral("height %1, Command34 %2 \"%3\"")
        .arg(h.form->height())
        .arg(b->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown"))
        .arg(b->text());
}

bool isIn(const Harness &h, View view)
{
    const PanelButton *b = h.button("Command34");
    switch (view) {
    case View::ClosedHidden:
        return h.form->height() == px(h, kClosed) && b->isHidden() && b->text() == kShowData;
    case View::Full:
        return h.form->height() == px(h, kFull) && !b->isHidden() && b->text() == kClose;
    case View::ClosedShown:
        return h.form->height() == px(h, kClosed) && !b->isHidden() && b->text() == kShowData;
    case View::Intermediate:
        return h.form->height() == px(h, kIntermediate) && !b->isHidden() && b->text() == kHideData;
    }
    return false;
}

// Counts the presses of J that reach a widget past the application's filters.
class KeyRecorder : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        presses += event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_J;
        return false;
    }
};

bool checked(const Harness &h, const char *option)
{
    return h.control<QRadioButton>(option)->isChecked();
}

} // namespace

Q_DECLARE_METATYPE(View)

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void startUp();
    void startUpWithoutCom1();
    void endStopsEverything();

    void depths_data();
    void depths();
    void tabOrderSkipsLabelsAndFrames();
    void japaneseCaptionsHaveGlyphs();
    void groundColours_data();
    void groundColours();

    void ctrlJFromAnyFocus_data();
    void ctrlJFromAnyFocus();
    void otherKeysDoNothing_data();
    void otherKeysDoNothing();
    void viewTransitions_data();
    void viewTransitions();

    void optionGroupsAreIndependent_data();
    void optionGroupsAreIndependent();
    void portPanelCoversCom();
    void portPanelHidesItself_data();
    void portPanelHidesItself();
    void missingPortFallsBack();
    void speedChangeKeepsThePortOpen();
};

QtMessageHandler g_testLog = nullptr;

void TestWindow::initTestCase()
{
    // The offscreen platform says so at every change of the window's depth.
    g_testLog = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (text != QLatin1StringView("This plugin does not support propagateSizeHints()"))
            g_testLog(type, context, text);
    });
}

void TestWindow::startUp()
{
    Harness h;
    h.start();
    const PanelState &s = h.form->state();
    QCOMPARE(s.RepeatCode, quint8(0));
    QCOMPARE(s.AwaitingReply, quint8(0));
    QCOMPARE(s.ArrowMode, quint8(0));
    QVERIFY(s.OutgoingCommand.isEmpty());
    QVERIFY(s.ReceiveBuffer.isEmpty());
    QCOMPARE(s.LineSettings, QStringLiteral("19200,N,8,1"));
    QCOMPARE(h.form->windowTitle(), QStringLiteral("TOLVEK   RV 5 & LT 8   CONTROL  Ver.1.31"));

    QVERIFY(checked(h, "Option1"));
    QVERIFY(!checked(h, "Option2"));
    QVERIFY(checked(h, "Option3"));
    QVERIFY(!checked(h, "Option4"));
    QVERIFY(h.control("Frame8")->isHidden());
    QVERIFY2(isIn(h, View::ClosedHidden), qPrintable(describe(h)));

    // Opened by start-up and once more by the COM1 choice, which runs exactly once.
    QVERIFY(h.comm->portOpen());
    QCOMPARE(h.comm->commPort(), 1);
    QCOMPARE(h.comm->settings(), QStringLiteral("19200,N,8,1"));
    QCOMPARE(h.comm->opens, 2);
    QCOMPARE(h.comm->settingsHistory, QStringList{QStringLiteral("19200,N,8,1")});
    QVERIFY(h.warnings.isEmpty());

    // Nothing runs by itself.
    h.advance(20000);
    QVERIFY(h.comm->writes.isEmpty());
    QCOMPARE(h.txd(), QString());
    QCOMPARE(h.rxd(), QString());
    QCOMPARE(h.form->state().AwaitingReply, quint8(0));
}

void TestWindow::startUpWithoutCom1()
{
    Harness h;
    h.comm->failOpening(1, QStringLiteral("No such file or directory"));
    h.start();
    QCOMPARE(h.warnings, QStringList{QStringLiteral("No such file or directory")});
    QVERIFY(!h.comm->portOpen());
    QCOMPARE(h.comm->commPort(), 2);
    QVERIFY(checked(h, "Option1"));
    QVERIFY(checked(h, "Option3"));

    // Clicking COM1 again, still missing: one more warning, nothing else.
    h.click("Command33");
    QTest::mouseClick(h.control<QRadioButton>("Option1"), Qt::LeftButton);
    QCOMPARE(h.warnings.size(), 2);
    QVERIFY(!h.comm->portOpen());
    QCOMPARE(h.comm->commPort(), 2);
    QVERIFY(!h.control("Frame8")->isHidden());

    // Plugged in: the same option retries and now opens.
    h.comm->failOpening(1, QString());
    QTest::mouseClick(h.control<QRadioButton>("Option1"), Qt::LeftButton);
    QCOMPARE(h.warnings.size(), 2);
    QVERIFY(h.comm->portOpen());
    QCOMPARE(h.comm->commPort(), 1);
    QCOMPARE(h.comm->opens, 1);
    QVERIFY(h.control("Frame8")->isHidden());
}

void TestWindow::endStopsEverything()
{
    auto h = shown();
    QSignalSpy ended(h->form.get(), &Form1::ended);
    h->press("Command1");
    h->advance(100);
    QVERIFY(!h->takeWrites().isEmpty());
    h->click("Command16");
    QVERIFY(!h->comm->portOpen());
    QVERIFY(!h->form->isVisible());
    QCOMPARE(ended.size(), 1);

    // Were any timer left running, its tick would now reach a port that is open again.
    const QString txd = h->txd();
    QVERIFY(!h->comm->setPortOpen(true));
    h->advance(3000);
    QCOMPARE(h->takeWrites(), QByteArrayList());
    QCOMPARE(h->txd(), txd);
    QVERIFY(h->warnings.isEmpty());
}

// Which controls each depth shows whole, which it cuts and which it leaves out entirely.
void TestWindow::depths_data()
{
    QTest::addColumn<View>("view");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QStringList>("whole");
    QTest::addColumn<QStringList>("cut");

    const QStringList monitor{"Frame9", "Command34", "Command44", "Command45", "Command46", "Command47",
                              "Frame15", "Command52", "Command56"};
    QTest::newRow("closed") << View::ClosedShown << kClosed << QStringList() << QStringList();
    QTest::newRow("intermediate") << View::Intermediate << kIntermediate
                                  << QStringList{"Frame9", "Label11", "Label12", "Command34", "Command44",
                                                 "Command45", "Command46", "Command47"}
                                  << QStringList{"Frame15", "Label25", "Command52", "Command56"};
    QTest::newRow("full") << View::Full << kFull << monitor + QStringList{"Label11", "Label12", "Label25"}
                          << QStringList();
}

void TestWindow::depths()
{
    QFETCH(View, view);
    QFETCH(int, depth);
    QFETCH(QStringList, whole);
    QFETCH(QStringList, cut);

    auto h = shown();
    reach(*h, view);
    QVERIFY2(isIn(*h, view), qPrintable(describe(*h)));
    const int bottom = h->form->height();
    QCOMPARE(bottom, px(*h, depth));

    // The upper panel always shows whole, down to the port panel's lower edge.
    const QRect frame8 = inWindow(h->control("Frame8"));
    const QStringList monitor{"Frame9", "Command34", "Command44", "Command45", "Command46", "Command47",
                              "Frame15", "Command52", "Command56"};
    int upperBottom = 0;
    int monitorTop = INT_MAX;
    for (QWidget *w : h->form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QRect r = inWindow(w);
        if (monitor.contains(w->objectName()))
            monitorTop = std::min(monitorTop, r.top());
        else
            upperBottom = std::max(upperBottom, r.bottom());
    }
    QCOMPARE(upperBottom, frame8.bottom());
    QVERIFY2(frame8.bottom() < bottom, qPrintable(QString::number(frame8.bottom())));
    if (view == View::ClosedShown)
        QVERIFY2(monitorTop >= bottom, qPrintable(QStringLiteral("monitor from %1 of %2").arg(monitorTop).arg(bottom)));

    for (const QString &name : whole) {
        const QRect r = inWindow(h->control(name.toLatin1().constData()));
        QVERIFY2(r.bottom() < bottom, qPrintable(name));
    }
    for (const QString &name : cut) {
        const QRect r = inWindow(h->control(name.toLatin1().constData()));
        QVERIFY2(r.top() < bottom && r.bottom() >= bottom, qPrintable(name));
    }
}

void TestWindow::tabOrderSkipsLabelsAndFrames()
{
    auto h = shown();
    h->click("Command33");
    ctrlJ(*h);

    std::vector<std::pair<int, QString>> numbered;
    for (const layout::Control &c : layout::kControls)
        if (c.kind == layout::Kind::Button || c.kind == layout::Kind::Option)
            numbered.emplace_back(c.tab, QString::fromUtf8(c.name.data(), qsizetype(c.name.size())));
    std::sort(numbered.begin(), numbered.end());
    QStringList order;
    for (const auto &e : numbered)
        order << e.second;

    // The chain holds every button and option in order, and nothing else that takes the focus.
    QStringList chain;
    for (QWidget *w = h->button("Command17");; w = w->nextInFocusChain()) {
        if (w->focusPolicy() != Qt::NoFocus)
            chain << w->objectName();
        if (w->nextInFocusChain() == h->button("Command17"))
            break;
    }
    chain.removeAll(QString()); // the window itself
    QCOMPARE(chain, order);

    // Tab stops at the chosen option of a group only; the arrow keys move within it.
    QStringList stops = order;
    stops.removeAll("Option2");
    stops.removeAll("Option4");
    h->button("Command17")->setFocus();
    QStringList visited;
    for (qsizetype i = 0; i < stops.size(); ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        visited << focus->objectName();
        key(*h, Qt::Key_Tab);
    }
    QCOMPARE(visited, stops);
    QCOMPARE(QApplication::focusWidget(), h->button("Command17"));
    QCOMPARE(visited.mid(visited.indexOf("Command34"), 2), (QStringList{"Command34", "Command40"}));

    key(*h, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Option3"));
    QCOMPARE(h->takeWrites(), QByteArrayList());
}

void TestWindow::japaneseCaptionsHaveGlyphs()
{
    auto h = Harness::started();
    const PanelButton *b = h->button("Command34");
    const QRawFont raw = QRawFont::fromFont(b->font());
    QVERIFY(raw.isValid());
    for (const QString &caption : {kShowData, kHideData})
        for (QChar c : caption)
            QVERIFY2(raw.supportsCharacter(c), qPrintable(QStringLiteral("%1 lacks %2").arg(raw.familyName(), c)));
}

// The ground beside the caption, as drawn.
void TestWindow::groundColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("ground");
    const QColor grey(192, 192, 192);
    QTest::newRow("Option1") << "Option1" << grey;
    QTest::newRow("Option4") << "Option4" << grey;
    QTest::newRow("Label1") << "Label1" << grey;
    QTest::newRow("Label11") << "Label11" << QColor(255, 255, 255);
}

void TestWindow::groundColours()
{
    QFETCH(QString, name);
    QFETCH(QColor, ground);
    auto h = shown();
    h->click("Command33");
    ctrlJ(*h);
    QWidget *w = h->control(name.toLatin1().constData());
    const QImage image = w->grab().toImage();
    QCOMPARE(image.pixelColor(image.width() - 4, image.height() / 2), ground);
}

void TestWindow::ctrlJFromAnyFocus_data()
{
    QTest::addColumn<QString>("focus"); // empty: nothing has the focus
    QTest::newRow("nothing") << QString();
    for (const char *name : {"Command17", "Command5", "Command1", "Command33", "Command16", "Option2", "Option4"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestWindow::ctrlJFromAnyFocus()
{
    QFETCH(QString, focus);
    auto h = shown();
    h->click("Command33");
    QWidget *target = h->form.get();
    if (focus.isEmpty()) {
        if (QWidget *w = QApplication::focusWidget())
            w->clearFocus();
        QCOMPARE(QApplication::focusWidget(), nullptr);
    } else {
        target = h->control(focus.toLatin1().constData());
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);
    }
    KeyRecorder recorder;
    target->installEventFilter(&recorder);

    ctrlJ(*h);
    QVERIFY2(isIn(*h, View::Full), qPrintable(describe(*h)));
    QCOMPARE(recorder.presses, 1);
    QCOMPARE(h->takeWrites(), QByteArrayList());
    QCOMPARE(h->comm->opens, 2);
    QCOMPARE(h->comm->settingsHistory.size(), 1);
}

void TestWindow::otherKeysDoNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("J") << int(Qt::Key_J) << Qt::KeyboardModifiers();
    QTest::newRow("Shift+J") << int(Qt::Key_J) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Alt+J") << int(Qt::Key_J) << Qt::KeyboardModifiers(Qt::AltModifier);
    QTest::newRow("Ctrl+Shift+J") << int(Qt::Key_J) << (Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Ctrl+Alt+J") << int(Qt::Key_J) << (Qt::ControlModifier | Qt::AltModifier);
    QTest::newRow("Ctrl+Shift+Alt+J") << int(Qt::Key_J) << (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    QTest::newRow("Ctrl+K") << int(Qt::Key_K) << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+H") << int(Qt::Key_H) << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void TestWindow::otherKeysDoNothing()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    auto h = shown();
    for (const char *name : {"Command17", "Command16"}) {
        h->button(name)->setFocus();
        ::key(*h, Qt::Key(key), modifiers);
        QVERIFY2(isIn(*h, View::ClosedHidden), qPrintable(describe(*h)));
    }
    QCOMPARE(h->takeWrites(), QByteArrayList());
}

void TestWindow::viewTransitions_data()
{
    QTest::addColumn<View>("from");
    QTest::addColumn<QString>("event");
    QTest::addColumn<View>("to");

    QTest::newRow("closed hidden, Ctrl+J") << View::ClosedHidden << "Ctrl+J" << View::Full;
    QTest::newRow("full, Ctrl+J") << View::Full << "Ctrl+J" << View::Full;
    QTest::newRow("full, Ctrl+J held") << View::Full << "Ctrl+J repeat" << View::Full;
    QTest::newRow("closed shown, Ctrl+J") << View::ClosedShown << "Ctrl+J" << View::Full;
    QTest::newRow("intermediate, Ctrl+J") << View::Intermediate << "Ctrl+J" << View::Full;
    QTest::newRow("full, click") << View::Full << "click" << View::ClosedShown;
    QTest::newRow("intermediate, click") << View::Intermediate << "click" << View::ClosedShown;
    QTest::newRow("closed shown, Space") << View::ClosedShown << "Space" << View::Intermediate;
    QTest::newRow("closed shown, Return") << View::ClosedShown << "Return" << View::Intermediate;
    QTest::newRow("closed shown, keypad Enter") << View::ClosedShown << "Enter" << View::Intermediate;
    QTest::newRow("intermediate, Space") << View::Intermediate << "Space" << View::ClosedShown;
    QTest::newRow("full, Return") << View::Full << "Return" << View::ClosedShown;
    QTest::newRow("at the threshold, click") << View::Full << "click at threshold" << View::ClosedShown;
    QTest::newRow("below the threshold, click") << View::Full << "click below threshold" << View::Intermediate;
}

void TestWindow::viewTransitions()
{
    QFETCH(View, from);
    QFETCH(QString, event);
    QFETCH(View, to);

    auto h = shown();
    reach(*h, from);
    QVERIFY2(isIn(*h, from), qPrintable(describe(*h)));

    if (event == "Ctrl+J") {
        ctrlJ(*h);
    } else if (event == "Ctrl+J repeat") {
        ctrlJ(*h);
        for (int i = 0; i < 3; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier, QStringLiteral("\x0a"), true);
            QWidget *target = QApplication::focusWidget();
            QApplication::sendEvent(target ? target : h->form.get(), &repeat);
        }
    } else if (event == "click") {
        h->click("Command34");
    } else if (event == "Space") {
        activateCommand34(*h, Qt::Key_Space);
    } else if (event == "Return") {
        activateCommand34(*h, Qt::Key_Return);
    } else if (event == "Enter") {
        h->button("Command34")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    } else if (event.startsWith("click ")) {
        // The window's depth set from outside, as a window manager might.
        const int threshold = px(*h, 5615);
        h->form->setFixedHeight(event.endsWith("at threshold") ? threshold : threshold - 1);
        h->click("Command34");
    } else {
        QFAIL(qPrintable(event));
    }
    QVERIFY2(isIn(*h, to), qPrintable(describe(*h)));
    QCOMPARE(h->takeWrites(), QByteArrayList());
}

void TestWindow::optionGroupsAreIndependent_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("selected");
    QTest::newRow("9600 keeps COM1") << "Option4" << QStringList{"Option1", "Option4"};
    QTest::newRow("COM2 keeps 19200") << "Option2" << QStringList{"Option2", "Option3"};
    QTest::newRow("19200 again") << "Option3" << QStringList{"Option1", "Option3"};
    QTest::newRow("COM1 again") << "Option1" << QStringList{"Option1", "Option3"};
}

void TestWindow::optionGroupsAreIndependent()
{
    QFETCH(QString, chosen);
    QFETCH(QStringList, selected);
    auto h = Harness::started();
    h->click("Command33");
    QTest::mouseClick(h->control<QRadioButton>(chosen.toLatin1().constData()), Qt::LeftButton);
    for (const char *name : {"Option1", "Option2", "Option3", "Option4"})
        QVERIFY2(checked(*h, name) == selected.contains(QLatin1StringView(name)), name);
    QVERIFY(h->warnings.isEmpty());
    QVERIFY(h->control("Frame8")->isHidden());
    // Each click runs its choice once: a port choice reopens once, a speed choice sets once.
    QCOMPARE(h->comm->opens, chosen == "Option1" || chosen == "Option2" ? 3 : 2);
    QCOMPARE(h->comm->settingsHistory.size(), chosen == "Option3" || chosen == "Option4" ? 2 : 1);
}

void TestWindow::portPanelCoversCom()
{
    auto h = Harness::started();
    QWidget *frame8 = h->control("Frame8");
    PanelButton *com = h->button("Command33");
    const QPoint centre = inWindow(com).center();
    QCOMPARE(h->form->childAt(centre), com);

    h->click("Command33");
    QVERIFY(inWindow(frame8).contains(inWindow(com)));
    QWidget *top = h->form->childAt(centre);
    QVERIFY2(top == frame8 || frame8->isAncestorOf(top), qPrintable(top ? top->objectName() : QString()));

    h->advance(5000);
    QCOMPARE(h->form->childAt(centre), com);
}

// "COM" at 0 ms; the panel must still show at the first moment and be gone at the second.
void TestWindow::portPanelHidesItself_data()
{
    QTest::addColumn<int>("viewClickAt"); // -1: none
    QTest::addColumn<int>("stillShown");
    QTest::addColumn<int>("hidden");
    QTest::newRow("untouched") << -1 << 4999 << 5000;
    QTest::newRow("view button at 3000") << 3000 << 7999 << 8000;
}

void TestWindow::portPanelHidesItself()
{
    QFETCH(int, viewClickAt);
    QFETCH(int, stillShown);
    QFETCH(int, hidden);
    auto h = Harness::started();
    ctrlJ(*h);
    h->click("Command33");
    int now = 0;
    if (viewClickAt >= 0) {
        h->advance(viewClickAt);
        now = viewClickAt;
        h->click("Command34");
    }
    QWidget *frame8 = h->control("Frame8");
    h->advance(stillShown - now);
    QVERIFY(!frame8->isHidden());
    h->advance(hidden - stillShown);
    QVERIFY(frame8->isHidden());
}

void TestWindow::missingPortFallsBack()
{
    auto h = Harness::started();
    h->comm->failOpening(2, QStringLiteral("COM2 is not there"));
    h->click("Command33");
    h->advance(1000);
    QTest::mouseClick(h->control<QRadioButton>("Option2"), Qt::LeftButton);
    QCOMPARE(h->warnings, QStringList{QStringLiteral("COM2 is not there")});
    QCOMPARE(h->comm->commPort(), 1);
    QVERIFY(!h->comm->portOpen());
    QVERIFY(checked(*h, "Option2"));
    QVERIFY(!checked(*h, "Option1"));
    QWidget *frame8 = h->control("Frame8");
    h->advance(3999);
    QVERIFY(!frame8->isHidden());
    h->advance(1);
    QVERIFY(frame8->isHidden());
    QCOMPARE(h->form->state().LineSettings, QStringLiteral("19200,N,8,1"));

    // Back to COM1: the closed port opens again there.
    h->click("Command33");
    QTest::mouseClick(h->control<QRadioButton>("Option1"), Qt::LeftButton);
    QCOMPARE(h->warnings.size(), 1);
    QVERIFY(h->comm->portOpen());
    QCOMPARE(h->comm->commPort(), 1);
    QCOMPARE(h->comm->settings(), QStringLiteral("19200,N,8,1"));
    QVERIFY(frame8->isHidden());
    h->click("Command28");
    QCOMPARE(h->takeWrites(), QByteArrayList{"C07\r"});
}

void TestWindow::speedChangeKeepsThePortOpen()
{
    auto h = Harness::started();
    h->click("Command33");
    QTest::mouseClick(h->control<QRadioButton>("Option4"), Qt::LeftButton);
    QVERIFY(h->comm->portOpen());
    QCOMPARE(h->comm->opens, 2);
    QCOMPARE(h->comm->commPort(), 1);
    QCOMPARE(h->comm->settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(h->comm->settingsHistory.last(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(h->form->state().LineSettings, QStringLiteral("9600,N,8,1"));
    QVERIFY(h->control("Frame8")->isHidden());

    // A later port change keeps the new speed.
    h->click("Command33");
    QTest::mouseClick(h->control<QRadioButton>("Option2"), Qt::LeftButton);
    QVERIFY(h->comm->portOpen());
    QCOMPARE(h->comm->commPort(), 2);
    QCOMPARE(h->comm->settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(h->warnings.isEmpty());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
