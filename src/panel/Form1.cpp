#include "Form1.h"

#include "Layout.h"
#include "LayoutBuilder.h"
#include "MonitorLine.h"
#include "PanelButton.h"
#include "commands/Vocabulary.h"
#include "link/LineSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>

namespace {

QString title()
{
    return QString::fromUtf8(layout::kTitle.data(), qsizetype(layout::kTitle.size()));
}

const char *nameOf(std::string_view name)
{
    // Every name in the tables is a literal, so its view ends at a terminating zero.
    return name.data();
}

} // namespace

void showWarningBox(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.exec();
}

Form1::Form1(Services services, QWidget *parent)
    : QWidget(parent)
    , m_comm(std::move(services.comm))
    , m_warn(std::move(services.warn))
{
    Q_ASSERT(m_comm);
    setWindowTitle(title());
    setWindowIcon(layout::applicationIcon());
    QPalette ground = palette();
    ground.setColor(QPalette::Window, QColor(layout::kWindowBack.r, layout::kWindowBack.g, layout::kWindowBack.b));
    setPalette(ground);
    setAutoFillBackground(true);

    m_dpi = logicalDpiY();
    layout::build(this, m_dpi);
    setFixedSize(layout::toPixels(layout::kClientWidth, m_dpi), layout::toPixels(layout::kFullDepth, m_dpi));

    m_timer1 = services.makeTimer(this);
    m_timer2 = services.makeTimer(this);
    m_timer3 = services.makeTimer(this);
    m_timer4 = services.makeTimer(this);
    m_timer1->setInterval(std::chrono::milliseconds{200});
    m_timer2->setInterval(vocabulary::kNormalTiming.replyTimeout);
    m_timer3->setInterval(std::chrono::milliseconds{5000});
    m_timer4->setInterval(vocabulary::kNormalTiming.monitorClear);

    wire();
    qApp->installEventFilter(this);
    Form_Load();
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
    release();
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
    m_option1 = control<QRadioButton>("Option1");

    for (const vocabulary::Command &command : vocabulary::kCommands) {
        auto *button = control<PanelButton>(nameOf(command.button));
        switch (command.activation) {
        case vocabulary::Activation::Click:
            connect(button, &QPushButton::clicked, this, [this, &command] { commandClick(command); });
            break;
        case vocabulary::Activation::Hold:
            connect(button, &PanelButton::mouseDown, this, [this, &command] { holdPress(command); });
            connect(button, &PanelButton::mouseUp, this, [this, &command] { holdRelease(command); });
            break;
        }
    }
    for (const vocabulary::Query &query : vocabulary::kQueries)
        connect(control<PanelButton>(nameOf(query.button)), &QPushButton::clicked, this,
                [this, &query] { queryClick(query); });

    connect(control<PanelButton>("Command16"), &QPushButton::clicked, this, &Form1::Command16_Click);
    connect(control<PanelButton>("Command33"), &QPushButton::clicked, this, &Form1::Command33_Click);
    connect(m_command34, &QPushButton::clicked, this, &Form1::Command34_Click);
    // clicked, not toggled: a click on the option already chosen runs its choice again.
    connect(m_option1, &QRadioButton::clicked, this, &Form1::Option1_Click);
    connect(control<QRadioButton>("Option2"), &QRadioButton::clicked, this, &Form1::Option2_Click);
    connect(control<QRadioButton>("Option3"), &QRadioButton::clicked, this, &Form1::Option3_Click);
    connect(control<QRadioButton>("Option4"), &QRadioButton::clicked, this, &Form1::Option4_Click);

    connect(m_timer1, &PanelTimer::timeout, this, &Form1::Timer1_Timer);
    connect(m_timer2, &PanelTimer::timeout, this, &Form1::Timer2_Timer);
    connect(m_timer3, &PanelTimer::timeout, this, &Form1::Timer3_Timer);
    connect(m_timer4, &PanelTimer::timeout, this, &Form1::Timer4_Timer);
    connect(m_comm.get(), &CommControl::onComm, this, &Form1::MSComm1_OnComm);
}

void Form1::report(const CommError &error)
{
    if (error)
        m_warn(this, windowTitle(), *error);
}

void Form1::Form_Load()
{
    m_state.LineSettings = kSettings19200;

    // Centred for the whole design height, then shortened: the top edge stays where it was.
    const QRect screen = this->screen()->geometry();
    move(screen.x() + (screen.width() - width()) / 2, screen.y() + (screen.height() - height()) / 2);
    setClientDepth(layout::kClosedDepth);

    m_state.RepeatCode = 0;
    m_state.AwaitingReply = 0;
    m_state.ReceiveBuffer.clear();

    // Guarded: the COM1 choice below opens the port again and reports a failure once.
    (void)m_comm->setCommPort(1);
    (void)m_comm->setSettings(m_state.LineSettings);
    (void)m_comm->setPortOpen(true);

    m_option1->setChecked(true);
    Option1_Click();
}

void Form1::Command16_Click()
{
    release();
    close();
}

void Form1::release()
{
    // Nothing may tick once the panel has ended.
    for (PanelTimer *timer : {m_timer1, m_timer2, m_timer3, m_timer4})
        if (timer)
            timer->stop();
    if (m_comm)
        (void)m_comm->setPortOpen(false);
}

void Form1::closeEvent(QCloseEvent *event)
{
    release();
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
