// The least a Qt window on a serial port can do: open COM1's device at 19200 8N1, put "C09"
// and a carriage return on the line when its one button is pressed, before the button paints
// itself down, and take whatever comes back off the line. It has the panel's full size and its "+" where the panel's
// is, so one set of pointer coordinates drives both.
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSerialPort>
#include <QStyleFactory>
#include <QWidget>

namespace {

constexpr int kWidth = 618;
constexpr int kHeight = 441;
constexpr QRect kPlus{280, 192, 25, 17};

// Writes at the press before anything is painted: the floor for a press's send.
class WriteFirstButton final : public QPushButton
{
public:
    WriteFirstButton(QSerialPort &port, QWidget *parent)
        : QPushButton(QStringLiteral("+"), parent)
        , m_port(port)
    {
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton) {
            // write() alone would leave the bytes for the next turn of the event loop.
            m_port.write("C09\r", 4);
            m_port.flush();
        }
        QPushButton::mousePressEvent(event);
    }

private:
    QSerialPort &m_port;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QWidget window;
    window.setWindowTitle(QStringLiteral("bench-baseline"));
    window.setFixedSize(kWidth, kHeight);
    const QRect screen = window.screen()->geometry();
    window.move(screen.x() + (screen.width() - kWidth) / 2, screen.y() + (screen.height() - kHeight) / 2);

    QSerialPort port(qEnvironmentVariable("TOLVEK_COM1", QStringLiteral("/dev/ttyS0")));
    if (!port.open(QIODevice::ReadWrite)) {
        qCritical("%s", qPrintable(port.errorString()));
        return 1;
    }
    port.setBaudRate(QSerialPort::Baud19200);
    port.setParity(QSerialPort::NoParity);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);

    auto *plus = new WriteFirstButton(port, &window);
    plus->setGeometry(kPlus);
    // Read and dropped: the yardstick for the cost of taking bytes off the line at all.
    QObject::connect(&port, &QSerialPort::readyRead, &port, [&port] { port.readAll(); });

    window.show();
    return app.exec();
}
