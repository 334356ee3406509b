#include "about/frmAbout.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>

#include "about/SysInfo.h"
#include "tabulon/version.h"
#include "update/MDL_PublicCode.h"

namespace about {

std::string AuthorEmail() {
    return TABULON_AUTHOR_EMAIL;
}

}  // namespace about

namespace {

// Positions are laid out in twips, 15 to a pixel at the usual 96 dots per inch.
int px(int twips) {
    return (twips + 7) / 15;
}

QRect twipRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

// A horizontal line from (x1, y) to (x2, y), `thickness` pixels high, in `color`.
QFrame* lineFrame(QWidget* parent, int x1, int x2, int y, int thickness, const QColor& color) {
    auto* line = new QFrame(parent);
    line->setGeometry(px(x1), px(y), px(x2) - px(x1) + 1, thickness);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, color);
    line->setPalette(palette);
    line->setAutoFillBackground(true);
    return line;
}

// The program's icon: three bars of a chart on a table, 32 x 32 pixels.
QPixmap applicationIcon() {
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setPen(QColor(64, 64, 64));
    painter.setBrush(Qt::white);
    painter.drawRect(1, 1, 29, 29);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(31, 119, 180));
    painter.drawRect(6, 16, 5, 11);
    painter.setBrush(QColor(255, 127, 14));
    painter.drawRect(13, 8, 5, 19);
    painter.setBrush(QColor(44, 160, 44));
    painter.drawRect(20, 12, 5, 15);
    return icon;
}

QLabel* plainLabel(QWidget* parent, const char* name, QRect geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("frmAbout");
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(px(5730), px(3555));
    createControls();
    Form_Load();
}

void frmAbout::createControls() {
    createLabels();
    createSeparatorAndButtons();
    cmdOK->setFocus();
}

void frmAbout::createLabels() {
    picIcon = plainLabel(this, "picIcon", twipRect(240, 120, 540, 540));
    picIcon->setPixmap(applicationIcon());

    lblTitle = plainLabel(this, "lblTitle", twipRect(1050, 240, 3885, 480));
    lblVersion = plainLabel(this, "lblVersion", twipRect(1050, 780, 3885, 225));
    lblDescription = plainLabel(this, "lblDescription", twipRect(1050, 1125, 3885, 570));
    lblDescription->setWordWrap(true);
    QPalette black = lblDescription->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    lblDescription->setPalette(black);
    lblDescription->setText(about::kDescription);

    Label1 = plainLabel(this, "Label1", twipRect(240, 2040, 4575, 255));
    QFont mailFont = Label1->font();
    mailFont.setPointSize(9);
    mailFont.setUnderline(true);
    Label1->setFont(mailFont);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 192));
    Label1->setPalette(blue);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setText(QString::fromStdString("author Email:" + about::AuthorEmail()));
    Label1->installEventFilter(this);
}

void frmAbout::createSeparatorAndButtons() {
    Line1Upper = lineFrame(this, 90, 5654, 2445, 1, QColor(128, 128, 128));
    Line1Upper->setObjectName("Line1_1");
    Line1Lower = lineFrame(this, 105, 5654, 2460, 2, Qt::white);
    Line1Lower->setObjectName("Line1_0");

    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setGeometry(twipRect(4125, 2625, 1500, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    cmdSysInfo = new QPushButton("SysInfo(&S)...", this);
    cmdSysInfo->setObjectName("cmdSysInfo");
    cmdSysInfo->setGeometry(twipRect(4200, 3120, 1485, 345));
    // Like any dialog button, it takes Enter while it has the focus; OK takes it otherwise.
    cmdSysInfo->setAutoDefault(true);
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });
}

void frmAbout::Form_Load() {
    const QString title = MDL_PublicCode::kAppTitle;
    setWindowTitle("About " + title);
    lblVersion->setText(QString("Version %1.%2.%3")
                            .arg(tabulon::version::kMajor)
                            .arg(tabulon::version::kMinor)
                            .arg(tabulon::version::kPatch));
    lblTitle->setText(title);
}

void frmAbout::showEvent(QShowEvent* event) {
    keepOutOfTheTaskbar();
    QDialog::showEvent(event);
}

// The dialog is shown without an owner: no parent widget holds it, and it is modal to the whole
// program. A top-level window that nothing is transient for gets a taskbar entry of its own, so
// the window that was active when the dialog opened becomes its transient parent: the window
// manager then keeps the dialog above that window and out of the taskbar.
void frmAbout::keepOutOfTheTaskbar() {
    QWidget* active = QApplication::activeWindow();
    QWindow* handle = windowHandle();
    if (parentWidget() != nullptr || handle == nullptr || handle->transientParent() != nullptr ||
        active == nullptr || active == this || active->windowHandle() == nullptr) {
        return;
    }
    handle->setTransientParent(active->windowHandle());
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label1_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::Label1_Click() {
    MDL_PublicCode::ShellOpen("mailto:" + about::AuthorEmail());
}

void frmAbout::StartSysInfo() {
    about::StartSysInfoWith(&frmAbout::GetKeyValue);
}

bool frmAbout::GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName,
                           const std::string& SubKeyRef, std::string& KeyVal) {
    return about::GetKeyValue(KeyRoot, KeyName, SubKeyRef, KeyVal);
}
