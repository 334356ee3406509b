// The window's start-up step and its Help and About buttons.

#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <string>
#include <vector>

#include "about/frmAbout.h"
#include "app/frmMain.h"
#include "desktop.h"
#include "update/MDL_PublicCode.h"

namespace tabulon {
namespace {

using testing::Control;

class Startup : public ::testing::Test {
protected:
    platform::Platform outside() {
        platform::Platform table;
        table.httpGet = [this](const std::string& url, int timeout) {
            requests.push_back(url);
            timeouts.push_back(timeout);
            return std::string();
        };
        table.today = [] {
            return std::chrono::year_month_day{std::chrono::year(2026), std::chrono::month(12),
                                               std::chrono::day(8)};
        };
        table.executableDir = [this] { return folder.path().toStdString(); };
        table.shellOpen = [this](const std::string& target) {
            opened.push_back(target);
            return true;
        };
        return table;
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    QTemporaryDir folder;
    std::vector<std::string> requests;
    std::vector<int> timeouts;
    std::vector<std::string> opened;
    platform::ScopedPlatform scope{outside()};
    frmMain window;
};

TEST_F(Startup, LoadRunsTheDailyCheckThroughTheWindowsInetOncePerDay) {
    window.Form_Load();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("/productcheck.aspx?"), std::string::npos) << requests[0];
    EXPECT_EQ(timeouts[0], 60);
    ASSERT_NE(window.UpdateService().InetTrans(), nullptr);
    EXPECT_EQ(window.IniFile().File, folder.filePath("Tabulon.ini").toStdString());

    window.Form_Load();
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(window.XlsApp(), nullptr);
    EXPECT_EQ(window.PptApp(), nullptr);
}

TEST_F(Startup, HelpOpensTheHomePage) {
    Control<QPushButton>(window, "Command2")->click();
    EXPECT_EQ(opened, std::vector<std::string>{MDL_PublicCode::HomePage()});
    EXPECT_TRUE(desktop.Messages().empty());
}

TEST_F(Startup, AboutShowsAFreshModalDialogEachTime) {
    int shown = 0;
    for (int click = 0; click < 2; ++click) {
        QTimer::singleShot(0, [&shown] {
            auto* dialog = dynamic_cast<frmAbout*>(QApplication::activeModalWidget());
            if (dialog) {
                ++shown;
                dialog->close();
            }
        });
        Control<QPushButton>(window, "Command1")->click();
    }
    EXPECT_EQ(shown, 2);
    int left = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        left += dynamic_cast<frmAbout*>(widget) ? 1 : 0;
    }
    EXPECT_EQ(left, 0);
}

}  // namespace
}  // namespace tabulon
