#include "link/SerialCommControl.h"
#include "panel/Form1.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // One look everywhere: Fusion paints a button's face in its palette colour.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Form1 window({.comm = std::make_unique<SerialCommControl>()});
    QObject::connect(&window, &Form1::ended, &app, &QApplication::quit);
    window.show();
    return app.exec();
}
