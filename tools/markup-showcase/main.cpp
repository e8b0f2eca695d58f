// markup-showcase: renders a markup sample that uses every feature of the markup, and each of the
// sixteen background effects, into PNG files for a person to look at.
//   markup-showcase OUTPUT_FOLDER
#include "DrawEffects.h"
#include "MarkupRenderer.h"
#include "QPainterMarkupCanvas.h"
#include "QtMarkupSupport.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

using namespace quorvex::markup;

namespace {

// A small picture drawn here: a camera-like glyph on a magenta (mask) background.
QImage MakeGlyph(QColor body)
{
    QImage image(32, 24, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(body);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 6, 28, 16), 3, 3);
    p.drawRect(QRectF(10, 3, 12, 4));
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(QPointF(16, 14), 6, 6);
    p.setBrush(QColor(40, 60, 90));
    p.drawEllipse(QPointF(16, 14), 3.5, 3.5);
    return image;
}

const char* kEffectNames[16] = {"solid",      "hgradient", "vgradient", "hcgradient", "vcgradient", "3hgradient",
                                "3vgradient", "noise",     "diagshade", "hshade",     "vshade",     "hbump",
                                "vbump",      "softbump",  "hardbump",  "metal"};

const char* kSample =
    "<h1>Markup showcase</h1><br>"
    "<h2>Fonts and colours</h2><br>"
    "Plain, <b>bold</b>, <b><b>bolder</b></b>, <i>italic</i>, <u>underlined</u>, <s>struck</s>, "
    "<font style=o>overlined</font>, <font color=crimson>crimson</font>, <font color=#2a7ab0>#2a7ab0</font>, "
    "<font face=\"Courier\" size=4>Courier size 4</font>, <font size=7>7</font>, <font size=150%>150%</font>, "
    "<font bkgnd=gold>on gold</font>.<br>"
    "Nested: <b>bold <i>bold italic <u>and underlined <font color=green>in green</font></u></i></b> back to plain.<br>"
    "<span class=cpp-comment>// a class from the style sheet</span> <code>code()</code> <big>big</big> "
    "<small>small</small> x<sup>2</sup> H<sub>2</sub>O<br>"
    "Entities: &copy; &reg; &trade; &euro; &pound; &bull; &para; &iquest; &lt;tag&gt; &amp; &quot;quoted&quot;<br>"
    "Tabs:<t>one<t>two<t=2>two stops<br>"
    "<hr width=50% size=2 color=steelblue><br>"
    "<center>Centred text with a <a href=\"https://example.org/quorvex\">link to the web</a> and a "
    "<a msg=\"details\">message link</a>.</center><br>"
    "<right>Right-aligned line.</right><br>"
    "<justify>Justified text spreads the spare width of each wrapped line over its blanks, so both edges "
    "line up; the last line of the paragraph keeps its natural spacing.</justify><br>"
    "Images: <bmp idres=1> plain <bmp idres=1 style=g> grey <bmp idres=1 style=d> darker "
    "<bmp idres=1 style=l> lighter <bmp idres=1 style=s> shadow <icon handle=42 width=24 height=24> icon "
    "<ilst idres=2 cx=16 cy=16 index=2> strip frame <bmp idres=1 width=200%> 200%<br>"
    "<table border=2 borderstyle=solid bordercolorlight=#8aa0c0 bordercolordark=#2a3a5a cellpadding=4 "
    "cellspacing=2 bgeffect=vgradient bgcolor=#eef3fa bgendcolor=#c8d6ea>"
    "<tr><td colspan=2 bgcolor=#2a3a5a><font color=white><b>Spans and borders</b></font></td>"
    "<td rowspan=3 bgeffect=vbump bgcolor=#f8f5ee bgmidcolor=white bgendcolor=#f8f5ee valign=middle>"
    "three rows<br>tall</td></tr>"
    "<tr><td borderstyle=dashed>dashed</td><td borderstyle=dotted>dotted</td></tr>"
    "<tr><td borderstyle=double>double</td><td bgeffect=metal bgcolor=#d0d4da bgmidcolor=#f4f6f8 "
    "bgendcolor=#a0a8b0 width=90>metal cell</td></tr>"
    "</table>"
    "After the table.";

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: markup-showcase OUTPUT_FOLDER\n");
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    QtMarkupImageProvider images;
    const QString glyphPath = out.filePath("glyph.png");
    MakeGlyph(QColor(60, 120, 200)).save(glyphPath);
    images.SetResourceImage(1, glyphPath);
    QImage strip(64, 16, QImage::Format_ARGB32);
    strip.fill(QColor(255, 0, 255));
    {
        QPainter p(&strip);
        const QColor colours[] = {Qt::red, Qt::darkGreen, Qt::blue, Qt::darkYellow};
        for (int i = 0; i < 4; ++i) {
            p.setBrush(colours[i]);
            p.drawEllipse(QRect(i * 16 + 2, 2, 12, 12));
        }
    }
    const QString stripPath = out.filePath("strip.png");
    strip.save(stripPath);
    images.SetResourceImage(2, stripPath);
    // A handle's picture carries its own transparency, as an icon does.
    QImage icon = MakeGlyph(QColor(200, 90, 40));
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            if (icon.pixel(x, y) == qRgb(255, 0, 255))
                icon.setPixel(x, y, qRgba(0, 0, 0, 0));
    images.RegisterHandle(42, icon);

    MarkupRenderer renderer(PaletteSystemColor);
    renderer.SetImageProvider(&images);
    renderer.SetMaximumWidth(620);

    QImage page(660, 10, QImage::Format_RGB32);
    Size size;
    {
        QPainter measure(&page);
        QPainterMarkupCanvas canvas(measure);
        size = renderer.Measure(canvas, kSample);
    }
    page = QImage(size.width + 40, size.height + 40, QImage::Format_RGB32);
    {
        QPainter painter(&page);
        QPainterMarkupCanvas canvas(painter);
        ClassicRandom random;
        PaintEffect(canvas, ComputeEffect(12, Rect{0, 0, page.width(), page.height()}, 0xEEF5F8, 0xFFFFFF, 0xEEF5F8,
                                          0, 0, random));
        renderer.Draw(canvas, Rect{20, 20, 20 + size.width, 20 + size.height});
    }
    page.save(out.filePath("markup.png"));

    // The sixteen effects side by side, and one file each.
    const int tileW = 160, tileH = 100;
    QImage overview(4 * (tileW + 10) + 10, 4 * (tileH + 30) + 10, QImage::Format_RGB32);
    overview.fill(Qt::white);
    QPainter painter(&overview);
    QPainterMarkupCanvas canvas(painter);
    for (int effect = 0; effect < 16; ++effect) {
        const int x = 10 + (effect % 4) * (tileW + 10), y = 10 + (effect / 4) * (tileH + 30);
        ClassicRandom random;
        const Colorref c1 = 0x8B3D48, c2 = 0xF0FAFF, c3 = 0x20A5DA;
        const int granularity = effect >= 7 ? 5 : 0;
        PaintEffect(canvas, ComputeEffect(effect, Rect{x, y, x + tileW, y + tileH}, c1, c2, c3, granularity, 0, random));
        painter.setPen(Qt::black);
        painter.setFont(QFont("DejaVu Sans", 9));
        painter.drawText(x, y + tileH + 16, QString("%1 %2 (G=%3)").arg(effect).arg(kEffectNames[effect]).arg(granularity));

        QImage single(tileW, tileH, QImage::Format_RGB32);
        QPainter sp(&single);
        QPainterMarkupCanvas singleCanvas(sp);
        ClassicRandom again;
        PaintEffect(singleCanvas, ComputeEffect(effect, Rect{0, 0, tileW, tileH}, c1, c2, c3, granularity, 0, again));
        sp.end();
        single.save(out.filePath(QString("effect-%1-%2.png").arg(effect, 2, 10, QChar('0')).arg(kEffectNames[effect])));
    }
    painter.end();
    overview.save(out.filePath("effects.png"));
    std::printf("wrote %s/markup.png, effects.png and 16 effect-*.png\n", argv[1]);
    return 0;
}
