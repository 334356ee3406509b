// Closing the window, the report of unhandled failures, and a screenshot of the loaded window.

#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <stdexcept>
#include <string>

#include "app/FailureReport.h"
#include "app/frmMain.h"
#include "desktop.h"
#include "office/error.h"
#include "platform/qt_platform.h"

namespace tabulon {
namespace {

using testing::AppFixture;
using testing::Control;

class Lifecycle : public ::testing::Test {
protected:
    void loadBoth() {
        desktop.WillChoose(AppFixture("first.xlsx"));
        Control<QPushButton>(window, "CmdExcel")->click();
        desktop.WillChoose(AppFixture("template.pptx"));
        Control<QPushButton>(window, "cmdPowerpoint")->click();
        ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    frmMain window;
};

TEST_F(Lifecycle, ClosingBeforeChoosingAnythingQuitsNothing) {
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(desktop.Messages().empty());
    EXPECT_EQ(window.XlsApp(), nullptr);
    EXPECT_EQ(window.PptApp(), nullptr);
}

TEST_F(Lifecycle, ClosingQuitsBothApplications) {
    loadBoth();
    const auto ppt = window.PptApp();
    const auto xls = window.XlsApp();
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(desktop.Messages().empty());
    EXPECT_FALSE(ppt->IsRunning());
    EXPECT_FALSE(xls->IsRunning());
    EXPECT_EQ(window.PptApp(), nullptr);
    EXPECT_EQ(window.XlsApp(), nullptr);
}

TEST_F(Lifecycle, FailingToQuitThePresentationApplicationLeavesTheSpreadsheetOneRunning) {
    loadBoth();
    // The user closed the presentation application by hand.
    window.PptApp()->Quit();
    const auto xls = window.XlsApp();
    window.show();
    EXPECT_TRUE(window.close());

    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Messages()[0].rfind("Error 2005: ", 0), 0u) << desktop.Messages()[0];
    EXPECT_TRUE(xls->IsRunning());
    EXPECT_EQ(window.XlsApp(), xls);
    xls->Quit();
}

TEST(FailureReport, NamesTheCodeAndTheText) {
    const auto describe = [](auto failure) {
        return DescribeFailure(std::make_exception_ptr(failure));
    };
    EXPECT_EQ(describe(office::Error(office::ErrorCode::FileNotFound, "a.xlsx: file not found")),
              "Error 53: a.xlsx: file not found");
    EXPECT_EQ(describe(std::runtime_error("out of disk")), "Error: out of disk");
    EXPECT_EQ(describe(42), "Error: unknown failure");
}

TEST(FailureReport, CommandsGoOnAfterAFailure) {
    testing::Application application;
    testing::ScriptedDesktop desktop;
    int after = 0;
    RunCommand([] { throw office::Error(office::ErrorCode::ObjectClosed, "closed"); });
    RunCommand([&] { ++after; });
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Messages()[0], "Error 2005: closed");
    EXPECT_EQ(after, 1);
}

// An object whose every user event fails, as a broken event handler would.
class Failing : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw office::Error(office::ErrorCode::IndexOutOfRange, "handler failed");
        }
        return QObject::event(event);
    }
};

TEST(FailureReport, FailureEscapingAnEventHandlerIsReported) {
    testing::Application application;
    testing::ScriptedDesktop desktop;
    Failing receiver;
    QEvent event(QEvent::User);
    QApplication::sendEvent(&receiver, &event);
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Messages()[0], "Error 9: handler failed");
}

// The program's application object gives the window its real dialogs, message boxes and
// desktop "open"; without it the core's answers (cancelled, standard error, nothing opened)
// would stand in for them unseen.
TEST(ReportingApplication, PutsTheQtDesktopIntoThePlatformTable) {
    testing::Application application;
    using Open = bool (*)(const std::string&);
    using Choose = std::string (*)(const platform::FileDialog&);
    using Tell = int (*)(const std::string&, const std::string&, int);
    const platform::Platform qt = platform::qtPlatform();
    const platform::Platform core = platform::corePlatform();
    const platform::Platform& table = platform::current();
    ASSERT_NE(table.shellOpen.target<Open>(), nullptr);
    EXPECT_EQ(*table.shellOpen.target<Open>(), *qt.shellOpen.target<Open>());
    EXPECT_NE(*table.shellOpen.target<Open>(), *core.shellOpen.target<Open>());
    ASSERT_NE(table.chooseFile.target<Choose>(), nullptr);
    EXPECT_EQ(*table.chooseFile.target<Choose>(), *qt.chooseFile.target<Choose>());
    ASSERT_NE(table.messageBox.target<Tell>(), nullptr);
    EXPECT_EQ(*table.messageBox.target<Tell>(), *qt.messageBox.target<Tell>());
}

// Writes the loaded window to the build folder so that anyone can look at its layout.
TEST_F(Lifecycle, ScreenshotAfterLoadingAWorkbookAndATemplate) {
    loadBoth();
    window.show();
    QApplication::processEvents();
    const QPixmap picture = window.grab();
    EXPECT_EQ(picture.size(), QSize(492, 516) * picture.devicePixelRatio());
    const QString folder = QString(TABULON_BINARY_DIR) + "/screenshots";
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(picture.save(folder + "/frmMain.png", "PNG"));
}

}  // namespace
}  // namespace tabulon
