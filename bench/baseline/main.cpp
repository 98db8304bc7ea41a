// The least a Qt window on a serial port can do: open COM1's device at 19200 8N1, put "C09"
// and a carriage return on the line when its one button is pressed, and take whatever comes
// back off the line. It has the panel's full size and its "+" where the panel's is, so one set
// of pointer coordinates drives both.
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSerialPort>
#include <QStyleFactory>
#include <QWidget>

namespace {

constexpr int kWidth = 618;
constexpr int kHeight = 441;
constexpr QRect kPlus{280, 192, 25, 17};

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

    auto *plus = new QPushButton(QStringLiteral("+"), &window);
    plus->setGeometry(kPlus);

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

    QObject::connect(plus, &QPushButton::pressed, &port, [&port] {
        // write() alone would leave the bytes for the next turn of the event loop.
        port.write("C09\r", 4);
        port.flush();
    });
    // Read and dropped: the yardstick for the cost of taking bytes off the line at all.
    QObject::connect(&port, &QSerialPort::readyRead, &port, [&port] { port.readAll(); });

    window.show();
    return app.exec();
}
