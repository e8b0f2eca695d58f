#include "MainMenus.h"

#include "CIconMenu.h"
#include "ResourceTable.h"

#include <QMenuBar>

namespace quorvex::app {

MainMenus::MainMenus(QWidget* window, std::function<void(int)> run, std::function<State()> state)
    : QObject(window), run_(std::move(run)), state_(std::move(state)), bar_(new QMenuBar(window))
{
    auto makeMenu = [this, window](const QString& title) {
        auto* menu = new controls::CIconMenu(title, window);
        menu->SetEntryHeight(20);
        menu->SetEntryWidth(150);
        menu->SetDrawStyle(3);
        connect(menu, &controls::CIconMenu::EntryChosen, this, [this](int command) { run_(command); });
        connect(menu, &QMenu::aboutToShow, this, &MainMenus::Refresh);
        bar_->addMenu(menu);
        return menu;
    };
    file_ = makeMenu("&File");
    file_->AppendEntry(0, kOpenDiskImageCommand, "Open Disk Image...", res::id::kDriveRemovable, 0);
    file_->AppendEntry(0, kCreateDiskImageCommand, "Create Disk Image...", res::id::kDriveFixed, 0);
    file_->AppendEntry(0, kOpenScanResultsCommand, "Open Scan Results...", res::id::kMenuSaveAll, 0);
    file_->AppendEntry(0, kSaveScanResultsCommand, "Save Scan Results...", res::id::kMenuSaveSelected, 0);
    file_->AppendEntry(0, kSaveSelectedCommand, "Save Selected", res::id::kMenuSaveSelected, 0);
    file_->AppendEntry(0, kSaveAllCommand, "Save All", res::id::kMenuSaveAll, 0);
    file_->AppendEntry(0, kExitCommand, "Exit", res::id::kMenuExit, 0);
    tools_ = makeMenu("Tools");
    tools_->AppendEntry(0, kSettingCommand, "Setting", res::id::kMenuSetting, 0);
    help_ = makeMenu("Help");
    help_->AppendEntry(0, kHelpCommand, "Help", res::id::kMenuHelp, 0);
    help_->AppendEntry(0, kAboutCommand, "About", res::id::kMenuAbout, 0);
}

void MainMenus::Refresh()
{
    const State state = state_();
    for (const auto& entry : file_->Entries()) {
        const int command = entry.action->data().toInt();
        if (command == kSaveSelectedCommand || command == kSaveAllCommand)
            entry.action->setEnabled(state.resultsPage);
        if (command == kOpenDiskImageCommand || command == kCreateDiskImageCommand || command == kOpenScanResultsCommand)
            entry.action->setEnabled(state.drivePage);
        if (command == kSaveScanResultsCommand)
            entry.action->setEnabled(state.resultsPage && !state.scanRunning);
    }
    for (const auto& entry : tools_->Entries())
        entry.action->setEnabled(state.drivePage || state.typePage);
}

}  // namespace quorvex::app
