#include "WindowSystem.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

constexpr int kNoWindowSystemExitStatus = 1;

// The platforms a desktop session runs on: the Debian package that brings each one's plugin,
// and what names its display.
struct Platform
{
    const char *name;
    const char *package;
    const char *variable;
    const char *display;
};
constexpr auto kPlatforms = std::to_array<Platform>({
    {"xcb", "qt6-qpa-plugins", "DISPLAY", "X"},
    {"wayland", "qt6-wayland", "WAYLAND_DISPLAY", "Wayland"},
});

struct Held
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler g_next = nullptr;
// Threads the start spawns may speak too.
std::mutex g_heldLock;
QList<Held> g_held;

QString platformReason(const QString &name, bool found)
{
    const auto known = std::find_if(kPlatforms.begin(), kPlatforms.end(),
                                    [&name](const Platform &p) { return QLatin1StringView(p.name) == name; });
    if (!found)
        return known == kPlatforms.end() ? QStringLiteral("the Qt platform plugin \"%1\" is not installed").arg(name)
                                         : QStringLiteral("the Qt platform plugin \"%1\" is not installed (package %2)")
                                               .arg(name, QLatin1StringView(known->package));
    if (known == kPlatforms.end())
        return QStringLiteral("the Qt platform plugin \"%1\" cannot start").arg(name);
    if (std::all_of(kPlatforms.begin(), kPlatforms.end(),
                    [](const Platform &p) { return qEnvironmentVariableIsEmpty(p.variable); }))
        return QStringLiteral("no display (neither %1 nor %2 is set)")
            .arg(QLatin1StringView(kPlatforms[0].variable), QLatin1StringView(kPlatforms[1].variable));
    const QString display = qEnvironmentVariable(known->variable);
    if (display.isEmpty())
        return QStringLiteral("no %1 display (%2 is not set)")
            .arg(QLatin1StringView(known->display), QLatin1StringView(known->variable));
    return QStringLiteral("cannot connect to the %1 display \"%2\"").arg(QLatin1StringView(known->display), display);
}

// Why no window system started, from what Qt said while it tried its platforms.
QString missingWindowSystem(const QStringList &qtMessages)
{
    // Qt names each platform it tried, and whether its plugin was there to load.
    static const QRegularExpression tried(
        QStringLiteral(R"re(Could not (find|load) the Qt platform plugin "([^"]*)")re"));
    QStringList reasons;
    for (const QString &message : qtMessages)
        if (const QRegularExpressionMatch m = tried.match(message); m.hasMatch())
            reasons << platformReason(m.captured(2), m.captured(1) == QLatin1StringView("load"));
    reasons.removeDuplicates();
    if (!reasons.isEmpty())
        return reasons.join(QStringLiteral("; "));
    return qtMessages.constLast().section(QLatin1Char('\n'), 0, 0);
}

void hold(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const std::scoped_lock lock(g_heldLock);
    if (type != QtFatalMsg) {
        g_held.append({type, QByteArray(context.category), text});
        return;
    }
    QStringList said;
    for (const Held &h : std::as_const(g_held))
        said << h.text;
    said << text;
    const QString line = QStringLiteral("tolvek-panel: cannot open a window: %1\n").arg(missingWindowSystem(said));
    std::fputs(line.toLocal8Bit().constData(), stderr);
    // Qt would abort on return; nothing of the half-made application is worth tearing down.
    std::_Exit(kNoWindowSystemExitStatus);
}

} // namespace

std::unique_ptr<QApplication> startApplication(int &argc, char **argv)
{
    g_next = qInstallMessageHandler(hold);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_next);
    const std::scoped_lock lock(g_heldLock);
    for (const Held &h : std::as_const(g_held))
        g_next(h.type, QMessageLogContext(nullptr, 0, nullptr, h.category.constData()), h.text);
    g_held.clear();
    return app;
}
