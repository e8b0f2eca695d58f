// The markup message box, offscreen: layout, button sets, cancel rules, countdowns, custom
// buttons, remembered answers, string tables and the program's own prompts.
#include "MarkupMessageBox.h"
#include "MarkupMessageBoxDialog.h"
#include "ProgramMessages.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

using namespace quorvex::msgbox;

namespace {

MessageBoxParams Params(const MessageText& text, std::uint32_t type, const MessageText& caption = "Quorvex")
{
    MessageBoxParams params;
    params.text = text;
    params.type = type;
    params.caption = caption;
    return params;
}

QStringList Labels(const MarkupMessageBoxDialog& box)
{
    QStringList labels;
    for (std::int32_t id : box.ButtonIds())
        labels << box.Button(id)->text();
    return labels;
}

// Owner that records Report events.
class ReportOwner : public QWidget {
public:
    std::vector<std::uint32_t> reports;
    bool event(QEvent* e) override
    {
        if (e->type() == MessageBoxReportEvent::EventType()) {
            reports.push_back(static_cast<MessageBoxReportEvent*>(e)->Message());
            return true;
        }
        return QWidget::event(e);
    }
};

}  // namespace

class MarkupMessageBoxTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName("quorvex-msgbox-test");
    }

    void nullRecordInformationNoticeHasTheIconBesideTheTextAndACentredOk()
    {
        MarkupMessageBoxDialog box(nullptr, Params("Please Select file type to recover.", 64));
        QVERIFY(QString::fromStdString(box.MessageMarkup())
                    .startsWith("<table cellpadding=5><tr><td width=32><icon handle=0x1></td><td>"));
        QVERIFY(QString::fromStdString(box.MessageMarkup()).endsWith("Please Select file type to recover.</td></tr></table>"));
        QCOMPARE(box.ButtonIds(), std::vector<std::int32_t>{IDOK});
        QPushButton* ok = box.Button(IDOK);
        QCOMPARE(ok->text(), QString("OK"));
        QCOMPARE(ok->x(), (box.width() - ok->width()) / 2);
        // Buttons are the text extent scaled by 80/45 and 23/13, at least 80 × 23.
        const QFontMetrics metrics(QApplication::font("QMessageBox"));
        QCOMPARE(ok->width(), std::max(80, (metrics.horizontalAdvance("OK") * 80 + 22) / 45));
        QCOMPARE(ok->height(), std::max(23, (metrics.height() * 23 + 6) / 13));
        QCOMPARE(ok->y() + ok->height(), box.height() - 11);
        QVERIFY(box.CancelAllowed());
        QCOMPARE(box.windowTitle(), QString("Quorvex"));
        QCOMPARE(box.height(), box.MessageHeight() + box.ControlHeight());
        QCOMPARE(box.ControlHeight(), 11 + ok->height());
    }

    void escapeClosesAnOkBoxWithCancelAndIsIgnoredByYesNoAndAbortRetryIgnore()
    {
        MarkupMessageBoxDialog ok(nullptr, Params("notice", 0));
        ok.show();
        QTest::keyClick(&ok, Qt::Key_Escape);
        QCOMPARE(ok.result(), int(IDCANCEL));
        QVERIFY(!ok.isVisible());

        for (std::uint32_t type : {mb::YESNO, mb::ABORTRETRYIGNORE}) {
            MarkupMessageBoxDialog box(nullptr, Params("question", type));
            box.show();
            QTest::keyClick(&box, Qt::Key_Escape);
            QVERIFY(box.close() == false || box.isVisible());
            QVERIFY(box.isVisible());
            QCOMPARE(box.result(), 0);
            QVERIFY(!box.CloseEnabled());
            QVERIFY(!box.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        }
    }

    void aDefaultIndexBeyondTheLastButtonMakesTheFirstTheDefault()
    {
        MarkupMessageBoxDialog box(nullptr, Params("q", mb::YESNO | mb::DEFBUTTON3));
        QCOMPARE(box.DefaultButton(), box.Button(IDYES));
        QVERIFY(box.Button(IDYES)->isDefault());
        MarkupMessageBoxDialog second(nullptr, Params("q", mb::YESNO | mb::DEFBUTTON2));
        QCOMPARE(second.DefaultButton(), second.Button(IDNO));
    }

    void aTimeoutCountsDownInTheDefaultButtonAndPressesIt()
    {
        MessageBoxParams params = Params("closing soon", mb::OK);
        params.timeoutSeconds = 5;
        MarkupMessageBoxDialog box(nullptr, params);
        box.show();
        QVERIFY(box.TimerActive());
        QCOMPARE(box.Button(IDOK)->text(), QString("OK = 5"));
        box.CountdownTick();
        QCOMPARE(box.Button(IDOK)->text(), QString("OK = 4"));
        for (int i = 0; i < 3; ++i)
            box.CountdownTick();
        QCOMPARE(box.Button(IDOK)->text(), QString("OK = 1"));
        QVERIFY(box.isVisible());
        box.CountdownTick();
        QCOMPARE(box.Button(IDOK)->text(), QString("OK"));
        QCOMPARE(box.result(), int(IDOK));
        QVERIFY(!box.isVisible());
        QVERIFY(!box.TimerActive());
    }

    void disabledSecondsWithACaptionCountdownHoldEveryButtonButHelp()
    {
        MessageBoxParams params = Params("read this first", mb::OKCANCEL | mb::HELP, "Notice");
        params.disabledSeconds = 3;
        params.countdownInCaption = true;
        MarkupMessageBoxDialog box(nullptr, params);
        box.show();
        QCOMPARE(box.windowTitle(), QString("Notice (3 seconds remaining)"));
        QVERIFY(!box.Button(IDOK)->isEnabled());
        QVERIFY(!box.Button(IDCANCEL)->isEnabled());
        QVERIFY(box.Button(IDHELP)->isEnabled());
        QCOMPARE(box.Button(IDOK)->text(), QString("OK"));
        QVERIFY(!box.CloseEnabled());
        QTest::keyClick(&box, Qt::Key_Escape);  // refused while the close box is
        QVERIFY(box.isVisible());
        box.CountdownTick();
        QCOMPARE(box.windowTitle(), QString("Notice (2 seconds remaining)"));
        box.CountdownTick();
        box.CountdownTick();
        QCOMPARE(box.windowTitle(), QString("Notice"));
        QVERIFY(box.Button(IDOK)->isEnabled());
        QVERIFY(box.Button(IDCANCEL)->isEnabled());
        QVERIFY(box.Button(IDOK)->isDefault());
        QVERIFY(box.CloseEnabled());  // cancel is allowed in OK/Cancel
        QVERIFY(box.isVisible());     // nothing was pressed
    }

    void withBothCountersTheTimeoutCountsAndAtZeroNothingIsPressed()
    {
        MessageBoxParams params = Params("both", mb::OK);
        params.timeoutSeconds = 4;
        params.disabledSeconds = 2;
        MarkupMessageBoxDialog box(nullptr, params);
        box.show();
        QCOMPARE(box.Counter(), 4);
        QVERIFY(!box.Button(IDOK)->isEnabled());
        QCOMPARE(box.Button(IDOK)->text(), QString("OK = 4"));
        for (int i = 0; i < 4; ++i)
            box.CountdownTick();
        QVERIFY(box.Button(IDOK)->isEnabled());
        QCOMPARE(box.Button(IDOK)->text(), QString("OK"));
        QVERIFY(box.isVisible());
        QCOMPARE(box.result(), 0);
    }

    void customButtonsTakeTheNonEmptyLinesUpToFour()
    {
        MessageBoxParams params = Params("pick one", mb::YESNOCANCEL);
        params.customButtons = "A\r\n\r\nB\nC\r\nD\nE";
        MarkupMessageBoxDialog box(nullptr, params);
        QCOMPARE(box.ButtonIds(), (std::vector<std::int32_t>{IDCUSTOM1, IDCUSTOM2, IDCUSTOM3, IDCUSTOM4}));
        QCOMPARE(Labels(box), (QStringList{"A", "B", "C", "D"}));
        QVERIFY(!box.CancelAllowed());
        box.show();
        box.Button(IDCUSTOM3)->click();
        QCOMPARE(box.result(), int(IDCUSTOM3));
    }

    void everyButtonSetInItsOrder()
    {
        const std::pair<std::uint32_t, QStringList> sets[] = {
            {mb::OK, {"OK"}},
            {mb::OKCANCEL, {"OK", "Cancel"}},
            {mb::ABORTRETRYIGNORE, {"Abort", "Retry", "Ignore"}},
            {mb::YESNOCANCEL | MBX_YESTOALL | MBX_NOTOALL, {"Yes", "Yes to all", "No", "No to all", "Cancel"}},
            {mb::YESNO | MBX_NOTOALL, {"Yes", "No", "No to all"}},
            {mb::RETRYCANCEL, {"Retry", "Cancel"}},
            {mb::CANCELTRYCONTINUE, {"Cancel", "Try again", "Continue"}},
            {MBX_CONTINUEABORT, {"Continue", "Abort"}},
            {MBX_SKIPSKIPALLCANCEL, {"Skip", "Skip all", "Cancel"}},
            {MBX_IGNOREIGNOREALLCANCEL, {"Ignore", "Ignore all", "Cancel"}},
            {mb::OK | MBX_YESTOALL, {"OK"}},  // "to all" only with the Yes/No sets
        };
        for (const auto& [type, labels] : sets) {
            MarkupMessageBoxDialog box(nullptr, Params("x", type));
            QCOMPARE(Labels(box), labels);
        }
    }

    void buttonTextsComeFromTheMapThenTheStringTableThenTheBuiltInText()
    {
        StringTable strings;
        strings.Set(9007, "Ja");
        strings.Set(9008, "Nein");
        MessageBoxParams params = Params("x", mb::YESNO);
        params.stringModule = &strings;
        params.buttonTexts[IDNO] = "Never";
        MarkupMessageBoxDialog box(nullptr, params);
        QCOMPARE(Labels(box), (QStringList{"Ja", "Never"}));
        params.type |= MBX_NORESOURCE;
        MarkupMessageBoxDialog plain(nullptr, params);
        QCOMPARE(Labels(plain), (QStringList{"Yes", "Never"}));
    }

    void aRememberedAnswerIsStoredAndReturnedWithoutShowingTheBox()
    {
        MessageBoxParams params = Params("Overwrite the files?", mb::YESNO | MBX_CHECKBOX);
        params.persistValueName = "Q";
        params.persistNumber = 7;
        QSettings(QFileInfo(QCoreApplication::applicationFilePath()).fileName(), "MarkupMessageBox").clear();
        QCOMPARE(PersistedValueName(params), QString("Q7"));
        {
            MarkupMessageBoxDialog box(nullptr, params);
            QVERIFY(box.CheckBox() != nullptr);
            QCOMPARE(box.CheckBoxLabel()->text(), QString("Do not show again"));
            box.show();
            box.CheckBox()->setChecked(true);
            box.Button(IDYES)->click();
            QCOMPARE(box.result(), int(IDYES));
        }
        QCOMPARE(ReadPersistedAnswer(params), 6);
        // The next call answers at once: a box shown here would never close, so guard against it.
        bool shown = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                shown = true;
                static_cast<QDialog*>(modal)->done(-99);
            }
        });
        guard.start(50);
        QCOMPARE(MarkupMessageBox(nullptr, "Overwrite the files?", "Quorvex", params.type | MBX_NOSOUND, &params), 6);
        QVERIFY(!shown);

        params.persistNumber = 8;
        params.type |= MBX_CHECKED;
        {
            MarkupMessageBoxDialog box(nullptr, params);
            QVERIFY(box.CheckBox()->isChecked());
            box.show();
            box.Button(IDYES)->click();
            QCOMPARE(box.result(), 0x02000006);
        }
        QCOMPARE(ReadPersistedAnswer(params), 0x02000006);

        // The company level goes into its own settings.
        params.persistCompany = "Acme";
        params.persistNumber = 9;
        WritePersistedAnswer(params, 7);
        QCOMPARE(ReadPersistedAnswer(params), 7);
        params.persistCompany.clear();
        QCOMPARE(ReadPersistedAnswer(params), 0);
    }

    void aStringResourceTextShowsTheStringUnlessResourcesAreOff()
    {
        ProgramStrings().Set(500, "From the string table");
        MarkupMessageBoxDialog box(nullptr, Params(MessageText::Resource(500), mb::OK));
        QCOMPARE(QString::fromStdString(box.MessageMarkup()), QString("From the string table"));
        QVERIFY(box.MessageHeight() > 0);
        MarkupMessageBoxDialog off(nullptr, Params(MessageText::Resource(500), mb::OK | MBX_NORESOURCE));
        QVERIFY(off.MessageMarkup().empty());
        QCOMPARE(off.MessageHeight(), 0);
    }

    void rightAlignmentWithAnIconKeepsTheIconLeft()
    {
        MarkupMessageBoxDialog box(nullptr, Params("right", mb::OK | mb::ICONEXCLAMATION | mb::RIGHT));
        QCOMPARE(QString::fromStdString(box.MessageMarkup()),
                 QString("<table cellpadding=5><tr><td width=32><icon handle=0x1></td><td><right>right</right></td></tr></table>"));
    }

    void detailsExpandAndCollapseAndHelpAndReportKeepTheBoxOpen()
    {
        ReportOwner owner;
        MessageBoxParams params = Params("main text", mb::OK | mb::HELP);
        params.detailsText = "<b>details</b> of the problem";
        params.reportMessage = 0x8123;
        MarkupMessageBoxDialog box(&owner, params);
        QCOMPARE(Labels(box), (QStringList{"OK", "Help", "Report", "More >>"}));
        box.show();
        const int collapsed = box.height();
        box.Button(IDMORE)->click();
        QVERIFY(box.Expanded());
        QCOMPARE(box.height(), collapsed + box.DetailsHeight());
        QCOMPARE(box.Button(IDMORE)->text(), QString("<< More"));
        box.Button(IDMORE)->click();
        QCOMPARE(box.height(), collapsed);
        box.Button(IDREPORT)->click();
        QCOMPARE(owner.reports, std::vector<std::uint32_t>{0x8123});
        QVERIFY(box.isVisible());
    }

    void aMissingCaptionTakesTheOwnersTitleOrError()
    {
        QWidget owner;
        owner.setWindowTitle("Owner title");
        MarkupMessageBoxDialog withOwner(&owner, Params("x", 0, ""));
        QCOMPARE(withOwner.windowTitle(), QString("Owner title"));
        MarkupMessageBoxDialog alone(nullptr, Params("x", 0, MessageText()));
        QCOMPARE(alone.windowTitle(), QString("Error"));
    }

    void theProgramsQuestionAnswersTrueOnlyForYes()
    {
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<MarkupMessageBoxDialog*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), QString("Quorvex"));
            box->Button(IDNO)->click();
        });
        QVERIFY(!AskQuestion("Are you sure,exit software ?"));
        QTimer::singleShot(0, [] {
            qobject_cast<MarkupMessageBoxDialog*>(QApplication::activeModalWidget())->Button(IDYES)->click();
        });
        QVERIFY(AskQuestion("Are you sure,exit software ?"));
        const MessageBoxParams params = ProgramMessageBoxParams();
        QCOMPARE(params.boxBackground.effect, 12);
        QCOMPARE(params.boxBackground.color1, 0xF8F5EEu);
        QCOMPARE(params.boxBackground.color2, 0xFFFFFFu);
    }
};

QTEST_MAIN(MarkupMessageBoxTest)
#include "MarkupMessageBoxTest.moc"
