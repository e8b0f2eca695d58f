// The QPainter adapter: fonts sized by their cell height, text, images and effects on a QImage.
#include "DrawEffects.h"
#include "MarkupRenderer.h"
#include "QPainterMarkupCanvas.h"
#include "QtMarkupSupport.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <gtest/gtest.h>

using namespace quorvex::markup;

namespace {

// The bounding box of the pixels that differ from white.
QRect InkBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
    return box;
}

}  // namespace

TEST(QPainterMarkupCanvas, AFontsCellHeightIsTheSizeAsked)
{
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    QPainterMarkupCanvas canvas(painter);
    for (int size = 8; size <= 48; size += 5) {
        FontSpec requested;
        requested.cellHeight = size;
        canvas.SetFont(requested);
        const FontMetrics m = canvas.Metrics();
        EXPECT_LE(m.height, size) << size;
        EXPECT_GE(m.height, size - 2) << size;
        EXPECT_EQ(m.height, m.ascent + m.descent);
    }
}

TEST(QPainterMarkupCanvas, DrawsMeasuredMarkupInsideItsBlock)
{
    MarkupRenderer renderer;
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    Size size;
    {
        QPainter painter(&image);
        QPainterMarkupCanvas canvas(painter);
        size = renderer.Measure(canvas, "<b>Quorvex</b> found <font color=red>12</font> pictures");
        renderer.Draw(canvas, Rect{10, 20, 10 + size.width, 20 + size.height});
    }
    const QRect ink = InkBox(image);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 10);
    EXPECT_GE(ink.top(), 20);
    EXPECT_LE(ink.right(), 10 + size.width);
    EXPECT_LE(ink.bottom(), 20 + size.height);
    EXPECT_GT(size.width, 100);
    // Red text was drawn somewhere.
    bool red = false;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            red = red || (qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 80);
    EXPECT_TRUE(red);
}

TEST(QPainterMarkupCanvas, PaintsEffectsAndImagesAtTheirPlace)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QPainterMarkupCanvas canvas(painter);
        ClassicRandom random;
        PaintEffect(canvas, ComputeEffect(9, Rect{0, 0, 20, 30}, 0x0000FF, 0x00FF00, 0xFF0000, 0, 0, random));
        canvas.DrawImage(Rect{20, 0, 40, 10}, ArgbImage{1, 1, {0xFF00FF00}});
        canvas.DrawImage(Rect{20, 10, 40, 20}, ArgbImage{1, 1, {0x00000000}});  // fully transparent
    }
    EXPECT_GT(qRed(image.pixel(5, 0)), 200);    // the top row is near the first colour (red)
    EXPECT_GT(qBlue(image.pixel(5, 29)), 200);  // the bottom row near the last (blue)
    EXPECT_EQ(image.pixel(30, 5), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(30, 15), qRgb(255, 255, 255));
}

TEST(QtMarkupSupport, SystemColoursFollowThePaletteAndImagesConvert)
{
    const QPalette palette = QGuiApplication::palette();
    const QColor base = palette.color(QPalette::Base);
    EXPECT_EQ(PaletteSystemColor(SystemColor::Window), MakeColorref(base.red(), base.green(), base.blue()));
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(10, 20, 30, 255));
    picture.setPixel(1, 0, qRgba(0, 0, 0, 0));
    const ArgbImage converted = ToArgbImage(picture);
    EXPECT_EQ(converted.pixels[0], 0xFF0A141Eu);
    EXPECT_EQ(converted.pixels[1] >> 24, 0u);
    QtMarkupImageProvider provider;
    EXPECT_FALSE(provider.FileImage("/nonexistent.png"));
    EXPECT_FALSE(provider.ResourceImage(ImageTagKind::Bitmap, 5));
    provider.RegisterHandle(9, picture);
    EXPECT_EQ(provider.HandleImage(9)->width, 2);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
