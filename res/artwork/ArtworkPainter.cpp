#include "ArtworkPainter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace quorvex::artwork {

namespace {

// The look: navy ink, an azure accent (the menu highlight), pale sky and cream surfaces.
const QColor kNavy(0x1D, 0x35, 0x57);
const QColor kAzure(0x00, 0xA2, 0xE8);
const QColor kSky(0xDF, 0xF0, 0xF8);
const QColor kCream(0xF8, 0xF5, 0xEE);
const QColor kSlate(0x2B, 0x3A, 0x4A);
const QColor kSun(0xF4, 0xA2, 0x59);
const QColor kLeaf(0x3F, 0xA3, 0x4D);
const QColor kRed(0xD6, 0x45, 0x45);

// Dialog units to pixels with the base units of 8-point MS Sans Serif (4 × 8 units = 6 × 13 px).
int Dx(int units) { return (units * 6 + 2) / 4; }
int Dy(int units) { return (units * 13 + 4) / 8; }

QImage Canvas(int w, int h, QColor fill = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

void Prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
}

QFont Font(int pixelSize, bool bold = false)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// ---- glyphs, drawn into a square of side s at (x, y)

void PhotoGlyph(QPainter& p, QRectF r, QColor frame)
{
    p.setPen(QPen(frame, std::max(1.0, r.width() / 14)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(r.adjusted(r.width() * 0.06, r.height() * 0.16, -r.width() * 0.06, -r.height() * 0.12),
                      r.width() * 0.08, r.width() * 0.08);
    const QRectF inner = r.adjusted(r.width() * 0.16, r.height() * 0.26, -r.width() * 0.16, -r.height() * 0.22);
    p.setPen(Qt::NoPen);
    p.setBrush(kSky);
    p.drawRect(inner);
    p.setBrush(kSun);
    p.drawEllipse(QPointF(inner.left() + inner.width() * 0.72, inner.top() + inner.height() * 0.3),
                  inner.width() * 0.12, inner.width() * 0.12);
    QPainterPath hills;
    hills.moveTo(inner.bottomLeft());
    hills.lineTo(inner.left() + inner.width() * 0.35, inner.top() + inner.height() * 0.45);
    hills.lineTo(inner.left() + inner.width() * 0.6, inner.top() + inner.height() * 0.75);
    hills.lineTo(inner.left() + inner.width() * 0.78, inner.top() + inner.height() * 0.55);
    hills.lineTo(inner.bottomRight());
    hills.closeSubpath();
    p.setBrush(kLeaf);
    p.drawPath(hills);
}

void FileGlyph(QPainter& p, QRectF r, QColor ink, QColor paper, const QString& label = QString())
{
    const double fold = r.width() * 0.28;
    QPainterPath page;
    page.moveTo(r.left() + r.width() * 0.14, r.top() + r.height() * 0.04);
    page.lineTo(r.right() - r.width() * 0.14 - fold, r.top() + r.height() * 0.04);
    page.lineTo(r.right() - r.width() * 0.14, r.top() + r.height() * 0.04 + fold);
    page.lineTo(r.right() - r.width() * 0.14, r.bottom() - r.height() * 0.04);
    page.lineTo(r.left() + r.width() * 0.14, r.bottom() - r.height() * 0.04);
    page.closeSubpath();
    p.setPen(QPen(ink, std::max(1.0, r.width() / 16)));
    p.setBrush(paper);
    p.drawPath(page);
    if (!label.isEmpty()) {
        const QRectF band(r.left() + r.width() * 0.02, r.top() + r.height() * 0.52, r.width() * 0.78, r.height() * 0.34);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRoundedRect(band, 1.5, 1.5);
        p.setPen(Qt::white);
        QFont font = Font(std::max(5, static_cast<int>(band.height() * 0.9)), true);
        font.setStretch(QFont::Condensed);
        p.setFont(font);
        p.drawText(band, Qt::AlignCenter, label);
    }
}

void ArrowDown(QPainter& p, QPointF tip, double size, QColor color)
{
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip.x() - size * 0.5, tip.y() - size * 0.5);
    arrow.lineTo(tip.x() - size * 0.2, tip.y() - size * 0.5);
    arrow.lineTo(tip.x() - size * 0.2, tip.y() - size);
    arrow.lineTo(tip.x() + size * 0.2, tip.y() - size);
    arrow.lineTo(tip.x() + size * 0.2, tip.y() - size * 0.5);
    arrow.lineTo(tip.x() + size * 0.5, tip.y() - size * 0.5);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(arrow);
}

void GearGlyph(QPainter& p, QPointF c, double radius, QColor color)
{
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a0 = (i * M_PI) / teeth, a1 = ((i + 1) * M_PI) / teeth;
        const double rr = i % 2 == 0 ? radius : radius * 0.76;
        const QPointF p0(c.x() + rr * std::cos(a0), c.y() + rr * std::sin(a0));
        const QPointF p1(c.x() + rr * std::cos(a1), c.y() + rr * std::sin(a1));
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, radius * 0.32, radius * 0.32);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(gear.subtracted(hole));
}

void CircleGlyph(QPainter& p, QRectF r, QColor color, const QString& mark)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(r);
    p.setPen(Qt::white);
    p.setFont(Font(static_cast<int>(r.height() * 0.78), true));
    p.drawText(r.adjusted(0, -r.height() * 0.04, 0, 0), Qt::AlignCenter, mark);
}

void FolderGlyph(QPainter& p, QRectF r, bool open)
{
    const QColor back(0xE9, 0xB4, 0x4C), front(0xF6, 0xCD, 0x6A);
    p.setPen(QPen(QColor(0xB5, 0x84, 0x2B), 1));
    p.setBrush(back);
    QPainterPath tab;
    tab.moveTo(r.left() + 1, r.top() + r.height() * 0.2);
    tab.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.2);
    tab.lineTo(r.left() + r.width() * 0.5, r.top() + r.height() * 0.32);
    tab.lineTo(r.right() - 1, r.top() + r.height() * 0.32);
    tab.lineTo(r.right() - 1, r.bottom() - 1);
    tab.lineTo(r.left() + 1, r.bottom() - 1);
    tab.closeSubpath();
    p.drawPath(tab);
    p.setBrush(front);
    if (open) {
        QPainterPath flap;
        flap.moveTo(r.left() + r.width() * 0.16, r.top() + r.height() * 0.46);
        flap.lineTo(r.right(), r.top() + r.height() * 0.46);
        flap.lineTo(r.right() - r.width() * 0.14, r.bottom() - 1);
        flap.lineTo(r.left() + 1, r.bottom() - 1);
        flap.closeSubpath();
        p.drawPath(flap);
    } else {
        p.drawRect(QRectF(r.left() + 1, r.top() + r.height() * 0.42, r.width() - 2, r.height() * 0.58 - 1));
    }
}

void ApertureGlyph(QPainter& p, QPointF c, double radius, QColor ring, QColor blades)
{
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(c, radius, radius);
    for (int i = 0; i < 6; ++i) {
        const double a = i * M_PI / 3;
        QPainterPath blade;
        blade.moveTo(c);
        blade.lineTo(c.x() + radius * 0.82 * std::cos(a), c.y() + radius * 0.82 * std::sin(a));
        blade.lineTo(c.x() + radius * 0.82 * std::cos(a + M_PI / 3 * 0.8), c.y() + radius * 0.82 * std::sin(a + M_PI / 3 * 0.8));
        blade.closeSubpath();
        p.setBrush(i % 2 == 0 ? blades : blades.lighter(125));
        p.drawPath(blade);
    }
    p.setBrush(Qt::white);
    p.drawEllipse(c, radius * 0.2, radius * 0.2);
}

// ---- pieces

QImage AppIcon(int size)
{
    QImage image = Canvas(size, size);
    QPainter p(&image);
    Prepare(p);
    const QRectF r(size * 0.04, size * 0.04, size * 0.92, size * 0.92);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0x2A, 0x4E, 0x7F));
    g.setColorAt(1, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, size * 0.2, size * 0.2);
    PhotoGlyph(p, QRectF(size * 0.12, size * 0.2, size * 0.6, size * 0.6), Qt::white);
    ApertureGlyph(p, QPointF(size * 0.68, size * 0.66), size * 0.22, Qt::white, kAzure);
    return image;
}

QImage MainBackground()
{
    const int w = Dx(528), h = Dy(311);
    QImage image = Canvas(w, h, kCream);
    QPainter p(&image);
    Prepare(p);
    QLinearGradient header(0, 0, 0, Dy(62));
    header.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    header.setColorAt(1, kSky);
    p.fillRect(0, 0, w, Dy(62), header);
    p.fillRect(0, Dy(62), w, 2, kAzure);
    // A faint sector grid in the body, the picture of a card's raw sectors.
    p.setPen(QPen(QColor(0xE8, 0xE2, 0xD6), 1));
    for (int x = 0; x < w; x += 12)
        p.drawLine(x, Dy(64), x, h);
    for (int y = Dy(64); y < h; y += 12)
        p.drawLine(0, y, w, y);
    QLinearGradient fade(0, Dy(64), 0, h);
    fade.setColorAt(0, QColor(0xF8, 0xF5, 0xEE, 40));
    fade.setColorAt(1, QColor(0xF8, 0xF5, 0xEE, 230));
    p.fillRect(0, Dy(64), w, h - Dy(64), fade);
    p.fillRect(0, h - 4, w, 4, kNavy);
    return image;
}

QImage Logo(bool hover)
{
    const int w = Dx(117), h = Dy(44);
    QImage image = Canvas(w, h);
    QPainter p(&image);
    Prepare(p);
    if (hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x00, 0xA2, 0xE8, 36));
        p.drawRoundedRect(QRectF(1, 1, w - 2, h - 2), 10, 10);
    }
    ApertureGlyph(p, QPointF(h * 0.5, h * 0.5), h * 0.36, kNavy, hover ? kAzure.lighter(110) : kAzure);
    p.setPen(kNavy);
    p.setFont(Font(static_cast<int>(h * 0.29), true));
    p.drawText(QRectF(h * 0.95, h * 0.1, w - h * 0.95, h * 0.5), Qt::AlignLeft | Qt::AlignVCenter, "Quorvex");
    p.setPen(hover ? kAzure.darker(120) : kSlate);
    p.setFont(Font(static_cast<int>(h * 0.17)));
    p.drawText(QRectF(h * 0.97, h * 0.56, w - h, h * 0.3), Qt::AlignLeft | Qt::AlignVCenter, "photo recovery");
    return image;
}

// A toolbar tile: rounded, a glyph on top and a short label below.
QImage ToolTile(const QString& label, bool hover, const std::function<void(QPainter&, QRectF)>& glyph)
{
    const int w = Dx(45), h = Dy(43);
    QImage image = Canvas(w, h);
    QPainter p(&image);
    Prepare(p);
    const QRectF tile(1.5, 1.5, w - 3, h - 3);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, hover ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xFB, 0xFD, 0xFF));
    g.setColorAt(1, hover ? QColor(0xCF, 0xEC, 0xFA) : kSky);
    p.setPen(QPen(hover ? kAzure : QColor(0xB8, 0xCF, 0xDE), hover ? 2 : 1));
    p.setBrush(g);
    p.drawRoundedRect(tile, 8, 8);
    glyph(p, QRectF(w * 0.25, h * 0.1, w * 0.5, w * 0.5));
    p.setPen(hover ? kNavy : kSlate);
    p.setFont(Font(10, hover));
    p.drawText(QRectF(0, h * 0.68, w, h * 0.26), Qt::AlignCenter, label);
    return image;
}

// A wizard or dialog button: a pill with a label and an optional arrow.
QImage PillButton(int w, int h, const QString& label, bool hover, int arrow, QColor base)
{
    QImage image = Canvas(w, h);
    QPainter p(&image);
    Prepare(p);
    const QRectF pill(1, 1, w - 2, h - 2);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, hover ? base.lighter(125) : base.lighter(108));
    g.setColorAt(1, hover ? base : base.darker(110));
    p.setPen(QPen(base.darker(130), 1));
    p.setBrush(g);
    p.drawRoundedRect(pill, h / 2.0 - 1, h / 2.0 - 1);
    p.setPen(Qt::white);
    p.setFont(Font(std::max(10, h * 2 / 5), true));
    QRectF text = pill;
    if (arrow != 0) {
        const double cy = h / 2.0, s = h * 0.22;
        const double cx = arrow < 0 ? h * 0.55 : w - h * 0.55;
        QPainterPath tri;
        tri.moveTo(cx + arrow * s * 0.7, cy);
        tri.lineTo(cx - arrow * s * 0.5, cy - s);
        tri.lineTo(cx - arrow * s * 0.5, cy + s);
        tri.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPath(tri);
        p.setPen(Qt::white);
        text = arrow < 0 ? pill.adjusted(h * 0.5, 0, 0, 0) : pill.adjusted(0, 0, -h * 0.5, 0);
    }
    p.drawText(text, Qt::AlignCenter, label);
    return image;
}

QImage DialogBackground(int w, int h, const QString& title)
{
    QImage image = Canvas(w, h, kCream);
    QPainter p(&image);
    Prepare(p);
    const int band = std::min(h / 7, 26);
    QLinearGradient g(0, 0, w, 0);
    g.setColorAt(0, kNavy);
    g.setColorAt(1, QColor(0x2A, 0x4E, 0x7F));
    p.fillRect(0, 0, w, band, g);
    p.fillRect(0, band, w, 2, kAzure);
    if (!title.isEmpty()) {
        ApertureGlyph(p, QPointF(band * 0.6, band * 0.5), band * 0.3, Qt::white, kAzure);
        p.setPen(Qt::white);
        p.setFont(Font(band * 2 / 5, true));
        p.drawText(QRectF(band * 1.1, 0, w, band), Qt::AlignLeft | Qt::AlignVCenter, title);
    }
    QLinearGradient body(0, band, 0, h);
    body.setColorAt(0, QColor(0xFF, 0xFF, 0xFF, 160));
    body.setColorAt(1, QColor(0xF8, 0xF5, 0xEE, 0));
    p.fillRect(0, band + 2, w, h - band - 2, body);
    return image;
}

QImage AboutBackground()
{
    const int w = Dx(305), h = Dy(257);
    QImage image = DialogBackground(w, h, QString());
    QPainter p(&image);
    Prepare(p);
    // A large mark and the product name above the version line (which starts at 104 DU).
    ApertureGlyph(p, QPointF(w / 2.0, Dy(52)), Dy(30), kNavy, kAzure);
    p.setPen(kNavy);
    p.setFont(Font(20, true));
    p.drawText(QRectF(0, Dy(84), w, Dy(18)), Qt::AlignCenter, "Quorvex");
    p.setPen(QPen(QColor(0xD8, 0xCF, 0xBE), 1));
    p.drawLine(Dx(20), Dy(134), w - Dx(20), Dy(134));
    p.drawLine(Dx(20), Dy(200), w - Dx(20), Dy(200));
    return image;
}

QImage ScanningPicture()
{
    const int w = Dx(389), h = Dy(144);
    QImage image = Canvas(w, h, Qt::white);
    QPainter p(&image);
    Prepare(p);
    p.setPen(QPen(QColor(0xC8, 0xD8, 0xE4), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
    // A memory card...
    const QRectF card(w * 0.12, h * 0.18, h * 0.5, h * 0.64);
    QPainterPath body;
    body.moveTo(card.left() + card.width() * 0.3, card.top());
    body.lineTo(card.right(), card.top());
    body.lineTo(card.right(), card.bottom());
    body.lineTo(card.left(), card.bottom());
    body.lineTo(card.left(), card.top() + card.width() * 0.3);
    body.closeSubpath();
    p.setPen(QPen(kNavy, 2));
    p.setBrush(QColor(0x35, 0x55, 0x80));
    p.drawPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(kSun);
    for (int i = 0; i < 5; ++i)
        p.drawRect(QRectF(card.left() + card.width() * (0.36 + i * 0.12), card.top() + 4, card.width() * 0.07, card.height() * 0.14));
    p.setPen(Qt::white);
    p.setFont(Font(12, true));
    p.drawText(card.adjusted(0, card.height() * 0.45, 0, 0), Qt::AlignHCenter | Qt::AlignTop, "SD");
    // ...read sector by sector into a stream of blocks, some of them pictures found.
    const double startX = card.right() + w * 0.06, y0 = h * 0.32;
    for (int row = 0; row < 3; ++row)
        for (int i = 0; i < 14; ++i) {
            const QRectF cell(startX + i * 20, y0 + row * 20, 16, 16);
            const bool found = (i * 7 + row * 3) % 11 == 0;
            p.setPen(Qt::NoPen);
            p.setBrush(found ? kAzure : QColor(0xDF, 0xE8, 0xEF, 255 - i * 14));
            p.drawRoundedRect(cell, 3, 3);
            if (found) {
                p.setBrush(Qt::white);
                p.drawEllipse(cell.center(), 3, 3);
            }
        }
    p.setPen(kNavy);
    p.setFont(Font(16, true));
    p.drawText(QRectF(startX, h * 0.1, w - startX, h * 0.18), Qt::AlignLeft | Qt::AlignVCenter,
               "Scanning for lost pictures\u2026");
    p.setPen(kSlate);
    p.setFont(Font(11));
    p.drawText(QRectF(startX, h * 0.76, w - startX - 10, h * 0.18), Qt::AlignLeft | Qt::AlignVCenter,
               "Every sector is read; nothing on the card is changed.");
    return image;
}

QImage MenuPicture(int which)
{
    QImage image = Canvas(16, 16);
    QPainter p(&image);
    Prepare(p);
    const QRectF r(0, 0, 16, 16);
    switch (which) {
    case 153:  // Save All: two pages and an arrow
        FileGlyph(p, QRectF(3, 0, 12, 12), kSlate, kSky);
        FileGlyph(p, QRectF(0, 3, 12, 12), kNavy, Qt::white);
        ArrowDown(p, QPointF(11.5, 15.5), 8, kAzure);
        break;
    case 154:  // Save Selected: one page and an arrow
        FileGlyph(p, QRectF(0, 0, 13, 15), kNavy, Qt::white);
        ArrowDown(p, QPointF(11.5, 15.5), 8, kAzure);
        break;
    case 155:  // Setting
        GearGlyph(p, QPointF(8, 8), 7.2, kSlate);
        break;
    case 156:  // Help
        CircleGlyph(p, r.adjusted(0.5, 0.5, -0.5, -0.5), kAzure, "?");
        break;
    case 157:  // About
        CircleGlyph(p, r.adjusted(0.5, 0.5, -0.5, -0.5), kNavy, "i");
        break;
    case 158: {  // Exit: a door and an arrow out of it
        p.setPen(QPen(kSlate, 1.4));
        p.setBrush(kSky);
        p.drawRect(QRectF(1.5, 1.5, 8, 13));
        p.setPen(QPen(kRed, 2));
        p.drawLine(QPointF(6, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(11.5, 5), QPointF(14.5, 8));
        p.drawLine(QPointF(11.5, 11), QPointF(14.5, 8));
        break;
    }
    default:
        break;
    }
    return image;
}

QImage DriveIcon(int kind)
{
    QImage image = Canvas(20, 20);
    QPainter p(&image);
    Prepare(p);
    if (kind == 0) {  // fixed disk
        QLinearGradient g(0, 5, 0, 16);
        g.setColorAt(0, QColor(0xE8, 0xEC, 0xF0));
        g.setColorAt(1, QColor(0x9C, 0xA8, 0xB4));
        p.setPen(QPen(kSlate, 1));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(1.5, 5.5, 17, 10), 2, 2);
        p.setPen(Qt::NoPen);
        p.setBrush(kLeaf);
        p.drawEllipse(QPointF(15, 12.5), 1.3, 1.3);
        p.setPen(QPen(QColor(0x60, 0x6C, 0x78), 1));
        p.drawLine(QPointF(4, 12.5), QPointF(11, 12.5));
    } else if (kind == 1) {  // removable: a memory card
        QPainterPath card;
        card.moveTo(7, 1.5);
        card.lineTo(16.5, 1.5);
        card.lineTo(16.5, 18.5);
        card.lineTo(3.5, 18.5);
        card.lineTo(3.5, 5);
        card.closeSubpath();
        p.setPen(QPen(kNavy, 1));
        p.setBrush(QColor(0x35, 0x55, 0x80));
        p.drawPath(card);
        p.setPen(Qt::NoPen);
        p.setBrush(kSun);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(7.5 + i * 2.2, 2.5, 1.3, 3.5));
        p.setBrush(kAzure);
        p.drawRect(QRectF(5.5, 11, 9, 5));
    } else {  // floppy
        p.setPen(QPen(kNavy, 1));
        p.setBrush(QColor(0x3A, 0x4A, 0x5C));
        p.drawRoundedRect(QRectF(2.5, 2.5, 15, 15), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xC8, 0xD0, 0xD8));
        p.drawRect(QRectF(6, 2.5, 8, 5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5, 10.5, 10, 7));
    }
    return image;
}

QImage TreeIcon(int index)
{
    QImage image = Canvas(16, 16);
    QPainter p(&image);
    Prepare(p);
    const QRectF r(0, 0, 16, 16);
    switch (index) {
    case 0:  // a picture file of any other type
        FileGlyph(p, r, kSlate, Qt::white, "IMG");
        break;
    case 1:
        FileGlyph(p, r, QColor(0x6A, 0x4C, 0x9C), Qt::white, "BMP");
        break;
    case 2:
        FileGlyph(p, r, kLeaf, Qt::white, "GIF");
        break;
    case 3:  // JPG: a photo
        PhotoGlyph(p, r, kNavy);
        break;
    case 7:
        FolderGlyph(p, r, true);
        break;
    case 8:
        FolderGlyph(p, r, false);
        break;
    default:  // 4-6 are never shown; a plain page keeps the icon list complete
        FileGlyph(p, r, kSlate, kCream);
        break;
    }
    return image;
}

// The hand cursors: 32 × 32 with the hot spot at the tip of the finger (8, 1).
QImage HandCursor(bool pressed)
{
    QImage image = Canvas(32, 32);
    QPainter p(&image);
    Prepare(p);
    QPainterPath hand;
    const double drop = pressed ? 3 : 0;
    hand.moveTo(6.5, 2.5 + drop);
    hand.cubicTo(6.5, 0.5 + drop, 10.5, 0.5 + drop, 10.5, 2.5 + drop);
    hand.lineTo(10.5, 11);
    hand.lineTo(13, 10);
    hand.cubicTo(14.5, 9.5, 16, 10, 16, 11.5);
    hand.lineTo(18.5, 10.8);
    hand.cubicTo(20, 10.5, 21, 11.2, 21, 12.6);
    hand.lineTo(23, 12.4);
    hand.cubicTo(24.5, 12.4, 25, 13.4, 25, 14.5);
    hand.lineTo(25, 21);
    hand.cubicTo(25, 25, 22, 28.5, 18, 28.5);
    hand.lineTo(13, 28.5);
    hand.cubicTo(10.5, 28.5, 8.5, 27, 7.5, 25);
    hand.lineTo(2.8, 16.5);
    hand.cubicTo(2, 15, 3.2, 13.2, 4.8, 14);
    hand.lineTo(6.5, 15.5);
    hand.closeSubpath();
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(pressed ? kSky : Qt::white);
    p.drawPath(hand);
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.drawLine(QPointF(16, 12), QPointF(16, 17));
    p.drawLine(QPointF(21, 13), QPointF(21, 17.5));
    return image;
}

QImage Placeholder(bool camera)
{
    QImage image = Canvas(100, 100, Qt::white);
    QPainter p(&image);
    Prepare(p);
    QRadialGradient glow(50, 46, 48);
    glow.setColorAt(0, kSky);
    glow.setColorAt(1, Qt::white);
    p.fillRect(image.rect(), glow);
    if (camera) {
        p.setPen(QPen(kNavy, 2.5));
        p.setBrush(QColor(0x35, 0x55, 0x80));
        p.drawRoundedRect(QRectF(14, 30, 72, 46), 8, 8);
        p.drawRect(QRectF(36, 22, 26, 10));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(50, 53), 17, 17);
        ApertureGlyph(p, QPointF(50, 53), 13, kNavy, kAzure);
        p.setPen(Qt::NoPen);
        p.setBrush(kSun);
        p.drawEllipse(QPointF(76, 38), 3, 3);
        p.setPen(kSlate);
        p.setFont(Font(11, true));
        p.drawText(QRectF(0, 80, 100, 16), Qt::AlignCenter, "RAW");
    } else {
        p.setPen(QPen(kNavy, 2));
        p.setBrush(QColor(0x2B, 0x3A, 0x4A));
        p.drawRect(QRectF(18, 20, 64, 52));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (int i = 0; i < 6; ++i) {
            p.drawRect(QRectF(22 + i * 10, 23, 5, 5));
            p.drawRect(QRectF(22 + i * 10, 64, 5, 5));
        }
        QPainterPath play;
        play.moveTo(43, 36);
        play.lineTo(61, 46);
        play.lineTo(43, 56);
        play.closeSubpath();
        p.setBrush(kAzure);
        p.drawPath(play);
        p.setPen(kSlate);
        p.setFont(Font(11, true));
        p.drawText(QRectF(0, 78, 100, 16), Qt::AlignCenter, "AUDIO / VIDEO");
    }
    return image;
}

void AddPair(std::vector<ArtworkPiece>& pieces, const QString& name, std::function<QImage(bool)> draw)
{
    pieces.push_back({name + ".png", [draw] { return draw(false); }});
    pieces.push_back({name + "-hover.png", [draw] { return draw(true); }});
}

}  // namespace

std::vector<ArtworkPiece> AllArtwork()
{
    std::vector<ArtworkPiece> pieces;
    pieces.push_back({"app-icon.png", [] { return AppIcon(256); }});
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        pieces.push_back({QString("icon-%1.png").arg(size), [size] { return AppIcon(size); }});
    pieces.push_back({"main-background.png", MainBackground});
    AddPair(pieces, "logo", Logo);
    AddPair(pieces, "save-selected", [](bool hover) {
        return ToolTile("Selected", hover, [](QPainter& p, QRectF r) {
            FileGlyph(p, r.adjusted(0, 0, -r.width() * 0.1, 0), kNavy, Qt::white);
            ArrowDown(p, QPointF(r.right() - r.width() * 0.14, r.bottom()), r.width() * 0.55, kAzure);
        });
    });
    AddPair(pieces, "save-all", [](bool hover) {
        return ToolTile("Save All", hover, [](QPainter& p, QRectF r) {
            FileGlyph(p, r.adjusted(r.width() * 0.2, 0, 0, -r.height() * 0.2), kSlate, kSky);
            FileGlyph(p, r.adjusted(0, r.height() * 0.18, -r.width() * 0.2, 0), kNavy, Qt::white);
            ArrowDown(p, QPointF(r.right() - r.width() * 0.14, r.bottom()), r.width() * 0.55, kAzure);
        });
    });
    AddPair(pieces, "settings", [](bool hover) {
        return ToolTile("Settings", hover,
                        [](QPainter& p, QRectF r) { GearGlyph(p, r.center(), r.width() * 0.48, kSlate); });
    });
    const int wizardW = Dx(58), wizardH = Dy(18);
    AddPair(pieces, "back", [=](bool hover) { return PillButton(wizardW, wizardH, "Back", hover, -1, kSlate); });
    AddPair(pieces, "next", [=](bool hover) { return PillButton(wizardW, wizardH, "Next", hover, 1, kAzure.darker(112)); });
    AddPair(pieces, "stop", [=](bool hover) { return PillButton(Dx(58), Dy(20), "Stop", hover, 0, kRed); });
    AddPair(pieces, "ok", [=](bool hover) { return PillButton(Dx(58), Dy(17), "OK", hover, 0, kAzure.darker(112)); });
    AddPair(pieces, "cancel", [=](bool hover) { return PillButton(Dx(58), Dy(17), "Cancel", hover, 0, kSlate); });
    AddPair(pieces, "stop-saving", [=](bool hover) { return PillButton(Dx(58), Dy(18), "Stop", hover, 0, kRed); });
    pieces.push_back({"settings-background.png", [] { return DialogBackground(Dx(246), Dy(110), "Settings"); }});
    pieces.push_back({"about-background.png", AboutBackground});
    pieces.push_back({"save-progress-background.png", [] { return DialogBackground(Dx(350), Dy(103), "Saving files"); }});
    pieces.push_back({"scanning.png", ScanningPicture});
    for (int id = 153; id <= 158; ++id)
        pieces.push_back({QString("menu-%1.png").arg(id), [id] { return MenuPicture(id); }});
    for (int index = 0; index <= 8; ++index)
        pieces.push_back({QString("tree-%1.png").arg(172 + index), [index] { return TreeIcon(index); }});
    pieces.push_back({"drive-fixed.png", [] { return DriveIcon(0); }});
    pieces.push_back({"drive-removable.png", [] { return DriveIcon(1); }});
    pieces.push_back({"drive-floppy.png", [] { return DriveIcon(2); }});
    pieces.push_back({"cursor-1051.png", [] { return HandCursor(false); }});
    pieces.push_back({"cursor-1053.png", [] { return HandCursor(true); }});
    pieces.push_back({"camera.bmp", [] { return Placeholder(true).convertToFormat(QImage::Format_RGB888); }});
    pieces.push_back({"mpg2.bmp", [] { return Placeholder(false).convertToFormat(QImage::Format_RGB888); }});
    return pieces;
}

}  // namespace quorvex::artwork
