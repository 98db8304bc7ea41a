// Saves pictures of the panel as it shows at start, with the monitor area open and with the
// port panel up: render-window OUTDIR. The ports point at paths that do not exist, so the
// pictures never depend on, or disturb, a serial device.
#include "link/SerialCommControl.h"
#include "panel/Form1.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyleFactory>

#include <cstdio>
#include <functional>

namespace {

bool render(const QDir &out, const QString &file, const std::function<void(Form1 &)> &prepare)
{
    Form1 window(
        {.comm = std::make_unique<SerialCommControl>(), .warn = [](QWidget *, const QString &, const QString &) {}});
    window.start();
    window.show();
    QApplication::processEvents();
    prepare(window);
    QApplication::processEvents();
    const QString path = out.filePath(file);
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "render-window: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

void key(QWidget *window, Qt::Key k, Qt::KeyboardModifiers modifiers)
{
    QWidget *target = QApplication::focusWidget();
    QKeyEvent press(QEvent::KeyPress, k, modifiers);
    QApplication::sendEvent(target ? target : window, &press);
}

} // namespace

int main(int argc, char *argv[])
{
    // The offscreen platform says so at every change of the window's depth.
    static const QtMessageHandler log =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (text != QLatin1StringView("This plugin does not support propagateSizeHints()"))
                log(type, context, text);
        });
    qputenv("TOLVEK_COM1", "/nonexistent/render-window-com1");
    qputenv("TOLVEK_COM2", "/nonexistent/render-window-com2");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: render-window OUTDIR\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "render-window: cannot make %s\n", qPrintable(args.at(1)));
        return 1;
    }

    bool ok = render(out, QStringLiteral("panel-closed.png"), [](Form1 &) {});
    ok = render(out, QStringLiteral("panel-full.png"), [](Form1 &w) { key(&w, Qt::Key_J, Qt::ControlModifier); }) && ok;
    ok = render(out, QStringLiteral("panel-port.png"),
                [](Form1 &w) { w.findChild<QPushButton *>(QStringLiteral("Command33"))->click(); })
        && ok;
    return ok ? 0 : 1;
}
