#include "Form1.h"

#include "Layout.h"
#include "LayoutBuilder.h"
#include "MonitorLine.h"
#include "MonitorView.h"
#include "PanelButton.h"
#include "PortPanel.h"
#include "commands/Repeater.h"
#include "link/Transfer.h"
#include "status/StatusReader.h"
#include "wire/Text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace {

// The key handler's mask of Shift, Ctrl and Alt.
constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;

int shiftMask(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? kShift : 0) | (modifiers & Qt::ControlModifier ? kCtrl : 0)
        | (modifiers & Qt::AltModifier ? kAlt : 0);
}

} // namespace

void showWarningBox(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.exec();
}

Form1::Form1(Services services, QWidget *parent)
    : QWidget(parent)
    , m_transfer(new Transfer(std::move(services.comm), services.makeTimer, vocabulary::kNormalTiming, this))
    , m_repeater(new Repeater(*m_transfer, services.makeTimer, this))
    , m_status(new StatusReader(*m_transfer, this))
    , m_ports(m_transfer->comm())
    , m_warn(std::move(services.warn))
{
    setWindowTitle(qstring(layout::kTitle));
    setWindowIcon(layout::applicationIcon());
    QPalette ground = palette();
    ground.setColor(QPalette::Window, QColor(layout::kWindowBack.r, layout::kWindowBack.g, layout::kWindowBack.b));
    setPalette(ground);
    setAutoFillBackground(true);

    m_dpi = logicalDpiY();
    layout::build(this, m_dpi);
    setFixedSize(layout::toPixels(layout::kClientWidth, m_dpi), layout::toPixels(layout::kFullDepth, m_dpi));
    m_portPanel = new PortPanel(this, services.makeTimer);
    m_monitorView = new MonitorView(this, m_dpi);

    wire(services.makeTimer);
    qApp->installEventFilter(this);
}

void Form1::start()
{
    Form_Load();
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
    stopAndClosePort();
}

template <typename T>
T *Form1::control(const char *name) const
{
    T *found = findChild<T *>(QLatin1StringView(name));
    Q_ASSERT_X(found, "Form1::control", name);
    return found;
}

void Form1::wire(const TimerFactory &makeTimer)
{
    // Every name in the tables is a literal, so its view ends at a terminating zero.
    for (const vocabulary::Command &command : vocabulary::kCommands) {
        auto *button = control<PanelButton>(command.button.data());
        switch (command.activation) {
        case vocabulary::Activation::Click:
            connect(button, &QPushButton::clicked, this, [this, &command] { commandClick(command); });
            break;
        case vocabulary::Activation::Hold:
            button->setHoldToRepeat(makeTimer);
            connect(button, &PanelButton::holdPressed, this, [this, button, &command] { holdPress(command, button); });
            connect(button, &PanelButton::holdReleased, m_repeater, [this, &command] { m_repeater->release(command); });
            break;
        }
    }
    for (const vocabulary::Query &query : vocabulary::kQueries)
        connect(control<PanelButton>(query.button.data()), &QPushButton::clicked, this,
                [this, &query] { report(m_status->ask(query)); });

    connect(control<PanelButton>("Command16"), &QPushButton::clicked, this, &Form1::Command16_Click);
    connect(control<PanelButton>("Command33"), &QPushButton::clicked, m_portPanel, &PortPanel::Command33_Click);
    connect(control<PanelButton>("Command34"), &QPushButton::clicked, m_monitorView, &MonitorView::Command34_Click);
    connect(m_monitorView, &MonitorView::toggled, m_portPanel, &PortPanel::restartTimer3);
    connect(m_portPanel, &PortPanel::portChosen, this, &Form1::choosePort);
    connect(m_portPanel, &PortPanel::speedChosen, this, &Form1::chooseSpeed);
    connect(&m_ports, &PortChoice::opened, m_portPanel, &PortPanel::hide);
    connect(&m_ports, &PortChoice::fellBack, m_portPanel, &PortPanel::markPort);
    connect(&m_ports, &PortChoice::failed, this, &Form1::portFailed);

    auto *label11 = control<MonitorLine>("Label11");
    auto *label12 = control<MonitorLine>("Label12");
    connect(m_transfer, &Transfer::sentLineChanged, label11, &MonitorLine::setText);
    connect(m_transfer, &Transfer::receivedLineChanged, label12, &MonitorLine::setText);
    connect(m_transfer, &Transfer::receivedLineEdited, label12, &MonitorLine::edit);
    connect(m_status, &StatusReader::lineChanged, control<MonitorLine>("Label25"), &MonitorLine::setText);
    connect(m_repeater, &Repeater::aboutToRepeat, this, [this] {
        if (m_heldButton)
            m_heldButton->settleRelease();
    });
    connect(m_repeater, &Repeater::failed, this, [this](const QString &message) {
        if (m_heldButton) // a repeat follows a press
            m_heldButton->endHold();
        report(message);
    });
}

void Form1::report(const CommError &error)
{
    // One box at a time: a timer that ticks in the box's own event loop and fails too would
    // stack a second box on it, and the first would take no keys until the second went.
    if (!error || m_warningShown)
        return;
    m_warningShown = true;
    m_warn(this, windowTitle(), *error);
    m_warningShown = false;
    if (m_portFailure)
        portFailed(*std::exchange(m_portFailure, std::nullopt));
}

void Form1::Form_Load()
{
    centre();
    m_monitorView->setDepth(layout::kClosedDepth);

    // COM1 at 19200, opened once by its choice, which falls back to COM2 as any choice does.
    m_portPanel->choose("Option3");
    m_portPanel->choose("Option1");
}

void Form1::centre()
{
    // The frame is centred for the whole design depth; when the window is shortened its top
    // edge stays where it is. The frame's size is known only once the window is framed.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QSize outer = QSize(width(), layout::toPixels(layout::kFullDepth, m_dpi)).grownBy(frame);
    move(layout::centredCorner(screen()->geometry(), outer));
}

void Form1::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    if (!m_centredInFrame && windowHandle() && !windowHandle()->frameMargins().isNull()) {
        m_centredInFrame = true;
        centre();
    }
}

void Form1::Command16_Click()
{
    stopAndClosePort();
    close();
}

void Form1::stopAndClosePort()
{
    // Nothing may tick, and no port open, once the panel has ended.
    m_ports.stop();
    m_portFailure.reset();
    m_portPanel->stop();
    m_repeater->stop();
    m_transfer->close();
}

void Form1::closeEvent(QCloseEvent *event)
{
    stopAndClosePort();
    event->accept();
    emit ended();
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    layout::paintLines(painter, m_dpi);
}

void Form1::commandClick(const vocabulary::Command &command)
{
    report(m_repeater->click(command));
}

void Form1::holdPress(const vocabulary::Command &command, PanelButton *button)
{
    m_heldButton = button;
    if (const CommError failure = m_repeater->press(command)) {
        // The box about to open takes the release.
        button->endHold();
        report(failure);
    }
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // The filter sees a key press once for every widget it passes on its way up; only its
    // first stop, the widget with the focus (or the window itself), counts.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        QWidget *first = QApplication::focusWidget();
        if (!first || first->window() != this)
            first = this;
        if (watched == first) {
            const auto *key = static_cast<QKeyEvent *>(event);
            Form_KeyDown(key->key(), shiftMask(key->modifiers()));
        }
    }
    return false; // the key goes on to the control with the focus
}

void Form1::Form_KeyDown(int keyCode, int shift)
{
    if (keyCode == Qt::Key_J && (shift & (kShift | kCtrl | kAlt)) == kCtrl)
        m_monitorView->openInFull();
}

void Form1::choosePort(int port, int fallback)
{
    // A hold's repeat would meet the port closed while the box is up; the line kept keeps it.
    if (!m_ports.keeps(port))
        m_repeater->releaseHeld();
    m_ports.choosePort(port, fallback);
}

void Form1::portFailed(const QString &failure)
{
    // A connection may fail while another box is up: it is told once that one is closed.
    if (m_warningShown) {
        m_portFailure = failure;
        return;
    }
    report(failure);
    // Left with no port at all, the next click would only warn again.
    m_ports.fallBack();
}

void Form1::chooseSpeed(const QString &settings)
{
    report(m_ports.chooseSpeed(settings));
    m_portPanel->hide();
}
