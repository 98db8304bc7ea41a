#include "LayoutBuilder.h"

#include "Accessibility.h"
#include "MonitorLine.h"
#include "PanelButton.h"
#include "wire/Text.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHash>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QtMath>

#include <algorithm>
#include <array>
#include <vector>

namespace layout {

namespace {

// The least a caption is narrowed to, and the step, where a stand-in face is wider.
constexpr qreal kSmallestPoints = 6;
constexpr qreal kPointStep = 0.25;

// The pictures the build renders (src/CMakeLists.txt): the logo at every whole number of device
// pixels to a pixel up to the finest, and the window's icon in the sizes an X window is given.
constexpr int kLogoFinestScale = TOLVEK_LOGO_FINEST_SCALE;
constexpr auto kIconSizes = std::to_array({TOLVEK_ICON_SIZES});

// A picture of the resources, by the built-in PNG reader alone: left to guess, Qt would load
// every image plugin first, and the SVG one would bring its library along.
QPixmap resourcePicture(const QString &name)
{
    QImageReader reader(QStringLiteral(":/tolvek/") + name, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

// A screen between two scales takes the finer picture.
int logoScale(qreal devicePixelRatio)
{
    return std::clamp(qCeil(devicePixelRatio), 1, kLogoFinestScale);
}

// The logo, taken anew whenever the screen it is on has another pixel density.
class LogoLabel final : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        if (pixmap().devicePixelRatio() != logoScale(devicePixelRatioF()))
            setPixmap(logo(devicePixelRatioF()));
        QLabel::paintEvent(event);
    }
};

QColor colour(Rgb c)
{
    return QColor(c.r, c.g, c.b);
}

Qt::Alignment alignment(Align a)
{
    switch (a) {
    case Align::Left:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case Align::Center:
        return Qt::AlignCenter;
    }
    Q_UNREACHABLE();
}

QWidget *create(const Control &c, QWidget *parent)
{
    switch (c.kind) {
    case Kind::Frame: {
        auto *frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        return frame;
    }
    case Kind::Label: {
        if (c.sunkenBorder) {
            auto *line = new MonitorLine(parent);
            line->setAlignment(alignment(c.align));
            return line;
        }
        auto *label = new QLabel(qstring(c.caption), parent);
        label->setAlignment(alignment(c.align));
        return label;
    }
    case Kind::Button:
        return new PanelButton(qstring(c.caption), parent);
    case Kind::Option: {
        auto *option = new PanelOption(qstring(c.caption), parent);
        option->setChecked(c.selectedAtStart);
        return option;
    }
    case Kind::Image: {
        auto *image = new LogoLabel(parent);
        image->setPixmap(logo(parent->devicePixelRatioF()));
        return image;
    }
    case Kind::Line:
        break;
    }
    Q_UNREACHABLE();
}

// Where the layout's faces are missing, a stand-in can be wider: narrow its font until the
// caption fits its control, rather than let the control cut it off at both ends. The push
// buttons need not: they wrap a caption at its spaces.
void fitCaption(QWidget *w)
{
    QFont f = w->font();
    while (w->sizeHint().width() > w->width() && f.pointSizeF() - kPointStep >= kSmallestPoints) {
        f.setPointSizeF(f.pointSizeF() - kPointStep);
        w->setFont(f);
    }
}

void dress(QWidget *w, const Control &c)
{
    QPalette palette = w->palette();
    if (c.back) {
        // Each widget fills from its own role: push and option buttons from Button (a push
        // button's face, an option's ground), the rest from Window.
        palette.setColor(w->backgroundRole(), colour(*c.back));
        w->setAutoFillBackground(c.kind != Kind::Button);
    }
    if (c.text) {
        palette.setColor(QPalette::WindowText, colour(*c.text));
        palette.setColor(QPalette::ButtonText, colour(*c.text));
    }
    w->setPalette(palette);
    if (c.font != FontCode::None)
        w->setFont(font(c.font));
    if ((c.kind == Kind::Label && !c.sunkenBorder) || c.kind == Kind::Option)
        fitCaption(w);
}

} // namespace

QFont font(FontCode code)
{
    const auto row = std::find_if(kFonts.begin(), kFonts.end(), [code](const Font &f) { return f.code == code; });
    Q_ASSERT(row != kFonts.end());
    QFont f;
    f.setFamilies({qstring(row->face), qstring(row->fixedPitch ? kFixedFallback : kProportionalFallback)});
    f.setFixedPitch(row->fixedPitch);
    f.setPointSizeF(row->points);
    f.setWeight(QFont::Weight(row->weight));
    return f;
}

void build(QWidget *window, int dpi)
{
    const auto px = [dpi](int twips) { return toPixels(twips, dpi); };
    QHash<std::string_view, QWidget *> made;
    QHash<std::string_view, QButtonGroup *> groups;
    std::vector<std::pair<int, QWidget *>> tabOrder;
    accessibility::prepare(window);

    for (const Control &c : kControls) {
        if (c.kind == Kind::Line)
            continue;
        QWidget *parent = c.container.empty() ? window : made.value(c.container);
        Q_ASSERT(parent);
        QWidget *w = create(c, parent);
        w->setObjectName(qstring(c.name));
        accessibility::describe(w, c);
        w->setGeometry(px(c.left), px(c.top), px(c.width), px(c.height));
        dress(w, c);
        if (c.hiddenAtStart)
            w->hide();
        if (c.kind == Kind::Option) {
            // Qt's own exclusivity takes in the options of nested frames as well, which would
            // make the speeds one group with the ports; a group per frame keeps them apart.
            QButtonGroup *&group = groups[c.container];
            if (!group)
                group = new QButtonGroup(parent);
            group->addButton(static_cast<QRadioButton *>(w));
        }
        if (c.kind == Kind::Button || c.kind == Kind::Option)
            tabOrder.emplace_back(c.tab, w);
        else
            w->setFocusPolicy(Qt::NoFocus);
        made.insert(c.name, w);
    }

    std::sort(tabOrder.begin(), tabOrder.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
}

void paintLines(QPainter &painter, int dpi)
{
    const auto px = [dpi](int twips) { return toPixels(twips, dpi); };
    painter.setPen(QPen(colour(kLineColour), kLinePixels, Qt::SolidLine, Qt::FlatCap));
    for (const Control &c : kControls)
        if (c.kind == Kind::Line)
            painter.drawLine(px(c.left), px(c.top), px(c.width), px(c.height));
}

QPixmap logo(qreal devicePixelRatio)
{
    // Our own mark, 80 by 26 in 24-bit colour, and pictures rather than lettering drawn at
    // start-up, which would load the font list before the window can first show. At one device
    // pixel to a pixel, the bitmap fitted to that grid; on denser screens the outline drawing
    // rendered at their density, as sharp as the text beside it.
    const int scale = logoScale(devicePixelRatio);
    QPixmap picture =
        resourcePicture(scale == 1 ? QStringLiteral("logo.png") : QStringLiteral("logo@%1x.png").arg(scale));
    picture.setDevicePixelRatio(scale);
    return picture;
}

QIcon applicationIcon()
{
    // A projector lens throwing a beam, from the drawing the installed icons are made from too,
    // so that it is sharp at every size a desktop asks of a window.
    QIcon icon;
    for (const int size : kIconSizes)
        icon.addPixmap(resourcePicture(QStringLiteral("icon-%1.png").arg(size)));
    return icon;
}

} // namespace layout
