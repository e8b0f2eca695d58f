#include "AboutBox.h"

#include "CSkinButton.h"
#include "DialogUnits.h"
#include "ProductLinks.h"
#include "ResourceTable.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

namespace quorvex::app {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Quorvex");
    setFixedSize(DialogSize(305, 257));
    QFont font("Verdana");
    font.setPixelSize(13);
    struct Line {
        QString text;
        QRect rect;
    };
    const Line lines[] = {
        {links::kVersionLine, DialogRect(85, 104, 144, 8)},
        {QString::fromUtf8(links::kLegalNotice), DialogRect(67, 118, 169, 11)},
        {"Company Website     :", DialogRect(29, 142, 91, 10)},
        {links::kHomePage, DialogRect(132, 142, 156, 8)},
        {"Sales                       :", DialogRect(29, 159, 91, 8)},
        {links::kSales, DialogRect(132, 159, 154, 8)},
        {"Support                    :", DialogRect(29, 176, 92, 8)},
        {links::kSupport, DialogRect(132, 176, 144, 8)},
    };
    for (const Line& line : lines) {
        auto* label = new QLabel(line.text, this);
        label->setFont(font);
        // Labels keep their rectangles' places but may be as tall as the font needs, and a little
        // wider: the substituted face is wider than Verdana, and the captions' colons must show.
        label->setGeometry(line.rect.adjusted(0, -2, 24, 4));
        if (line.rect.left() > DialogUnitsToPixelsX(60) && line.rect.left() < DialogUnitsToPixelsX(100)) {
            label->setGeometry(line.rect.adjusted(-12, -2, 12, 4));
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        }
    }
    auto* ok = new controls::CSkinButton(this);
    ok->setGeometry(DialogRect(130, 213, 58, 18));
    ok->SetButtonImages(res::id::kOk, res::id::kOkHover);
    connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
}

void AboutBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void AboutBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.drawPixmap(0, 0, res::LoadBitmap(res::id::kAboutBackground));
}

void ShowAboutBox(QWidget* parent)
{
    AboutBox box(parent);
    box.exec();
}

}  // namespace quorvex::app
