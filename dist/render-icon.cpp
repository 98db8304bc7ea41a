// Renders a drawing as one PNG: render-icon DRAWING SIZE OUT.png, SIZE a number of pixels for a
// square icon of the theme, or a scale such as 2x for the drawing at a screen's density. Part of
// the build only; nothing installs it.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: render-icon DRAWING SIZE|SCALEx OUT.png\n");
        return 2;
    }
    QSvgRenderer drawing(QString::fromLocal8Bit(argv[1]));
    const QByteArray sizeArgument(argv[2]);
    const bool scale = sizeArgument.endsWith('x');
    const int number = sizeArgument.chopped(scale ? 1 : 0).toInt();
    const QSize size = scale ? drawing.defaultSize() * number : QSize(number, number);
    if (!drawing.isValid() || size.isEmpty()) {
        std::fprintf(stderr, "render-icon: no drawing in %s, or no size in %s\n", argv[1], argv[2]);
        return 1;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawing.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
