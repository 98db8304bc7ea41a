#include "panel/Layout.h"
#include "panel/LayoutBuilder.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// The window's pictures at one and two device pixels to a pixel, the icon, and the captions in
// whatever faces fontconfig offers (a second run hides the Gothic ones).
class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void scaleOneAsBefore();
    void logoSharpAtScaleTwo();
    void iconAtDesktopSizes();
    void captionsFit();

private:
    QImage render(const QByteArray &scale);

    QTemporaryDir m_out;
};

namespace {

QRect logoArea(int scale)
{
    const auto image = std::find_if(layout::kControls.begin(), layout::kControls.end(),
                                    [](const layout::Control &c) { return c.kind == layout::Kind::Image; });
    const auto px = [scale](int twips) { return scale * layout::toPixels(twips, 96); };
    return {px(image->left), px(image->top), px(image->width), px(image->height)};
}

// The energy of the steps between neighbours inside each 2 by 2 block: none for a picture
// enlarged pixel by pixel, little for one enlarged smoothly, much where edges were drawn at
// the finer grid.
qint64 detailWithinBlocks(const QImage &image)
{
    qint64 energy = 0;
    const auto step = [&image, &energy](QPoint a, QPoint b) {
        const int d = qGray(image.pixel(a)) - qGray(image.pixel(b));
        energy += d * d;
    };
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2) {
            step({x, y}, {x + 1, y});
            step({x, y + 1}, {x + 1, y + 1});
            step({x, y}, {x, y + 1});
            step({x + 1, y}, {x + 1, y + 1});
        }
    return energy;
}

double meanDifference(const QImage &a, const QImage &b)
{
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += qAbs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return double(sum) / (a.width() * a.height());
}

} // namespace

void TestPictures::initTestCase()
{
    QVERIFY(m_out.isValid());
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

QImage TestPictures::render(const QByteArray &scale)
{
    QProcess renderer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
    renderer.setProcessEnvironment(environment);
    const QString dir = m_out.filePath(QString::fromLatin1(scale));
    renderer.start(QStringLiteral(RENDER_WINDOW), {dir});
    if (!renderer.waitForFinished() || renderer.exitCode() != 0)
        qWarning() << renderer.readAllStandardError();
    return QImage(dir + QStringLiteral("/panel-full.png")).convertToFormat(QImage::Format_RGB32);
}

void TestPictures::scaleOneAsBefore()
{
    // The README's picture is the panel as it has always looked with the Gothic faces.
    const QImage now = render("1");
    QVERIFY(!now.isNull());
    QCOMPARE(now, QImage(QStringLiteral(README_PICTURE)).convertToFormat(QImage::Format_RGB32));
}

void TestPictures::logoSharpAtScaleTwo()
{
    const QImage one = render("1").copy(logoArea(1));
    const QImage two = render("2").copy(logoArea(2));
    QCOMPARE(two.size(), one.size() * 2);
    const QImage enlarged = one.scaled(two.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The same mark, in the same place ...
    QCOMPARE_LT(meanDifference(two, enlarged), 16.0);
    // ... with its edges drawn at the finer grid rather than enlarged from the coarse one.
    QCOMPARE_GT(detailWithinBlocks(two), 3 * detailWithinBlocks(enlarged) / 2);
}

void TestPictures::iconAtDesktopSizes()
{
    const QIcon icon = layout::applicationIcon();
    for (const int size : {16, 256}) {
        const QImage picture = icon.pixmap(QSize(size, size)).toImage();
        QCOMPARE(picture.size(), QSize(size, size));
        // The lens at (14, 18) of 32.
        QCOMPARE(picture.pixelColor(size * 14 / 32, size * 18 / 32), QColor(0, 255, 255));
    }
}

void TestPictures::captionsFit()
{
    QWidget window;
    layout::build(&window, window.logicalDpiY());
    for (const QLabel *label : window.findChildren<QLabel *>())
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                 qPrintable(label->objectName()));
    for (QRadioButton *option : window.findChildren<QRadioButton *>()) {
        QStyleOptionButton style;
        style.initFrom(option);
        const QRect text = option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style, option);
        QVERIFY2(option->fontMetrics().horizontalAdvance(option->text()) <= text.width(),
                 qPrintable(option->objectName()));
    }
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
