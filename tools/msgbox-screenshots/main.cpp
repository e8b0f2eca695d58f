// msgbox-screenshots: draws the program's notice, its exit question and a box that uses every
// area of the markup message box into PNG files, on the offscreen platform.
//   msgbox-screenshots OUTPUT_FOLDER
#include "MarkupMessageBoxDialog.h"
#include "ProgramMessages.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>

using namespace quorvex::msgbox;

namespace {

void Save(MarkupMessageBoxDialog& box, const QDir& out, const QString& name)
{
    box.show();
    QApplication::processEvents();
    box.grab().save(out.filePath(name));
    box.hide();
}

MessageBoxParams Program(const MessageText& text, std::uint32_t type)
{
    MessageBoxParams params = ProgramMessageBoxParams();
    params.text = text;
    params.caption = kProgramCaption;
    params.type = type;
    return params;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: msgbox-screenshots OUTPUT_FOLDER\n");
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    MarkupMessageBoxDialog notice(nullptr, Program("Please Select file type to recover.", mb::OK | mb::ICONASTERISK));
    Save(notice, out, "notice.png");

    MarkupMessageBoxDialog question(nullptr, Program("Are you sure,exit software ?", mb::YESNO | mb::ICONQUESTION));
    Save(question, out, "exit-question.png");

    MessageBoxParams rich = Program(
        "Quorvex found <b>1,204 pictures</b> on <font color=#2a7ab0>Removable Disk(sdb1)</font>.<br><br>"
        "<table border=1 cellpadding=4 bordercolor=#9aa8bc>"
        "<tr><td bgcolor=#2a3a5a><font color=white><b>Type</b></font></td>"
        "<td bgcolor=#2a3a5a><font color=white><b>Found</b></font></td></tr>"
        "<tr><td>JPEG</td><td align=right>812</td></tr>"
        "<tr><td>PNG</td><td align=right>392</td></tr></table><br>"
        "Where should they go? <a href=\"https://example.org/quorvex/how-to\">How recovery works</a>",
        mb::ICONASTERISK | MBX_CHECKBOX);
    rich.headerHeight = 40;
    rich.headerText = "<font size=14pt color=#1d3557><b>Recovery finished</b></font>";
    rich.headerBackground.effect = 1;  // hgradient
    rich.headerBackground.color1 = 0xF4E6D8;
    rich.headerBackground.color3 = 0xF8F5EE;
    rich.headerBackground.separatorStyle = 1;
    rich.headerBackground.separatorAlign = 2;
    rich.headerBackground.separatorText = "summary";
    rich.controlBackground.separatorStyle = 1;
    rich.customButtons = "Save All\nSave Selected\nLater";
    rich.detailsText = "<b>Details</b><br>Scanned 7,812,096 sectors in 4 min 12 s.<br>"
                       "<font color=gray>3 unreadable sectors were skipped.</font>";
    rich.detailsBackground.separatorStyle = 1;
    rich.detailsBackground.separatorText = "details";
    rich.detailsBackground.effect = 2;  // vgradient
    rich.detailsBackground.color1 = 0xF8F5EE;
    rich.detailsBackground.color3 = 0xEEE4DA;
    rich.checkBoxText = "Do not show this summary again";
    MarkupMessageBoxDialog box(nullptr, rich);
    box.show();
    box.Button(IDMORE) ? box.Button(IDMORE)->click() : void();
    Save(box, out, "rich-box.png");

    std::printf("wrote notice.png, exit-question.png and rich-box.png to %s\n", argv[1]);
    return 0;
}
