#pragma once

#include <QObject>
#include <functional>

class QMenuBar;
class QWidget;

namespace quorvex::controls {
class CIconMenu;
}

namespace quorvex::app {

// The main window's menu bar: File, Tools and Help, drawn as the program's own menus. A chosen
// entry is handed to `run` as its command number; before a menu opens, its entries are enabled
// for the page shown (and, for Save Scan Results, whether a scan is running).
class MainMenus : public QObject {
public:
    // Command numbers of the entries.
    enum Command {
        kSaveSelectedCommand = 32771, kSaveAllCommand, kExitCommand, kSettingCommand, kHelpCommand, kAboutCommand,
        kOpenDiskImageCommand, kCreateDiskImageCommand, kSaveScanResultsCommand, kOpenScanResultsCommand,
    };
    // What the entries' states depend on, asked when a menu is about to open.
    struct State {
        bool drivePage = false;
        bool typePage = false;
        bool resultsPage = false;
        bool scanRunning = false;
    };

    MainMenus(QWidget* window, std::function<void(int)> run, std::function<State()> state);

    QMenuBar* Bar() const { return bar_; }
    controls::CIconMenu* FileMenu() const { return file_; }
    controls::CIconMenu* ToolsMenu() const { return tools_; }

private:
    void Refresh();

    std::function<void(int)> run_;
    std::function<State()> state_;
    QMenuBar* bar_;
    controls::CIconMenu* file_;
    controls::CIconMenu* tools_;
    controls::CIconMenu* help_;
};

}  // namespace quorvex::app
