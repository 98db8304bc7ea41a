#include "Form1.h"

#include "Layout.h"
#include "LayoutBuilder.h"
#include "MonitorLine.h"
#include "PanelButton.h"
#include "commands/Repeater.h"
#include "link/Transfer.h"
#include "status/StatusReader.h"
#include "wire/Text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QWindow>

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
    , m_timer3(services.makeTimer(this))
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
    m_timer3->setInterval(layout::kPortPanelShown);

    wire();
    qApp->installEventFilter(this);
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

void Form1::wire()
{
    m_label11 = control<MonitorLine>("Label11");
    m_label12 = control<MonitorLine>("Label12");
    m_label25 = control<MonitorLine>("Label25");
    m_command34 = control<PanelButton>("Command34");
    m_frame8 = control<QFrame>("Frame8");
    m_portOptions[0] = control<QRadioButton>("Option1");
    m_portOptions[1] = control<QRadioButton>("Option2");

    // Every name in the tables is a literal, so its view ends at a terminating zero.
    for (const vocabulary::Command &command : vocabulary::kCommands) {
        auto *button = control<PanelButton>(command.button.data());
        switch (command.activation) {
        case vocabulary::Activation::Click:
            connect(button, &QPushButton::clicked, this, [this, &command] { commandClick(command); });
            break;
        case vocabulary::Activation::Hold:
            button->setHoldToRepeat(true);
            connect(button, &PanelButton::mouseDown, this, [this, &command] { holdPress(command); });
            connect(button, &PanelButton::mouseUp, m_repeater, [this, &command] { m_repeater->release(command); });
            break;
        }
    }
    for (const vocabulary::Query &query : vocabulary::kQueries)
        connect(control<PanelButton>(query.button.data()), &QPushButton::clicked, this,
                [this, &query] { report(m_status->ask(query)); });

    connect(control<PanelButton>("Command16"), &QPushButton::clicked, this, &Form1::Command16_Click);
    connect(control<PanelButton>("Command33"), &QPushButton::clicked, this, &Form1::Command33_Click);
    connect(m_command34, &QPushButton::clicked, this, &Form1::Command34_Click);
    // clicked, not toggled: a click on the option already chosen runs its choice again.
    connect(m_portOptions[0], &QRadioButton::clicked, this, &Form1::Option1_Click);
    connect(m_portOptions[1], &QRadioButton::clicked, this, &Form1::Option2_Click);
    connect(control<QRadioButton>("Option3"), &QRadioButton::clicked, this, &Form1::Option3_Click);
    connect(control<QRadioButton>("Option4"), &QRadioButton::clicked, this, &Form1::Option4_Click);
    connect(m_timer3, &Timer::timeout, this, &Form1::Timer3_Timer);

    connect(m_transfer, &Transfer::sentLineChanged, m_label11, &MonitorLine::setText);
    connect(m_transfer, &Transfer::receivedLineChanged, m_label12, &MonitorLine::setText);
    connect(m_transfer, &Transfer::receivedLineEdited, m_label12, &MonitorLine::edit);
    connect(m_status, &StatusReader::lineChanged, m_label25, &MonitorLine::setText);
    connect(m_repeater, &Repeater::failed, this, [this](const QString &message) { report(message); });
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
}

void Form1::Form_Load()
{
    centre();
    setClientDepth(layout::kClosedDepth);

    m_ports.openAtStart();
    m_portOptions[0]->setChecked(true);
    Option1_Click();
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
    // Nothing may tick once the panel has ended.
    m_timer3->stop();
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

void Form1::setClientDepth(int twips)
{
    setFixedHeight(layout::toPixels(twips, m_dpi));
}

void Form1::commandClick(const vocabulary::Command &command)
{
    report(m_repeater->click(command));
}

void Form1::holdPress(const vocabulary::Command &command)
{
    report(m_repeater->press(command));
}
