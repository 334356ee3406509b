#include "app/frmMain.h"

#include <filesystem>

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "about/frmAbout.h"
#include "app/ConvertRun.h"
#include "app/FailureReport.h"
#include "engine/MDL_PptReport.h"
#include "engine/QuitApplication.h"
#include "settings/folders.h"
#include "template/LoadTemplate.h"
#include "template/Mapping.h"
#include "update/DailyUpdateCheck.h"
#include "update/MDL_PublicCode.h"

namespace tabulon {
namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

void place(QWidget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(name);
    widget->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

QPushButton* button(QWidget* parent, const char* name, const char* text, int left, int top,
                    int width, int height) {
    auto* widget = new QPushButton(QString::fromUtf8(text), parent);
    // Enter and Escape press no button of this window.
    widget->setAutoDefault(false);
    widget->setDefault(false);
    place(widget, name, left, top, width, height);
    return widget;
}

QGroupBox* frame(QWidget* parent, const char* name, const char* text, int left, int top, int width,
                 int height) {
    auto* widget = new QGroupBox(QString::fromUtf8(text), parent);
    place(widget, name, left, top, width, height);
    return widget;
}

QLineEdit* textBox(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new QLineEdit(parent);
    place(widget, name, left, top, width, height);
    return widget;
}

// The settings file beside the executable, which also keeps the date of the update check.
std::string settingsFile() {
    return (std::filesystem::path(platform::current().executableDir()) / update::kSettingsFileName)
        .string();
}

// Whatever the user picks in the dialog; the empty text when the dialog was cancelled. The
// dialog opens next time in the folder of the file chosen, also after a restart: the folder is
// kept in the settings file under the dialog's file type.
std::string showFileDialog(platform::FileDialog& dialog) {
    const std::string file = settingsFile();
    if (dialog.folder.empty()) {
        dialog.folder = settings::KeptFolder(file, dialog.filterDescription);
    }
    std::string chosen = platform::current().chooseFile(dialog);
    const std::filesystem::path path(chosen);
    if (!chosen.empty() && path.has_parent_path()) {
        dialog.folder = path.parent_path().string();
        settings::KeepFolder(file, dialog.filterDescription, dialog.folder);
    }
    return chosen;
}

void inform(const std::string& text) {
    platform::current().messageBox(text, kApplicationTitle,
                                   platform::kOkOnly | platform::kInformation);
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QWidget(parent) {
    setWindowTitle(kApplicationTitle);
    setWindowIcon(QIcon(":/tabulon/tabulon.png"));
    // Resizable, with a minimise and no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    resize(Twips(7380), Twips(7740));
    // Smaller, the window would hide save, Convert and About.
    setMinimumSize(Twips(7380), Twips(7740));

    dlgOpenExcel_ = {false, "", "ExcelFile", {"*.xlsx", "*.xlsm", "*.xls"}, "xlsx"};
    dlgOpenPpt_ = {false, "", "Powerpoint", {"*.pptx", "*.ppt"}, "pptx"};
    dlgoutput_ = {true, "Save Powerpoint", "popwerpointFile", {"*.pptx"}, "pptx"};
    Inet_ = std::make_shared<::Inet>();
    Inet_->RequestTimeout = 60;

    createControls();
    applyTabOrder();
    connectCommands();
    CmdExcel_->setFocus();
}

frmMain::~frmMain() = default;

void frmMain::createControls() {
    // Positions and sizes in twips; controls are placed once and never laid out again, so
    // resizing the window moves nothing.
    CmdExcel_ = button(this, "CmdExcel", "Excel", 120, 120, 1095, 495);
    Frame1_ = frame(this, "Frame1", "Convert To Graph", 120, 5640, 7095, 1095);
    Frame2_ = frame(this, "Frame2", "Set Template", 120, 1560, 7095, 3975);

    lvwSheet_ = new QTreeWidget(Frame2_);
    place(lvwSheet_, "lvwSheet", 240, 240, 2655, 2775);
    lvwSheet_->setColumnCount(1);
    lvwSheet_->setHeaderLabels({"WorkSheetName"});
    lvwSheet_->setColumnWidth(0, Twips(2440));
    lvwSheet_->setRootIsDecorated(false);
    lvwSheet_->setSortingEnabled(false);

    tvwPpt_ = new QTreeWidget(Frame2_);
    place(tvwPpt_, "tvwPpt", 3960, 360, 2775, 2775);
    tvwPpt_->setColumnCount(1);
    tvwPpt_->setHeaderHidden(true);
    // The root node's text is Chinese: name a font with those glyphs behind the usual one, in
    // case the desktop's own fallback finds none.
    QFont treeFont = tvwPpt_->font();
    treeFont.setFamilies({treeFont.family(), "Noto Sans CJK SC"});
    tvwPpt_->setFont(treeFont);
    tvwPpt_->viewport()->installEventFilter(this);
    tvwPpt_->installEventFilter(this);

    cmdLink_ = button(Frame2_, "cmdLink", "linked", 3000, 1560, 855, 375);
    txtExcel_ = textBox(this, "txtExcel", 1560, 120, 5655, 375);
    cmdPowerpoint_ = button(this, "cmdPowerpoint", "template", 120, 840, 1095, 495);
    txtPpt_ = textBox(this, "txtPpt", 1560, 840, 5655, 375);
    cmdSave_ = button(Frame2_, "cmdSave", "save", 5880, 3360, 855, 375);
    cmdConvert_ = button(Frame1_, "cmdConvert", "Convert", 5880, 360, 975, 375);
    Command1_ = button(this, "Command1", "About", 6240, 7080, 975, 375);
    Command2_ = button(this, "Command2", "Help", 120, 7080, 975, 375);

    // The hidden menu: never in a menu bar, shown only as the tree's context menu.
    mnupop_ = new QMenu("mnuPop", this);
    mnupop_->setObjectName("mnupop");
    mnuCMap_ = mnupop_->addAction("Cancel Mapping");
    mnuCMap_->setObjectName("mnuCMap");
}

void frmMain::applyTabOrder() {
    QWidget* order[] = {CmdExcel_,   Frame1_,   Frame2_,        lvwSheet_, tvwPpt_,
                        cmdLink_,    txtExcel_, cmdPowerpoint_, txtPpt_,   cmdSave_,
                        cmdConvert_, Command1_, Command2_};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void frmMain::connectCommands() {
    connect(CmdExcel_, &QPushButton::clicked, this,
            [this] { RunCommand([this] { CmdExcel_Click(); }); });
    connect(cmdPowerpoint_, &QPushButton::clicked, this,
            [this] { RunCommand([this] { cmdPowerpoint_Click(); }); });
    connect(tvwPpt_, &QTreeWidget::itemClicked, this,
            [this] { RunCommand([this] { tvwPpt_NodeClick(); }); });
    // Moving through the tree with the keyboard selects nodes as clicks do, and is answered
    // the same way.
    connect(tvwPpt_, &QTreeWidget::currentItemChanged, this,
            [this] { RunCommand([this] { tvwPpt_NodeClick(); }); });
    connect(cmdLink_, &QPushButton::clicked, this,
            [this] { RunCommand([this] { cmdLink_Click(); }); });
    connect(mnuCMap_, &QAction::triggered, this,
            [this] { RunCommand([this] { mnuCMap_Click(); }); });
    connect(cmdSave_, &QPushButton::clicked, this,
            [this] { RunCommand([this] { cmdSave_Click(); }); });
    connect(cmdConvert_, &QPushButton::clicked, this,
            [this] { RunCommand([this] { cmdConvert_Click(); }); });
    connect(Command1_, &QPushButton::clicked, this,
            [this] { RunCommand([this] { Command1_Click(); }); });
    connect(Command2_, &QPushButton::clicked, this,
            [this] { RunCommand([this] { Command2_Click(); }); });
}

void frmMain::Form_Load() {
    UpdateService().InetTrans(Inet_);
    DailyUpdateCheck(IniFile(), UpdateService());
}

void frmMain::Command1_Click() {
    // No owner window: the dialog is modal to the whole program.
    frmAbout dialog;
    dialog.exec();
}

void frmMain::Command2_Click() {
    const std::string page = MDL_PublicCode::HomePage();
    if (!platform::current().shellOpen(page)) {
        inform("No web browser could be opened. The help is at " + page);
    }
}

clsIniFile& frmMain::IniFile() {
    if (!iniFile_) {
        iniFile_ = std::make_unique<clsIniFile>();
    }
    return *iniFile_;
}

Cls_WebService& frmMain::UpdateService() {
    if (!updateService_) {
        updateService_ = std::make_unique<Cls_WebService>();
    }
    return *updateService_;
}

SlideCollection& frmMain::SlideTable() {
    if (!slideTable_) {
        slideTable_ = std::make_unique<SlideCollection>();
    }
    return *slideTable_;
}

void frmMain::CmdExcel_Click() {
    const std::string fileName = showFileDialog(dlgOpenExcel_);
    if (fileName.empty()) {
        return;
    }
    BusyCursor busy;
    const std::string listed = workbookPath_;
    workbookPath_ = fileName;
    txtExcel_->setText(qt(workbookPath_));
    try {
        LoadWorkbook(workbookPath_);
    } catch (...) {
        if (!listChanged_) {
            // The list still shows the earlier workbook: so do the path and its box.
            workbookPath_ = listed;
            txtExcel_->setText(qt(listed));
        }
        throw;
    }
    xlsApp_->SetWindowState(office::excel::xlMinimized);
}

void frmMain::LoadWorkbook(const std::string& path) {
    if (!xlsApp_) {
        xlsApp_ = office::excel::Application::Create();
        xlsApp_->SetVisible(true);
    }
    listChanged_ = false;
    const auto workbook = xlsApp_->Workbooks()->Open(path);
    lvwSheet_->clear();
    listChanged_ = true;
    // Names come from the worksheets themselves, so a chart sheet of the workbook is never
    // listed and every item names a worksheet that a link can use.
    const auto worksheets = workbook->Worksheets();
    const int count = worksheets->Count();
    for (int i = 1; i <= count; ++i) {
        // The item is added only once its name has been read, so a sheet that cannot be read
        // leaves no empty item behind.
        const QString name = qt(worksheets->Item(i)->Name());
        auto* item = new QTreeWidgetItem(lvwSheet_);
        item->setText(0, name);
        item->setData(0, kTagRole, qt(worksheets->Item(i)->Name()));
    }
}

void frmMain::cmdPowerpoint_Click() {
    const std::string fileName = showFileDialog(dlgOpenPpt_);
    if (fileName.empty()) {
        return;
    }
    BusyCursor busy;
    const std::string listed = templatePath_;
    const int openBefore = openPresentations();
    templatePath_ = fileName;
    txtPpt_->setText(qt(templatePath_));
    try {
        LoadTemplate(templatePath_);
    } catch (...) {
        if (openPresentations() > openBefore) {
            BuildTemplateTree();  // the slides of the new template read so far
        } else {
            templatePath_ = listed;  // nothing of it was read: the tree shows the earlier one
            txtPpt_->setText(qt(listed));
        }
        throw;
    }
    BuildTemplateTree();
    pptApp_->SetWindowState(office::ppt::ppWindowMinimized);
}

int frmMain::openPresentations() const {
    return pptApp_ && pptApp_->IsRunning() ? pptApp_->Presentations()->Count() : 0;
}

void frmMain::LoadTemplate(const std::string& path) {
    tabulon::LoadTemplate(pptApp_, SlideTable(), path);
}

void frmMain::BuildTemplateTree() {
    tvwPpt_->clear();
    auto* root = new QTreeWidgetItem(tvwPpt_);
    root->setText(0, QString::fromUtf8(kRootText));
    root->setData(0, kKeyRole, QString(kRootKey));
    root->setExpanded(true);
    const SlideCollection& slides = SlideTable();
    const int count = slides.Count();
    for (int k = 0; k < count; ++k) {
        addSlideNode(*root, k);
    }
}

void frmMain::addSlideNode(QTreeWidgetItem& root, int position) {
    const SlideCollection& slides = SlideTable();
    const cls_PptSlide& slide = *slides.ValueAt(position);
    const QString name = qt(slide.Name());
    auto* node = new QTreeWidgetItem(&root);
    node->setText(0, name);
    node->setData(0, kTagRole, slides.KeyAt(position));
    const ShapeCollection& shapes = *slide.Objects();
    const int count = shapes.Count();
    for (int m = 0; m < count; ++m) {
        auto* shapeNode = new QTreeWidgetItem(node);
        shapeNode->setText(0, qt(shapes.ValueAt(m)->ShapeType()));
        // Two "Chart" nodes of one slide are told apart by the shapes' own names.
        // A shape inside a group shape also names its group.
        const std::string group = shapes.ValueAt(m)->GroupName();
        const std::string name = shapes.ValueAt(m)->Name();
        shapeNode->setToolTip(0, qt(group.empty() ? name : name + " (" + group + ")"));
        shapeNode->setData(0, kTagRole, shapes.KeyAt(m));
    }
}

std::optional<TreeNode> frmMain::treeNode(const QTreeWidgetItem* item) const {
    if (!item) {
        return std::nullopt;
    }
    const QTreeWidgetItem* parent = item->parent();
    TreeNode node;
    node.text = item->text(0).toStdString();
    node.kind =
        KindOfNode(parent != nullptr,
                   parent ? parent->data(0, kKeyRole).toString().toStdString() : std::string());
    if (node.kind == NodeKind::Slide) {
        node.slideKey = item->data(0, kTagRole).toInt();
    }
    if (node.kind == NodeKind::Shape) {
        node.slideKey = parent->data(0, kTagRole).toInt();
        node.shapeKey = item->data(0, kTagRole).toInt();
    }
    return node;
}

BrowsedTemplate frmMain::browsedTemplate() {
    return {pptApp_, templatePath_, SlideTable()};
}

void frmMain::tvwPpt_NodeClick() {
    const auto node = treeNode(tvwPpt_->currentItem());
    if (!node) {
        return;
    }
    if (const auto enabled = LinkEnabledAfterClick(node->kind)) {
        cmdLink_->setEnabled(*enabled);
        mnuCMap_->setEnabled(*enabled);
    }
}

void frmMain::tvwPpt_MouseUp(Qt::MouseButton button, const QPoint& globalPos) {
    if (button != Qt::RightButton) {
        return;
    }
    mnupop_->popup(globalPos);
}

// The Menu key and Shift+F10 open the context menu at the selected node, as everywhere on the
// desktop.
bool frmMain::contextMenuKey(QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool menuKey = key->key() == Qt::Key_Menu;
    const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10) {
        return false;
    }
    QTreeWidgetItem* node = tvwPpt_->currentItem();
    const QRect place = node ? tvwPpt_->visualItemRect(node) : QRect();
    const QPoint local = node ? place.bottomLeft() : QPoint(0, 0);
    mnupop_->popup(tvwPpt_->viewport()->mapToGlobal(local));
    return true;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tvwPpt_) {
        return contextMenuKey(event) || QWidget::eventFilter(watched, event);
    }
    if (watched != tvwPpt_->viewport()) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (!mouse || mouse->button() != Qt::RightButton) {
        return QWidget::eventFilter(watched, event);
    }
    // The right button never changes the tree's selection: Cancel Mapping acts on the node
    // selected before the menu was opened.
    if (event->type() == QEvent::MouseButtonRelease) {
        RunCommand([&] { tvwPpt_MouseUp(mouse->button(), mouse->globalPosition().toPoint()); });
    }
    return true;
}

void frmMain::cmdLink_Click() {
    const QList<QTreeWidgetItem*> sheets = lvwSheet_->selectedItems();
    std::optional<std::string> sheetName;
    if (!sheets.isEmpty()) {
        sheetName = sheets.front()->data(0, kTagRole).toString().toStdString();
    }
    QTreeWidgetItem* node = tvwPpt_->currentItem();
    if (sheetName && closedByConvert(treeNode(node))) {
        inform(kTemplateClosedByConvert);
        return;
    }
    const LinkResult result = LinkCommand(browsedTemplate(), sheetName, treeNode(node));
    switch (result.outcome) {
        case LinkOutcome::NothingToLink:
            return;
        case LinkOutcome::NameTaken:
            platform::current().messageBox(kNameTaken, kApplicationTitle,
                                           platform::kOkOnly | platform::kInformation);
            return;
        case LinkOutcome::Linked:
            node->parent()->setText(0, qt(result.slideName));
            return;
    }
}

void frmMain::LinkSheetToSlide(const QTreeWidgetItem& sheetItem, const QTreeWidgetItem& shapeNode) {
    const std::string sheetName = sheetItem.data(0, kTagRole).toString().toStdString();
    const std::string slideName =
        tabulon::LinkSheetToSlide(SlideTable(), sheetName, *treeNode(&shapeNode));
    shapeNode.parent()->setText(0, qt(slideName));
}

void frmMain::mnuCMap_Click() {
    QTreeWidgetItem* node = tvwPpt_->currentItem();
    if (closedByConvert(treeNode(node))) {
        inform(kTemplateClosedByConvert);
        return;
    }
    if (const auto slideName = CancelCommand(browsedTemplate(), treeNode(node))) {
        node->parent()->setText(0, qt(*slideName));
    }
}

void frmMain::CancelMapping(QTreeWidgetItem& slideNode) {
    const std::int32_t slideKey = slideNode.data(0, kTagRole).toInt();
    slideNode.setText(0, qt(tabulon::CancelMapping(SlideTable(), slideKey)));
}

void frmMain::cmdSave_Click() {
    // Without a template open (none chosen yet, or Convert closed it) there is nothing to save.
    if (!HasTemplateToSave(pptApp_)) {
        return;
    }
    BusyCursor busy;
    SaveTemplate(*pptApp_);
}

void frmMain::cmdConvert_Click() {
    using MDL_PptReport::OpenDocuments;
    MDL_PptReport::QuitApplication(pptApp_, OpenDocuments::Close);
    MDL_PptReport::QuitApplication(xlsApp_, OpenDocuments::Close);
    convertedTemplate_ = templatePath_;
    // The output is written in the template's own format: a .ppt template gives a .ppt.
    const bool legacyTemplate = templatePath_.ends_with(".ppt") || templatePath_.ends_with(".PPT");
    dlgoutput_.patterns =
        legacyTemplate ? std::vector<std::string>{"*.ppt"} : std::vector<std::string>{"*.pptx"};
    dlgoutput_.defaultSuffix = legacyTemplate ? "ppt" : "pptx";
    const std::string outputPath = showFileDialog(dlgoutput_);
    const bool haveOutput = !outputPath.empty();
    const bool haveTemplate = !templatePath_.empty();
    const bool haveWorkbook = !workbookPath_.empty();
    if (!haveOutput || !haveTemplate || !haveWorkbook) {
        return;
    }
    BusyCursor busy;
    const auto run =
        ConvertWithProgress(this, workbookPath_, templatePath_, outputPath, progressDelay_);
    // A clean run stays silent; one that left something undone says what.
    if (const std::string warnings = WarningsText(run); !warnings.empty()) {
        platform::current().messageBox(warnings, kApplicationTitle,
                                       platform::kOkOnly | platform::kExclamation);
    }
}

bool frmMain::closedByConvert(const std::optional<TreeNode>& node) const {
    const bool shape = node && node->kind == NodeKind::Shape;
    return shape && !pptApp_ && !templatePath_.empty() && convertedTemplate_ == templatePath_;
}

void frmMain::Unload() {
    using MDL_PptReport::OpenDocuments;
    MDL_PptReport::QuitApplication(pptApp_, OpenDocuments::Leave);
    MDL_PptReport::QuitApplication(xlsApp_, OpenDocuments::Leave);
}

void frmMain::closeEvent(QCloseEvent* event) {
    RunCommand([this] { Unload(); });
    event->accept();
}

}  // namespace tabulon
