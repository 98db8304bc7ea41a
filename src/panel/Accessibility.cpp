#include "Accessibility.h"

#include "MonitorLine.h"
#include "PanelButton.h"
#include "wire/Text.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QResizeEvent>

namespace accessibility {

namespace {

struct GlyphWord
{
    std::string_view glyph, word;
};

constexpr auto kGlyphWords = std::to_array<GlyphWord>({
    {"↑", "up"},
    {"↓", "down"},
    {"←", "left"},
    {"→", "right"},
});

// Marks the windows whose controls get the interface below.
constexpr QLatin1StringView kWatcherName("accessibility-edge-watcher");

QRect placeInWindow(const QWidget *w)
{
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

bool inView(const QWidget *w)
{
    return placeInWindow(w).intersects(w->window()->rect());
}

// Tells a screen reader, which keeps what it has read, which controls the window cuts off
// once it shows (Qt has just said they all show) and which come or go as its depth changes.
class EdgeWatcher final : public QObject
{
public:
    explicit EdgeWatcher(QWidget *window)
        : QObject(window)
    {
        setObjectName(kWatcherName);
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *resize = event->type() == QEvent::Resize ? static_cast<QResizeEvent *>(event) : nullptr;
        if ((!resize && event->type() != QEvent::Show) || !QAccessible::isActive())
            return false;
        for (QWidget *w : watched->findChildren<QWidget *>()) {
            const bool wasInView = !resize || placeInWindow(w).intersects(QRect(QPoint(0, 0), resize->oldSize()));
            if (w->isVisible() && wasInView != inView(w)) {
                QAccessibleEvent change(w, wasInView ? QAccessible::ObjectHide : QAccessible::ObjectShow);
                QAccessible::updateAccessibility(&change);
            }
        }
        return false;
    }
};

// A control of the panel as Qt's own interface shows it, except that it does not report
// itself showing while the shortened window cuts it off: Qt 6.4 only knows hidden widgets.
// A press is a click, as with the mouse, so that an option's choice runs, and a hold button's
// press and release at once. A frame is a grouping: a window is what a screen reader announces
// as one, and the panel is one window.
class ControlAccessible final : public QAccessibleWidget
{
public:
    using QAccessibleWidget::QAccessibleWidget;

    QAccessible::Role role() const override
    {
        if (const QAbstractButton *b = button())
            return b->isCheckable() ? QAccessible::RadioButton : QAccessible::Button;
        if (const auto *label = qobject_cast<const QLabel *>(object()))
            return label->pixmap().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
        if (qobject_cast<const MonitorLine *>(object()))
            return QAccessible::StaticText;
        return QAccessible::Grouping;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !widget()->accessibleName().isEmpty())
            return QAccessibleWidget::text(t);
        if (const QAbstractButton *b = button())
            return b->text();
        if (const auto *label = qobject_cast<const QLabel *>(object()))
            return label->text();
        if (const auto *line = qobject_cast<const MonitorLine *>(object()))
            return line->text();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (const QAbstractButton *b = button()) {
            s.checkable = b->isCheckable();
            s.checked = b->isChecked();
            s.pressed = b->isDown();
        }
        s.offscreen = !inView(widget());
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (const QAbstractButton *b = button(); b && b->isEnabled())
            names.prepend(b->isCheckable() ? toggleAction() : pressAction());
        return names;
    }

    void doAction(const QString &action) override
    {
        QAbstractButton *b = button();
        if (!b || (action != pressAction() && action != toggleAction())) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (!b->isEnabled())
            return;
        if (auto *hold = qobject_cast<PanelButton *>(b); hold && hold->holdsToRepeat())
            hold->tap();
        else
            b->animateClick();
    }

private:
    QAbstractButton *button() const { return qobject_cast<QAbstractButton *>(object()); }
};

QAccessibleInterface *controlAccessible(const QString &, QObject *object)
{
    auto *w = qobject_cast<QWidget *>(object);
    if (!w || !w->window()->findChild<QObject *>(kWatcherName, Qt::FindDirectChildrenOnly))
        return nullptr;
    // Qt's own interface has a plain widget stand for a part of a window, named by its title.
    if (w->isWindow())
        return new QAccessibleWidget(w, QAccessible::Window);
    // A push button is asked for while its constructor sets its caption: class names can
    // still be those of Qt's base classes, so ask what the object is, not what it is called.
    if (!qobject_cast<QFrame *>(w) && !qobject_cast<QAbstractButton *>(w))
        return nullptr;
    return new ControlAccessible(w);
}

} // namespace

QString spokenName(std::string_view heading, std::string_view caption, std::string_view pattern)
{
    QString said = qstring(caption);
    for (const GlyphWord &g : kGlyphWords)
        if (caption == g.glyph)
            said = qstring(g.word);
    QString name = qstring(pattern).replace(QLatin1StringView("%1"), said);
    if (!heading.empty())
        name.prepend(qstring(heading) + u' ');
    return name.simplified();
}

void prepare(QWidget *window)
{
    static const bool installed = [] {
        QAccessible::installFactory(controlAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    new EdgeWatcher(window);
}

void describe(QWidget *widget, const layout::Control &control)
{
    if (detail::spokenIndex(control.name) != detail::kNone) {
        const detail::Parts parts = detail::partsOf(control);
        widget->setAccessibleName(spokenName(parts.heading, parts.caption, parts.pattern));
    }
    for (const Described &d : kDescribed)
        if (d.control == control.name)
            widget->setAccessibleDescription(qstring(d.description));
    for (const Group &g : kGroups)
        if (g.frame == control.name)
            widget->setAccessibleName(
                qstring(g.heading.empty() ? g.named : layout::find(g.heading)->caption).simplified());
}

} // namespace accessibility
