// controls-gallery: one picture of every skinned control in each of its states and every piece of
// the program's artwork, drawn on the offscreen platform.
//   controls-gallery OUTPUT.png
#include "CColorLabel.h"
#include "CFramedEdit.h"
#include "CIconMenu.h"
#include "CRoundGroupBox.h"
#include "CSkinButton.h"
#include "CThemeGroupBox.h"
#include "ResourceTable.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMenuBar>
#include <QPainter>
#include <cstdio>

using namespace quorvex;
using namespace quorvex::controls;

namespace {

class Sheet {
public:
    explicit Sheet(QSize size) : image_(size, QImage::Format_RGB32)
    {
        image_.fill(QColor(0xF2, 0xF2, 0xF2));
        painter_.begin(&image_);
        painter_.setRenderHint(QPainter::Antialiasing);
    }
    QPainter& Painter() { return painter_; }
    void Heading(int y, const QString& text)
    {
        painter_.setPen(QColor(0x1D, 0x35, 0x57));
        painter_.setFont(QFont("DejaVu Sans", 13, QFont::Bold));
        painter_.drawText(16, y, text);
        painter_.fillRect(16, y + 6, image_.width() - 32, 1, QColor(0xC0, 0xC8, 0xD0));
    }
    // Places a picture with a caption under it; returns the x after it.
    int Place(int x, int y, const QPixmap& picture, const QString& caption)
    {
        const int cell = std::max(picture.width(), 96);
        painter_.drawPixmap(x + (cell - picture.width()) / 2, y, picture);
        painter_.setPen(QColor(0x40, 0x40, 0x40));
        painter_.setFont(QFont("DejaVu Sans", 8));
        painter_.drawText(QRect(x, y + picture.height() + 2, cell, 28), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                          caption);
        return x + cell + 14;
    }
    QImage Finish()
    {
        painter_.end();
        return image_;
    }

private:
    QImage image_;
    QPainter painter_;
};

QPixmap Grab(QWidget& widget)
{
    widget.show();
    QApplication::processEvents();
    return widget.grab();
}

QPixmap ButtonShot(int normal, int hover, bool hovered, bool enabled = true)
{
    QWidget host;
    host.setAutoFillBackground(true);
    host.setPalette(QPalette(QColor(0xE6, 0xE9, 0xEE)));
    CSkinButton button(&host);
    button.SetButtonImages(normal, hover);
    host.resize(button.ImageSize() + QSize(8, 8));
    button.setGeometry(4, 4, button.ImageSize().width(), button.ImageSize().height());
    button.setEnabled(enabled);
    host.show();
    if (hovered) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(&button, &enter);
    }
    return Grab(host);
}

CIconMenu* FileMenu()
{
    auto* menu = new CIconMenu("&File");
    menu->SetEntryHeight(20);
    menu->SetEntryWidth(150);
    menu->SetDrawStyle(3);
    menu->AppendEntry(0, 1, "Save Selected", res::id::kMenuSaveSelected, 0);
    menu->AppendEntry(0, 2, "Save All", res::id::kMenuSaveAll, 0);
    menu->AppendEntry(menuflag::kSeparator, 0, "", 0, 0);
    menu->AppendEntry(menuflag::kChecked, 3, "Checked entry", 0, 0);
    menu->AppendEntry(0, 4, "Open\tCtrl+O", res::id::kMenuSetting, 0);
    menu->AppendEntry(menuflag::kGrayed, 5, "Disabled entry", res::id::kMenuHelp, 0);
    menu->AppendEntry(0, 6, "Exit", res::id::kMenuExit, 0);
    return menu;
}

QPixmap MenuShot(int selected)
{
    std::unique_ptr<CIconMenu> menu(FileMenu());
    menu->popup(QPoint(0, 0));
    QApplication::processEvents();
    if (selected >= 0)
        menu->setActiveAction(menu->Entries()[static_cast<std::size_t>(selected)].action);
    QPixmap shot = menu->grab();
    menu->close();
    return shot;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: controls-gallery OUTPUT.png\n");
        return 1;
    }
    Sheet sheet(QSize(1320, 2060));

    // Picture buttons: normal, hovered, disabled.
    sheet.Heading(30, "CSkinButton - normal, hovered, disabled");
    const std::pair<int, const char*> pairs[] = {
        {res::id::kLogo, "logo"},       {res::id::kSaveSelected, "Save Selected"}, {res::id::kSaveAll, "Save All"},
        {res::id::kSettings, "Settings"}, {res::id::kBack, "Back"},                {res::id::kNext, "Next"},
        {res::id::kStop, "Stop"},       {res::id::kOk, "OK"},                      {res::id::kCancel, "Cancel"},
        {res::id::kStopSaving, "Stop Saving (148/149)"},
    };
    int x = 16, y = 46;
    for (const auto& [id, name] : pairs) {
        const QPixmap normal = ButtonShot(id, id + 1, false), hover = ButtonShot(id, id + 1, true),
                      disabled = ButtonShot(id, id + 1, false, false);
        const int width = normal.width() * 3 + 24;
        if (x + width > 1300) {
            x = 16;
            y += 118;
        }
        sheet.Painter().drawPixmap(x, y, normal);
        sheet.Painter().drawPixmap(x + normal.width() + 6, y, hover);
        sheet.Painter().drawPixmap(x + 2 * normal.width() + 12, y, disabled);
        sheet.Painter().setPen(QColor(0x40, 0x40, 0x40));
        sheet.Painter().setFont(QFont("DejaVu Sans", 8));
        sheet.Painter().drawText(x, y + normal.height() + 14, QString("%1 (%2/%3)").arg(name).arg(id).arg(id + 1));
        x += width + 20;
    }

    // Menus: nothing selected, an entry selected, the disabled entry under the mouse; a menu bar.
    y += 140;
    sheet.Heading(y, "CIconMenu (style 3, 150 x 20) - idle, Save All selected, disabled entry under the mouse");
    x = sheet.Place(16, y + 16, MenuShot(-1), "idle");
    x = sheet.Place(x, y + 16, MenuShot(1), "Save All selected");
    x = sheet.Place(x, y + 16, MenuShot(5), "disabled, no bar");
    {
        QWidget window;
        window.resize(360, 60);
        auto* bar = new QMenuBar(&window);
        bar->addMenu(FileMenu());
        bar->addMenu(new CIconMenu("Tools"));
        bar->addMenu(new CIconMenu("Help"));
        bar->setGeometry(0, 0, 360, 26);
        x = sheet.Place(x + 20, y + 16, Grab(window), "in a QMenuBar");
    }

    // Labels, edit and group boxes.
    y += 210;
    sheet.Heading(y, "CColorLabel, CTransparentLabel, CFramedEdit");
    {
        QWidget host;
        host.resize(720, 90);
        QLabel back(&host);
        back.setPixmap(res::LoadBitmap(res::id::kMainBackground).copy(0, 0, 720, 90));
        back.setGeometry(0, 0, 720, 90);
        CColorLabel transparent("Transparent over the picture", &host);
        transparent.SetLabelFont(10, false, false, "Verdana");
        transparent.setGeometry(10, 8, 240, 22);
        CColorLabel opaque("Opaque after SetLabelTransparent(0)", &host);
        opaque.SetLabelFont(8, true, false, "Verdana");
        opaque.SetLabelTextColor(QColor(32, 165, 221));
        opaque.SetLabelBackColor(QColor(0xFF, 0xF4, 0xD6));
        opaque.SetLabelTransparent(0);
        opaque.setGeometry(10, 36, 300, 22);
        CTransparentLabel plain("CTransparentLabel: text changes leave no remains", &host);
        plain.setGeometry(330, 8, 380, 22);
        CFramedEdit edit(&host);
        edit.setText("20480");
        edit.setGeometry(330, 40, 120, 22);
        sheet.Place(16, y + 16, Grab(host), "");
    }
    y += 140;
    sheet.Heading(y, "CRoundGroupBox (frame and window styles) and CThemeGroupBox (automatic, grey 0x7F7F7F, disabled)");
    {
        QWidget host;
        host.setAutoFillBackground(true);
        host.setPalette(QPalette(QColor(0xF0, 0xF0, 0xF0)));
        host.resize(1280, 150);
        CRoundGroupBox frame(&host);
        frame.SetCaption("Frame style");
        frame.setGeometry(10, 10, 220, 120);
        CRoundGroupBox centred(&host);
        centred.SetCaption("Centred, bold");
        centred.SetCaptionBold(true);
        centred.SetCaptionAlignment(1);
        centred.setGeometry(240, 10, 220, 120);
        CRoundGroupBox window(&host);
        window.SetCaption("Window style");
        window.SetBoxStyle(1);
        window.SetBackgroundColors(QColor(0xDF, 0xF0, 0xF8), Qt::white);
        window.SetCaptionAlignment(2);
        window.setGeometry(470, 10, 220, 120);
        CThemeGroupBox automatic(&host);
        automatic.setText("Automatic frame");
        automatic.setGeometry(700, 10, 180, 120);
        CThemeGroupBox grey(&host);
        grey.setText("Properties");
        grey.SetFrameColor(QColor(0x7F, 0x7F, 0x7F));
        grey.setGeometry(890, 10, 180, 120);
        CThemeGroupBox disabled(&host);
        disabled.setText("Disabled");
        disabled.SetFrameColor(QColor(0x7F, 0x7F, 0x7F));
        disabled.setEnabled(false);
        disabled.setGeometry(1080, 10, 180, 120);
        sheet.Place(16, y + 16, Grab(host), "");
    }

    // Every piece of artwork, large pictures scaled to half.
    y += 200;
    sheet.Heading(y, "Artwork (resource number: file) - backgrounds at half size");
    x = 16;
    int rowHeight = 0;
    y += 18;
    for (const res::ResourceEntry& entry : res::ResourceTable()) {
        QPixmap picture(QString(":/res/") + entry.fileName);
        if (picture.width() > 200)
            picture = picture.scaledToWidth(picture.width() / 2, Qt::SmoothTransformation);
        if (picture.width() <= 20)
            picture = picture.scaled(picture.size() * 2, Qt::KeepAspectRatio, Qt::FastTransformation);
        if (x + std::max(picture.width(), 96) > 1300) {
            x = 16;
            y += rowHeight + 40;
            rowHeight = 0;
        }
        rowHeight = std::max(rowHeight, picture.height());
        x = sheet.Place(x, y, picture, QString("%1: %2").arg(entry.id).arg(entry.fileName));
    }
    sheet.Finish().save(QString::fromLocal8Bit(argv[1]));
    std::printf("wrote %s\n", argv[1]);
    return 0;
}
