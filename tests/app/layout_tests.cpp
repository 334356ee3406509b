// The window as it is built: every control of the layout table, the window's border, icon,
// menus, buttons, focus and dialogs.

#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "desktop.h"

namespace tabulon {
namespace {

using testing::Control;

enum class Kind { Button, Frame, List, Tree, TextBox };

struct ControlRow {
    const char* name;
    Kind kind;
    const char* text;
    int left, top, width, height;  // twips
    const char* inside;            // the frame, or nullptr for the window
};

// The window's controls in tab order, in twips, exactly as the layout table gives them.
const ControlRow kControls[] = {
    {"CmdExcel", Kind::Button, "Excel", 120, 120, 1095, 495, nullptr},
    {"Frame1", Kind::Frame, "Convert To Graph", 120, 5640, 7095, 1095, nullptr},
    {"Frame2", Kind::Frame, "Set Template", 120, 1560, 7095, 3975, nullptr},
    {"lvwSheet", Kind::List, "", 240, 240, 2655, 2775, "Frame2"},
    {"tvwPpt", Kind::Tree, "", 3960, 360, 2775, 2775, "Frame2"},
    {"cmdLink", Kind::Button, "linked", 3000, 1560, 855, 375, "Frame2"},
    {"txtExcel", Kind::TextBox, "", 1560, 120, 5655, 375, nullptr},
    {"cmdPowerpoint", Kind::Button, "template", 120, 840, 1095, 495, nullptr},
    {"txtPpt", Kind::TextBox, "", 1560, 840, 5655, 375, nullptr},
    {"cmdSave", Kind::Button, "save", 5880, 3360, 855, 375, "Frame2"},
    {"cmdConvert", Kind::Button, "Convert", 5880, 360, 975, 375, "Frame1"},
    {"Command1", Kind::Button, "About", 6240, 7080, 975, 375, nullptr},
    {"Command2", Kind::Button, "Help", 120, 7080, 975, 375, nullptr},
};

int px(int twips) {
    return twips / 15;
}

QString textOf(QWidget* widget, Kind kind) {
    switch (kind) {
        case Kind::Button:
            return static_cast<QPushButton*>(widget)->text();
        case Kind::Frame:
            return static_cast<QGroupBox*>(widget)->title();
        case Kind::TextBox:
            return static_cast<QLineEdit*>(widget)->text();
        case Kind::List:
        case Kind::Tree:
            // No text of their own; they start empty.
            return static_cast<QTreeWidget*>(widget)->topLevelItemCount() == 0 ? "" : "items";
    }
    return "?";
}

bool isKind(QWidget* widget, Kind kind) {
    switch (kind) {
        case Kind::Button:
            return qobject_cast<QPushButton*>(widget) != nullptr;
        case Kind::Frame:
            return qobject_cast<QGroupBox*>(widget) != nullptr;
        case Kind::TextBox:
            return qobject_cast<QLineEdit*>(widget) != nullptr;
        case Kind::List:
        case Kind::Tree:
            return qobject_cast<QTreeWidget*>(widget) != nullptr;
    }
    return false;
}

class Layout : public ::testing::Test {
protected:
    testing::Application application;
    frmMain window;
};

TEST_F(Layout, EveryControlHasItsKindTextGeometryAndFrame) {
    for (const auto& row : kControls) {
        SCOPED_TRACE(row.name);
        QWidget* widget = Control(window, row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(isKind(widget, row.kind));
        EXPECT_EQ(textOf(widget, row.kind), QString(row.text));
        EXPECT_EQ(widget->geometry(),
                  QRect(px(row.left), px(row.top), px(row.width), px(row.height)));
        const QString parent = row.inside ? QString(row.inside) : QString();
        EXPECT_EQ(
            widget->parentWidget() == &window ? QString() : widget->parentWidget()->objectName(),
            parent);
        EXPECT_TRUE(widget->isEnabled());
    }
}

TEST_F(Layout, TabOrderRunsThroughTheTableInOrder) {
    std::vector<QString> expected;
    for (const auto& row : kControls) {
        expected.push_back(row.name);
    }
    std::vector<QString> chain;
    QWidget* start = Control(window, "CmdExcel");
    QWidget* widget = start;
    do {
        for (const auto& row : kControls) {
            if (widget->objectName() == row.name) {
                chain.push_back(widget->objectName());
            }
        }
        widget = widget->nextInFocusChain();
    } while (widget != start && chain.size() < 2 * expected.size());
    EXPECT_EQ(chain, expected);
}

TEST_F(Layout, WindowBorderIconAndClientArea) {
    EXPECT_EQ(window.size(), QSize(492, 516));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_LT(window.minimumWidth(), window.maximumWidth());
    EXPECT_LT(window.minimumHeight(), window.maximumHeight());
    const QIcon icon = window.windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_EQ(window.findChild<QMenuBar*>(), nullptr);
}

TEST_F(Layout, ResizingMovesNoControl) {
    window.show();
    std::vector<QRect> before;
    for (const auto& row : kControls) {
        before.push_back(Control(window, row.name)->geometry());
    }
    window.resize(800, 700);
    QApplication::processEvents();
    window.resize(300, 200);
    QApplication::processEvents();
    for (std::size_t i = 0; i < std::size(kControls); ++i) {
        EXPECT_EQ(Control(window, kControls[i].name)->geometry(), before[i]) << kControls[i].name;
    }
}

TEST_F(Layout, NoDefaultButtonAndFocusOnExcelAtFirstShow) {
    for (auto* button : window.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
    window.show();
    window.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(window.focusWidget(), Control(window, "CmdExcel"));
}

TEST_F(Layout, EnterAndEscapePressNoButton) {
    testing::ScriptedDesktop desktop;
    window.show();
    QWidget* focused = Control(window, "CmdExcel");
    focused->setFocus();
    for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(focused, &press);
        QApplication::sendEvent(focused, &release);
    }
    EXPECT_TRUE(desktop.Dialogs().empty());
    EXPECT_TRUE(window.isVisible());

    // The space bar does press the focused button, so the keys above did reach it.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(focused, &press);
    QApplication::sendEvent(focused, &release);
    EXPECT_EQ(desktop.Dialogs().size(), 1u);
}

TEST_F(Layout, ListTreeAndHiddenMenu) {
    auto* list = Control<QTreeWidget>(window, "lvwSheet");
    EXPECT_EQ(list->columnCount(), 1);
    EXPECT_EQ(list->headerItem()->text(0), "WorkSheetName");
    EXPECT_FALSE(list->isHeaderHidden());
    EXPECT_EQ(list->columnWidth(0), 163);  // 2440 twips
    EXPECT_FALSE(list->isSortingEnabled());

    auto* tree = Control<QTreeWidget>(window, "tvwPpt");
    EXPECT_TRUE(tree->isHeaderHidden());
    EXPECT_EQ(tree->topLevelItemCount(), 0);

    ASSERT_NE(window.mnupop(), nullptr);
    EXPECT_EQ(window.mnupop()->objectName(), "mnupop");
    EXPECT_EQ(window.mnupop()->title(), "mnuPop");
    EXPECT_FALSE(window.mnupop()->isVisible());
    ASSERT_EQ(window.mnupop()->actions().size(), 1);
    EXPECT_EQ(window.mnupop()->actions().front(), window.mnuCMap());
    EXPECT_EQ(window.mnuCMap()->objectName(), "mnuCMap");
    EXPECT_EQ(window.mnuCMap()->text(), "Cancel Mapping");
}

TEST_F(Layout, DialogsNameTheFormatsTheHostReadsAndWrites) {
    using Patterns = std::vector<std::string>;
    const platform::FileDialog& excel = window.dlgOpenExcel();
    EXPECT_FALSE(excel.save);
    EXPECT_EQ(excel.title, "");
    EXPECT_EQ(excel.filterDescription, "ExcelFile");
    EXPECT_EQ(excel.patterns, (Patterns{"*.xlsx", "*.xlsm", "*.xls"}));
    EXPECT_EQ(excel.defaultSuffix, "xlsx");
    EXPECT_EQ(platform::nameFilters(excel).back(), "All files (*)");

    const platform::FileDialog& ppt = window.dlgOpenPpt();
    EXPECT_FALSE(ppt.save);
    EXPECT_EQ(ppt.title, "");
    EXPECT_EQ(ppt.filterDescription, "Powerpoint");
    EXPECT_EQ(ppt.patterns, (Patterns{"*.pptx", "*.ppt"}));
    EXPECT_EQ(ppt.defaultSuffix, "pptx");
    EXPECT_EQ(platform::nameFilters(ppt).back(), "All files (*)");

    const platform::FileDialog& output = window.dlgoutput();
    EXPECT_TRUE(output.save);
    EXPECT_EQ(output.title, "Save Powerpoint");
    EXPECT_EQ(output.filterDescription, "popwerpointFile");
    EXPECT_EQ(output.patterns, (Patterns{"*.pptx"}));
    EXPECT_EQ(output.defaultSuffix, "pptx");
}

TEST_F(Layout, StartsWithEmptyStateAndNoApplication) {
    EXPECT_EQ(window.WorkbookPath(), "");
    EXPECT_EQ(window.TemplatePath(), "");
    EXPECT_EQ(window.XlsApp(), nullptr);
    EXPECT_EQ(window.PptApp(), nullptr);
    EXPECT_EQ(window.SlideTable().Count(), 0);
    EXPECT_EQ(&window.SlideTable(), &window.SlideTable());
}

}  // namespace
}  // namespace tabulon
