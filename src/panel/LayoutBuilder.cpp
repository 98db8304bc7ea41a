#include "LayoutBuilder.h"

#include "Accessibility.h"
#include "MonitorLine.h"
#include "PanelButton.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>

#include <algorithm>
#include <vector>

namespace layout {

namespace {

QString qs(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

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
        auto *label = new QLabel(qs(c.caption), parent);
        label->setAlignment(alignment(c.align));
        return label;
    }
    case Kind::Button:
        return new PanelButton(qs(c.caption), parent);
    case Kind::Option: {
        auto *option = new QRadioButton(qs(c.caption), parent);
        option->setChecked(c.selectedAtStart);
        return option;
    }
    case Kind::Image: {
        auto *image = new QLabel(parent);
        image->setPixmap(logo());
        return image;
    }
    case Kind::Line:
        break;
    }
    Q_UNREACHABLE();
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
}

} // namespace

QFont font(FontCode code)
{
    const auto row = std::find_if(kFonts.begin(), kFonts.end(), [code](const Font &f) { return f.code == code; });
    Q_ASSERT(row != kFonts.end());
    QFont f;
    f.setFamilies({qs(row->face), qs(row->fixedPitch ? kFixedFallback : kProportionalFallback)});
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
        w->setObjectName(qs(c.name));
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

QPixmap logo()
{
    // Our own mark, 80 by 26 in 24-bit colour. A picture rather than lettering drawn at start-up,
    // which would load the font list before the window can first show.
    return QPixmap(QStringLiteral(":/tolvek/logo.png"));
}

QIcon applicationIcon()
{
    // A projector lens throwing a beam: one drawing, in the three sizes and depths the panel carries.
    const auto draw = [](int size, bool twoColours) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        const qreal s = size / 32.0;
        p.scale(s, s);
        const QColor body = twoColours ? Qt::black : QColor(0, 0, 128);
        const QColor beam = twoColours ? Qt::black : QColor(255, 255, 0);
        p.setPen(Qt::NoPen);
        p.setBrush(body);
        p.drawRect(2, 12, 18, 12);
        p.setBrush(twoColours ? Qt::white : QColor(0, 255, 255));
        p.drawEllipse(QPointF(14, 18), 4, 4);
        p.setBrush(beam);
        p.drawPolygon(QPolygonF({QPointF(18, 16), QPointF(30, 8), QPointF(30, 28), QPointF(18, 20)}));
        p.end();
        // Few enough colours that the indexed forms keep the drawing whole.
        const Qt::ImageConversionFlags exact = Qt::ThresholdDither | Qt::AvoidDither;
        return QPixmap::fromImage(twoColours ? image.convertToFormat(QImage::Format_Mono, exact)
                                             : image.convertToFormat(QImage::Format_Indexed8, exact));
    };
    QIcon icon;
    icon.addPixmap(draw(32, true));
    icon.addPixmap(draw(32, false));
    icon.addPixmap(draw(16, false));
    return icon;
}

} // namespace layout
