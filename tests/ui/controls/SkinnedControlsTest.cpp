// The skinned controls, offscreen: picture buttons, the owner-drawn menu, labels and group boxes.
#include "CColorLabel.h"
#include "CIconMenu.h"
#include "CRoundGroupBox.h"
#include "CSkinButton.h"
#include "CThemeGroupBox.h"
#include "ResourceTable.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using namespace quorvex;
using namespace quorvex::controls;

namespace {

// A parent that paints itself in one flat colour, or with a checker picture.
class Backdrop : public QWidget {
public:
    explicit Backdrop(QColor color, bool checker = false) : color_(color), checker_(checker) { resize(320, 240); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), color_);
        if (checker_)
            for (int y = 0; y < height(); y += 8)
                for (int x = (y / 8) % 2 * 8; x < width(); x += 16)
                    p.fillRect(x, y, 8, 8, Qt::black);
    }

private:
    QColor color_;
    bool checker_;
};

bool SameColor(QRgb a, QRgb b, int tolerance = 0)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

bool HasInk(const QImage& image, QRect area, QColor background)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (!SameColor(image.pixel(x, y), background.rgb(), 40))
                return true;
    return false;
}

}  // namespace

class SkinnedControlsTest : public QObject {
    Q_OBJECT

private slots:
    void theArtworkTableIsComplete()
    {
        for (const res::ResourceEntry& entry : res::ResourceTable())
            QVERIFY2(!QImage(QString(":/res/") + entry.fileName).isNull(), entry.fileName);
        QCOMPARE(res::LoadBitmap(res::id::kMenuSaveAll).size(), QSize(16, 16));
        QCOMPARE(res::LoadBitmap(172).size(), QSize(16, 16));
        QCOMPARE(res::LoadBitmap(res::id::kDriveFloppy).size(), QSize(20, 20));
        QCOMPARE(res::LoadBitmap(res::id::kMainBackground).size(), QSize(792, 505));  // 528 × 311 dialog units
        QCOMPARE(res::LoadBitmap(res::id::kNext).size(), QSize(87, 29));              // 58 × 18 dialog units
        QVERIFY(res::LoadBitmap(4242).isNull());
        QCOMPARE(res::LoadCursor(res::id::kHoverCursor).hotSpot(), QPoint(8, 1));
    }

    void aSkinButtonShowsItsHoverPictureOnEntryAndTheNormalOneOnLeaving()
    {
        Backdrop parent(Qt::magenta);
        CSkinButton button(&parent);
        button.setGeometry(10, 10, 100, 90);
        QVERIFY(button.SetButtonImages(res::id::kSaveAll, res::id::kSaveAllHover));
        QCOMPARE(button.ImageSize(), res::LoadBitmap(res::id::kSaveAll).size());
        parent.show();
        const QImage normal = res::LoadBitmap(res::id::kSaveAll).toImage();
        const QImage hover = res::LoadBitmap(res::id::kSaveAllHover).toImage();
        const QPoint probe(20, 60);  // on the tile's label, where the two pictures differ
        QVERIFY(normal.pixel(probe) != hover.pixel(probe));

        QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
        QApplication::sendEvent(&button, &enter);
        QVERIFY(button.IsHovered());
        QCOMPARE(button.grab().toImage().pixel(probe), hover.pixel(probe));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QVERIFY(!button.IsHovered());
        QCOMPARE(button.grab().toImage().pixel(probe), normal.pixel(probe));
    }

    void aSmallPictureSitsTopLeftAndTheRestIsLeftToTheParent()
    {
        Backdrop parent(QColor(0, 200, 0));
        CSkinButton button(&parent);
        button.setGeometry(10, 10, 200, 120);
        button.SetButtonImages(res::id::kMenuHelp, res::id::kMenuHelp);  // 16 × 16 in a 200 × 120 button
        parent.show();
        const QImage shot = parent.grab().toImage();
        QVERIFY(SameColor(shot.pixel(10 + 150, 10 + 100), QColor(0, 200, 0).rgb()));
        QVERIFY(!SameColor(shot.pixel(10 + 8, 10 + 8), QColor(0, 200, 0).rgb()));
    }

    void aDoubleClickCountsAsTwoClicks()
    {
        CSkinButton button;
        button.resize(60, 30);
        button.show();
        QSignalSpy clicks(&button, &QAbstractButton::clicked);
        // What a window system delivers for a double click: press, release, double click, release.
        const QPoint at(10, 10);
        QTest::mousePress(&button, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, at);
        QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(at), button.mapToGlobal(QPointF(at)), Qt::LeftButton,
                           Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&button, &second);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, at);
        QCOMPARE(clicks.count(), 2);
    }

    void theTooltipWrapsLongTextsAt400Pixels()
    {
        CSkinButton button;
        button.SetHoverTip(QString("Click to save all the images. ").repeated(12), 1);
        QVERIFY(button.TooltipActive());
        QLabel* tip = button.Tooltip();
        QVERIFY(tip != nullptr);
        QVERIFY(tip->width() <= CSkinButton::kTipWrapWidth);
        QVERIFY(tip->height() > 3 * tip->fontMetrics().height());
        button.SetHoverTip(nullptr, 0);  // a null text changes nothing
        QVERIFY(button.TooltipActive());
        button.SetHoverTip("short", 0);
        QVERIFY(!button.TooltipActive());
    }

    void everyMenuEntryIsAsLargeAsTheMenuSaysWhateverItsLabel()
    {
        CIconMenu menu("&File");
        menu.SetEntryHeight(20);
        menu.SetEntryWidth(150);
        menu.SetDrawStyle(3);
        QAction* a = menu.AppendEntry(0, 32771, "Save Selected", res::id::kMenuSaveSelected, 0);
        QAction* b = menu.AppendEntry(0, 32772, "Save All", res::id::kMenuSaveAll, 0);
        QAction* sep = menu.AppendEntry(menuflag::kSeparator, 0, "", 0, 0);
        QAction* c = menu.AppendEntry(0, 32773, "A very long entry label that would not fit\tCtrl+Shift+X", res::id::kMenuExit, 0);
        menu.popup(QPoint(0, 0));
        QCOMPARE(menu.actionGeometry(a).size(), QSize(150, 20));
        QCOMPARE(menu.actionGeometry(b).size(), QSize(150, 20));
        QCOMPARE(menu.actionGeometry(c).size(), QSize(150, 20));
        QCOMPARE(menu.actionGeometry(sep).size(), QSize(150, 6));
        QCOMPARE(menu.width(), 150);
        QCOMPARE(menu.EntryFor(c)->label, QString("A very long entry label that would not fit"));
        QCOMPARE(menu.EntryFor(c)->shortcut, QString("Ctrl+Shift+X"));
        QSignalSpy chosen(&menu, &CIconMenu::EntryChosen);
        b->trigger();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().toInt(), 32772);
        menu.close();
    }

    void movingBetweenEntriesMovesTheBarAndTheRaisedFrame()
    {
        CIconMenu menu;
        menu.SetEntryHeight(20);
        menu.SetEntryWidth(150);
        menu.SetDrawStyle(3);
        QAction* first = menu.AppendEntry(0, 1, "Save Selected", res::id::kMenuSaveSelected, 0);
        QAction* second = menu.AppendEntry(0, 2, "Save All", res::id::kMenuSaveAll, 0);
        menu.popup(QPoint(0, 0));
        const QRect r1 = menu.actionGeometry(first), r2 = menu.actionGeometry(second);
        const QPoint barProbe(140, 3);  // inside the text area, clear of the label

        menu.setActiveAction(first);
        QImage shot = menu.grab().toImage();
        QCOMPARE(shot.pixel(r1.topLeft() + barProbe), CIconMenu::kHighlight.rgb());
        QCOMPARE(shot.pixel(r2.topLeft() + barProbe), CIconMenu::kBackground.rgb());

        menu.setActiveAction(second);
        shot = menu.grab().toImage();
        QCOMPARE(shot.pixel(r1.topLeft() + barProbe), CIconMenu::kBackground.rgb());
        QCOMPARE(shot.pixel(r2.topLeft() + barProbe), CIconMenu::kHighlight.rgb());
        // The raised edge around the second entry's picture square, none around the first's.
        QVERIFY(shot.pixel(r2.topLeft() + QPoint(0, 10)) != CIconMenu::kBackground.rgb());
        QCOMPARE(shot.pixel(r1.topLeft() + QPoint(0, 10)), CIconMenu::kBackground.rgb());
        menu.close();
    }

    void aShortcutLandsInTheStripAndADisabledEntryHasNoBar()
    {
        CIconMenu menu;
        menu.SetEntryHeight(20);
        menu.SetEntryWidth(200);
        menu.SetDrawStyle(3);
        QAction* open = menu.AppendEntry(0, 1, "Open\tCtrl+O", 0, 0);
        QAction* off = menu.AppendEntry(menuflag::kGrayed, 2, "Disabled", 0, 0);
        menu.popup(QPoint(0, 0));
        QImage shot = menu.grab().toImage();
        const QRect r = menu.actionGeometry(open);
        // L spans x = 28..203 (text area shrunk by 2, moved 6): the strip is its last 60 pixels.
        const int labelRight = r.left() + 20 + 2 + 6 + (r.width() - 20 - 4) - 1;
        QVERIFY(HasInk(shot, QRect(labelRight - 59, r.top() + 4, 50, 14), CIconMenu::kBackground));
        QVERIFY(!HasInk(shot, QRect(r.left() + 70, r.top() + 4, 40, 14), CIconMenu::kBackground));

        menu.setActiveAction(off);
        shot = menu.grab().toImage();
        const QRect d = menu.actionGeometry(off);
        QCOMPARE(shot.pixel(d.topLeft() + QPoint(190, 3)), CIconMenu::kBackground.rgb());
        // Its text is drawn in the button-face colour.
        const QColor face = menu.palette().color(QPalette::Button);
        bool faceInk = false;
        for (int x = d.left() + 28; x < d.left() + 90; ++x)
            for (int y = d.top() + 4; y < d.bottom(); ++y)
                faceInk = faceInk || SameColor(shot.pixel(x, y), face.rgb(), 6) ;
        QVERIFY(faceInk);
        menu.close();
    }

    void aColorLabelIsTransparentUntilToldOtherwise()
    {
        Backdrop parent(Qt::white, true);
        CColorLabel label("Hi", &parent);
        label.setGeometry(16, 16, 120, 40);
        label.SetLabelTextColor(Qt::red);
        parent.show();
        QImage shot = parent.grab().toImage();
        // Far right of the label, away from its text, the checker shows through: black at x = 116
        // (116 mod 16 < 8 on the row starting black), white at x = 124.
        QVERIFY(SameColor(shot.pixel(116, 20), QColor(Qt::black).rgb()));
        QVERIFY(SameColor(shot.pixel(124, 20), QColor(Qt::white).rgb()));
        label.SetLabelBackColor(QColor(10, 120, 200));
        label.SetLabelTransparent(0);
        shot = parent.grab().toImage();
        QVERIFY(SameColor(shot.pixel(16 + 100, 16 + 4), QColor(10, 120, 200).rgb()));
        QVERIFY(SameColor(shot.pixel(16 + 110, 16 + 30), QColor(10, 120, 200).rgb()));
    }

    void aShorterTextOnATransparentLabelLeavesNoRemains()
    {
        Backdrop parent(QColor(250, 240, 200));
        CTransparentLabel label("WWWWWWWWWWWWWWWWWWWW", &parent);
        label.setGeometry(10, 10, 280, 30);
        parent.show();
        QVERIFY(HasInk(parent.grab().toImage(), QRect(150, 12, 100, 24), QColor(250, 240, 200)));
        label.SetText("a");
        QVERIFY(!HasInk(parent.grab().toImage(), QRect(150, 12, 100, 24), QColor(250, 240, 200)));
    }

    void aFrameStyleRoundGroupBoxWithACaptionOfSpacesInterruptsItsOutline()
    {
        Backdrop parent(Qt::white);
        CRoundGroupBox box(&parent);
        box.setGeometry(10, 10, 200, 100);
        box.SetBorderColor(Qt::black);
        box.SetBackgroundColor(Qt::white);
        box.setText("          ");
        parent.show();
        const QImage shot = box.grab().toImage();
        const int h = QFontMetrics(box.CaptionFont()).height();
        const int w = QFontMetrics(box.CaptionFont()).horizontalAdvance("          ");
        const int edge = 1 + h / 2;
        // The top edge is drawn left of the caption and right of it, but not over the blanks.
        QVERIFY(qGray(shot.pixel(1 + 5, edge)) < 160 || qGray(shot.pixel(1 + 5, edge + 1)) < 160);
        QVERIFY(qGray(shot.pixel(1 + 10 + w / 2, edge)) > 200 && qGray(shot.pixel(1 + 10 + w / 2, edge + 1)) > 200);
        QVERIFY(qGray(shot.pixel(1 + 10 + w + 20, edge)) < 160 || qGray(shot.pixel(1 + 10 + w + 20, edge + 1)) < 160);
    }

    void aThemeGroupBoxWithAGreyFrameColourDrawsTheOutlineWithALightEdge()
    {
        Backdrop parent(QColor(40, 40, 40));
        CThemeGroupBox box(&parent);
        box.setGeometry(10, 10, 200, 120);
        QVERIFY(box.Themed());
        box.SetFrameColor(QColor(0x7F, 0x7F, 0x7F));
        parent.show();
        const QImage shot = box.grab().toImage();
        const QRect frame = box.LastFrameRect();
        QCOMPARE(shot.pixel(frame.left(), frame.top() + 40), qRgb(0x7F, 0x7F, 0x7F));
        QCOMPARE(shot.pixel(frame.left() + 60, frame.bottom()), qRgb(0x7F, 0x7F, 0x7F));
        const QColor light = box.palette().color(QPalette::Light);
        QVERIFY(SameColor(shot.pixel(frame.left() + 1, frame.top() + 40), light.rgb(), 2) ||
                SameColor(shot.pixel(frame.left() + 2, frame.top() + 40), light.rgb(), 2));
    }
};

QTEST_MAIN(SkinnedControlsTest)
#include "SkinnedControlsTest.moc"
