#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

namespace wibblet {
namespace {

QImage Render(QSvgRenderer& renderer)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

int PaintedPixels(const QImage& image)
{
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return painted;
}

// Every icon a message can carry is built in, drawn for 32 px, covers a good part of its
// square, and no two look the same (a wrong alias in the resource file would repeat one).
TEST(MessageIcons, AllTenLoadAt32PxAndDiffer)
{
    QImage images[10];
    for (int n = 0; n < 10; ++n) {
        const QString path = QStringLiteral(":/icons/msg%1.svg").arg(n);
        QSvgRenderer renderer(path);
        ASSERT_TRUE(renderer.isValid()) << path.toStdString();
        EXPECT_EQ(renderer.defaultSize(), QSize(32, 32)) << path.toStdString();
        EXPECT_EQ(renderer.viewBoxF(), QRectF(0, 0, 32, 32)) << path.toStdString();
        images[n] = Render(renderer);
        EXPECT_GT(PaintedPixels(images[n]), 32 * 32 / 3) << path.toStdString();
    }
    for (int a = 0; a < 10; ++a)
        for (int b = a + 1; b < 10; ++b)
            EXPECT_NE(images[a], images[b]) << "msg" << a << " and msg" << b;
}

} // namespace
} // namespace wibblet
