#include "panel/Layout.h"
#include "panel/LayoutBuilder.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// The window's picture at one and two device pixels to a pixel, the icon, and the captions in
// whatever faces fontconfig offers (a second run hides the Gothic ones).
class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }
    void scaleOneAsBefore();
    void logoSharpAtScaleTwo();
    void icon();
    void captionsFit();

private:
    QImage render(const char *scale);

    QTemporaryDir m_out;
};

namespace {

QRect logoArea(int scale)
{
    const auto logo = std::find_if(layout::kControls.begin(), layout::kControls.end(),
                                   [](const layout::Control &c) { return c.kind == layout::Kind::Image; });
    const auto px = [scale](int twips) { return scale * layout::toPixels(twips, 96); };
    return {px(logo->left), px(logo->top), px(logo->width), px(logo->height)};
}

// Squared steps between neighbours inside each 2 by 2 block: none in a picture enlarged pixel
// by pixel, little in one enlarged smoothly, much where the edges were drawn at the finer grid.
qint64 detailWithinBlocks(const QImage &image)
{
    qint64 energy = 0;
    const auto step = [&](int x, int y, int dx, int dy) {
        const int d = qGray(image.pixel(x, y)) - qGray(image.pixel(x + dx, y + dy));
        energy += qint64(d) * d;
    };
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2) {
            step(x, y, 1, 0);
            step(x, y + 1, 1, 0);
            step(x, y, 0, 1);
            step(x + 1, y, 0, 1);
        }
    return energy;
}

} // namespace

QImage TestPictures::render(const char *scale)
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
    const QImage two = render("2").copy(logoArea(2));
    const QImage enlarged =
        render("1").copy(logoArea(1)).scaled(two.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    qint64 difference = 0;
    for (int y = 0; y < two.height(); ++y)
        for (int x = 0; x < two.width(); ++x)
            difference += qAbs(qGray(two.pixel(x, y)) - qGray(enlarged.pixel(x, y)));
    // The same mark in the same place, its edges drawn at the finer grid.
    QCOMPARE_LT(difference / (qint64(two.width()) * two.height()), 16);
    QCOMPARE_GT(detailWithinBlocks(two), 3 * detailWithinBlocks(enlarged) / 2);
}

void TestPictures::icon()
{
    for (const int size : {16, 128}) { // the least and the most an X window is given
        const QImage picture = layout::applicationIcon().pixmap(QSize(size, size)).toImage();
        QCOMPARE(picture.size(), QSize(size, size));
        QCOMPARE(picture.pixelColor(size * 14 / 32, size * 18 / 32), QColor(Qt::cyan)); // the lens
    }
}

void TestPictures::captionsFit()
{
    QWidget window;
    layout::build(&window, window.logicalDpiY());
    for (const QLabel *label : window.findChildren<QLabel *>())
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                 qPrintable(label->objectName()));
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
