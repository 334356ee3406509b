// Message boxes that show their whole text; a Convert's progress, warnings and the mapping
// commands after it; keys for the context menu, minimum size, kept folders, Help without browser.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "app/ConvertRun.h"
#include "app/frmMain.h"
#include "desktop.h"
#include "platform/qt_platform.h"

namespace tabulon {
namespace {

using testing::AppFixture;
using testing::Control;

::testing::AssertionResult showsWholeText(const std::string& text) {
    auto box = platform::makeMessageBox(text, kApplicationTitle, platform::kCritical, nullptr);
    box->show();
    QApplication::processEvents();
    const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
    const QRect room = label->contentsRect();
    const QRect needed = label->fontMetrics().boundingRect(
        room, Qt::TextWordWrap | label->alignment(), label->text());
    const bool fits = room.contains(needed.translated(room.topLeft() - needed.topLeft())) &&
                      box->rect().contains(label->geometry());
    return fits ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << needed.height();
}

TEST(MessageBox, ItsLabelHoldsTheWholeText) {
    testing::EnsureApplication();
    for (const char* text :
         {"Error 2002: legacy.ppt: this is a legacy presentation",
          "Error 2009: /home/somebody/monthly reports/2026/november/regional templates/ro.pptx: is "
          "read-only, so it is not replaced; save under another name or clear its read-only mark",
          "/srv/an-exceptionally-long-folder-name-without-any-break/another-one-that-goes-on/"
          "r.pptx",
          "Sheet Table contain in ppt "
          "template：工作表已链接到模板中的另一张幻灯片，请先取消映射再链接。"}) {
        EXPECT_TRUE(showsWholeText(text)) << text;
    }
}

class ConvertFeedback : public ::testing::Test {
protected:
    void choose(const char* button, const std::string& path) {
        desktop.WillChoose(path);
        Control<QPushButton>(window, button)->click();
    }
    // The first worksheet, "Sales", linked to the template's first shape, and saved.
    void linkAndSave() {
        QFile::copy(QString::fromStdString(AppFixture("template.pptx")), templatePath);
        choose("CmdExcel", AppFixture("first.xlsx"));
        choose("cmdPowerpoint", templatePath.toStdString());
        select();
        Control<QPushButton>(window, "cmdLink")->click();
        Control<QPushButton>(window, "cmdSave")->click();
    }
    void select() {
        list->setCurrentItem(list->topLevelItem(0));
        tree->setCurrentItem(tree->topLevelItem(0)->child(0)->child(0));
    }
    std::string output() { return folder.filePath("out.pptx").toStdString(); }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    QTemporaryDir folder;
    QString templatePath = folder.filePath("template.pptx");
    frmMain window;
    QTreeWidget* list = Control<QTreeWidget>(window, "lvwSheet");
    QTreeWidget* tree = Control<QTreeWidget>(window, "tvwPpt");
};

TEST_F(ConvertFeedback, ARunShowsItsProgressWhileTheWindowKeepsPainting) {
    linkAndSave();
    window.SetProgressDelay(std::chrono::milliseconds(0));
    bool dialogSeen = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const QWidget* modal = QApplication::activeModalWidget();
        dialogSeen |= modal && modal->objectName() == kProgressDialogName && modal->isVisible();
    });
    timer.start(0);
    choose("cmdConvert", output());
    EXPECT_TRUE(dialogSeen) << "a timer firing during the run sees the dialog";
}

TEST_F(ConvertFeedback, WarningsOfARunAreListedWithTheOutputAndMappingCommandsSayConvertClosed) {
    linkAndSave();
    choose("CmdExcel", AppFixture("second.xlsx"));  // no worksheet "Sales"
    choose("cmdConvert", output());
    EXPECT_EQ(desktop.Messages(),
              std::vector<std::string>{"Convert wrote " + output() +
                                       ", but left this undone:\n\n- template.pptx: slide 1 "
                                       "(\"Sales\") is linked, but second.xlsx has no worksheet "
                                       "of that name"});
    select();
    Control<QPushButton>(window, "cmdLink")->click();
    window.mnuCMap()->trigger();
    EXPECT_EQ(desktop.Messages().at(1), kTemplateClosedByConvert);
    EXPECT_EQ(desktop.Messages().at(2), kTemplateClosedByConvert);
    EXPECT_EQ(desktop.Buttons(), (std::vector<int>{platform::kExclamation, platform::kInformation,
                                                   platform::kInformation}));
}

TEST_F(ConvertFeedback, KeysForTheContextMenuMinimumSizeKeptFoldersAndHelpWithoutBrowser) {
    choose("cmdPowerpoint", AppFixture("template.pptx"));
    window.show();
    tree->setCurrentItem(tree->topLevelItem(0)->child(0)->child(0));
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(tree, &press);
        EXPECT_TRUE(window.mnupop()->isVisible()) << key;
        window.mnupop()->hide();
    }
    window.resize(300, 200);  // no smaller than the layout, which would hide save and Convert
    EXPECT_EQ(window.size(), QSize(Twips(7380), Twips(7740)));

    frmMain restarted;
    desktop.WillCancel();
    Control<QPushButton>(restarted, "cmdPowerpoint")->click();
    EXPECT_EQ(desktop.Dialogs().back().folder,
              std::filesystem::path(AppFixture("template.pptx")).parent_path().string());

    platform::Platform noBrowser;
    noBrowser.shellOpen = [](const std::string&) { return false; };
    const platform::ScopedPlatform scope(std::move(noBrowser));
    Control<QPushButton>(window, "Command2")->click();
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_NE(desktop.Messages()[0].find(MDL_PublicCode::HomePage()), std::string::npos);
}

}  // namespace
}  // namespace tabulon
