#include "MarkupMessageBox.h"

#include "MarkupMessageBoxDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace quorvex::msgbox {

namespace {

QString& HelpLocation()
{
    static QString location;
    return location;
}

QString ExecutableFileName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

// "Software\<company>\<executable>\MarkupMessageBox", or without the company level.
std::unique_ptr<QSettings> PersistenceSettings(const MessageBoxParams& params)
{
    if (!params.persistCompany.empty()) {
        auto settings = std::make_unique<QSettings>(QString::fromStdString(params.persistCompany), ExecutableFileName());
        settings->beginGroup("MarkupMessageBox");
        return settings;
    }
    return std::make_unique<QSettings>(ExecutableFileName(), "MarkupMessageBox");
}

}  // namespace

StringTable& ProgramStrings()
{
    static StringTable table;
    return table;
}

QEvent::Type MessageBoxReportEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void SetMessageBoxHelpLocation(const QString& location)
{
    HelpLocation() = location;
}

QUrl MessageBoxHelpUrl(std::uint32_t helpContext)
{
    QString location = HelpLocation();
    if (location.isEmpty()) {
        const QFileInfo executable(QCoreApplication::applicationFilePath());
        location = executable.absolutePath() + "/" + executable.completeBaseName() + ".html";
    }
    QUrl url = QFileInfo::exists(location) ? QUrl::fromLocalFile(location) : QUrl::fromUserInput(location);
    if (helpContext != 0)
        url.setFragment(QString("context-%1").arg(helpContext));
    return url;
}

QString PersistedValueName(const MessageBoxParams& params)
{
    return QString::fromStdString(params.persistValueName) + QString::number(params.persistNumber);
}

int ReadPersistedAnswer(const MessageBoxParams& params)
{
    if (params.persistValueName.empty())
        return 0;
    return PersistenceSettings(params)->value(PersistedValueName(params), 0).toInt();
}

void WritePersistedAnswer(const MessageBoxParams& params, int answer)
{
    if (params.persistValueName.empty())
        return;
    auto settings = PersistenceSettings(params);
    settings->setValue(PersistedValueName(params), answer);
    settings->sync();
}

int MarkupMessageBox(QWidget* owner, const MessageText& text, const MessageText& caption, std::uint32_t type,
                     const MessageBoxParams* params)
{
    MessageBoxParams record = params ? *params : MessageBoxParams{};
    record.text = text;
    record.caption = caption;
    record.type = type;

    if (owner == nullptr) {
        owner = QApplication::activeModalWidget();
        if (owner == nullptr)
            owner = QApplication::activeWindow();
    }
    if ((type & MBX_CHECKBOX) && !record.persistValueName.empty()) {
        if (const int remembered = ReadPersistedAnswer(record); remembered != 0)
            return remembered;
    }
    if (!(type & MBX_NOSOUND))
        QApplication::beep();

    MarkupMessageBoxDialog dialog(owner, std::move(record));
    if (type & mb::SETFOREGROUND) {
        dialog.raise();
        dialog.activateWindow();
    }
    return dialog.exec();
}

}  // namespace quorvex::msgbox
