#pragma once

// The program's main window and start-up object: the controls, the state of the user's work
// (the chosen paths, the browsing applications, the template's slide table) and the commands
// behind the buttons. Each click runs a plain member function, so a test can drive the window
// by clicking or by calling those functions; a failure that leaves a click goes to the report
// of unhandled failures.

#include <QWidget>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "office/excel.h"
#include "office/powerpoint.h"
#include "platform/seams.h"
#include "settings/clsIniFile.h"
#include "template/Mapping.h"
#include "template/cls_PptSlide.h"
#include "update/Cls_WebService.h"
#include "update/Inet.h"

class QAction;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tabulon {

// Item data roles of the worksheet list and the template tree: the Tag of an item (a sheet
// name, or a 32-bit collection key) and the Key of a tree node ("Root" for the root only).
inline constexpr int kTagRole = Qt::UserRole;
inline constexpr int kKeyRole = Qt::UserRole + 1;

// The root's key, kRootKey, is the mapping's (template/Mapping.h).
inline constexpr const char* kRootText = "ppt模板";

// Twips (1440 to the inch) to pixels at 96 dots per inch.
constexpr int Twips(int twips) {
    return (twips * 2 + 15) / 30;
}

class frmMain : public QWidget {
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The start-up step, run once before the window is first shown: hands the window's Inet to
    // UpdateService and runs the daily update check. Its failures go to the caller.
    void Form_Load();

    // "Excel" clicked: asks for the workbook, shows its path and lists its worksheets.
    void CmdExcel_Click();
    // "template" clicked: asks for the template, shows its path, loads it and builds the tree.
    void cmdPowerpoint_Click();
    // Opens the workbook in XlsApp (created when none) and refills the worksheet list.
    void LoadWorkbook(const std::string& path);
    // Opens the template in PptApp (created when none) and refills SlideTable.
    void LoadTemplate(const std::string& path);
    // Clears the tree and rebuilds it from SlideTable.
    void BuildTemplateTree();
    // A node of the tree clicked: cmdLink and mnuCMap follow the enabling rule of
    // LinkEnabledAfterClick (template/Mapping.h).
    void tvwPpt_NodeClick();
    // A mouse button released over the tree: the right button pops up mnupop at globalPos.
    void tvwPpt_MouseUp(Qt::MouseButton button, const QPoint& globalPos);
    // "linked" clicked: LinkCommand on the selected worksheet and node; a refused name is shown
    // in a message box, a link in the slide node's text.
    void cmdLink_Click();
    // tabulon::LinkSheetToSlide for the worksheet item's Tag and the node, then shows the
    // slide's new name in the slide node. Fails with InvalidArgument, changing nothing, when
    // the node is the root or a slide node.
    void LinkSheetToSlide(const QTreeWidgetItem& sheetItem, const QTreeWidgetItem& shapeNode);
    // "Cancel Mapping" chosen: CancelCommand on the selected node; the slide node shows the
    // slide's new name.
    void mnuCMap_Click();
    // tabulon::CancelMapping for the node's slide, whose node then shows its new name.
    void CancelMapping(QTreeWidgetItem& slideNode);
    // "save" clicked: saves the active presentation in place. Does nothing when no template
    // is open.
    void cmdSave_Click();
    // "Convert" clicked: closes the documents of the browsing applications and quits them
    // (MDL_PptReport::QuitApplication), asks for the output and runs the conversion when the
    // workbook, the template and the output are all named.
    void cmdConvert_Click();
    // "About" clicked: shows a freshly made About dialog modally and drops it afterwards.
    void Command1_Click();
    // "Help" clicked: hands the vendor's home page to the desktop.
    void Command2_Click();
    // Quits PptApp, then XlsApp, leaving their documents to them. A failure of the first ends
    // it there, leaving XlsApp running.
    void Unload();

    const std::string& WorkbookPath() const noexcept { return workbookPath_; }
    const std::string& TemplatePath() const noexcept { return templatePath_; }
    // Created empty on first use and never dropped afterwards.
    SlideCollection& SlideTable();
    // Both created on first use and never dropped afterwards.
    clsIniFile& IniFile();
    Cls_WebService& UpdateService();
    const std::shared_ptr<office::ppt::Application>& PptApp() const noexcept { return pptApp_; }
    const std::shared_ptr<office::excel::Application>& XlsApp() const noexcept { return xlsApp_; }

    // The settings of the window's three file dialogs.
    const platform::FileDialog& dlgOpenExcel() const noexcept { return dlgOpenExcel_; }
    const platform::FileDialog& dlgOpenPpt() const noexcept { return dlgOpenPpt_; }
    const platform::FileDialog& dlgoutput() const noexcept { return dlgoutput_; }

    // How long a Convert runs before its progress dialog shows.
    void SetProgressDelay(std::chrono::milliseconds delay) noexcept { progressDelay_ = delay; }

    QMenu* mnupop() const noexcept { return mnupop_; }
    QAction* mnuCMap() const noexcept { return mnuCMap_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void applyTabOrder();
    void connectCommands();
    void addSlideNode(QTreeWidgetItem& root, int position);
    // The node as the mapping sees it: its kind and keys; nothing for no node.
    std::optional<TreeNode> treeNode(const QTreeWidgetItem* item) const;
    BrowsedTemplate browsedTemplate();
    int openPresentations() const;
    bool contextMenuKey(QEvent* event);
    // Whether a mapping command on the node finds the template closed by the last Convert.
    bool closedByConvert(const std::optional<TreeNode>& node) const;

    // Whether the last LoadWorkbook got as far as refilling the worksheet list.
    bool listChanged_ = false;
    QPushButton* CmdExcel_ = nullptr;

    QGroupBox* Frame1_ = nullptr;
    QGroupBox* Frame2_ = nullptr;
    QTreeWidget* lvwSheet_ = nullptr;
    QTreeWidget* tvwPpt_ = nullptr;
    QPushButton* cmdLink_ = nullptr;
    QLineEdit* txtExcel_ = nullptr;
    QPushButton* cmdPowerpoint_ = nullptr;
    QLineEdit* txtPpt_ = nullptr;
    QPushButton* cmdSave_ = nullptr;
    QPushButton* cmdConvert_ = nullptr;
    QPushButton* Command1_ = nullptr;
    QPushButton* Command2_ = nullptr;
    QMenu* mnupop_ = nullptr;
    QAction* mnuCMap_ = nullptr;

    platform::FileDialog dlgOpenExcel_;
    platform::FileDialog dlgOpenPpt_;
    platform::FileDialog dlgoutput_;
    // The internet transfer component: HTTP with a 60-second request time-out.
    std::shared_ptr<::Inet> Inet_;

    std::string workbookPath_;
    std::string templatePath_;
    // The template of the last Convert; a mapping command finds it closed until it is chosen
    // again.
    std::string convertedTemplate_;
    std::chrono::milliseconds progressDelay_{500};
    std::unique_ptr<SlideCollection> slideTable_;
    std::unique_ptr<clsIniFile> iniFile_;
    std::unique_ptr<Cls_WebService> updateService_;
    std::shared_ptr<office::ppt::Application> pptApp_;
    std::shared_ptr<office::excel::Application> xlsApp_;
};

}  // namespace tabulon
