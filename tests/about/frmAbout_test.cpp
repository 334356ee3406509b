#include "about/frmAbout.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "about/SysInfo.h"
#include "platform/seams.h"

namespace {

// The process's widget application: made on first use, and destroyed when the tests end but
// before static destruction, which Qt's input devices do not survive.
class QtEnvironment : public ::testing::Environment {
public:
    static QApplication& application() {
        static int argc = 1;
        static char name[] = "about_tests";
        static char* argv[] = {name, nullptr};
        if (!instance_) {
            instance_ = std::make_unique<QApplication>(argc, argv);
        }
        return *instance_;
    }
    void TearDown() override { instance_.reset(); }

private:
    static inline std::unique_ptr<QApplication> instance_;
};

// Google Test owns and deletes the registered environment.
const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QApplication& qtApplication() {
    return QtEnvironment::application();
}

struct Recorded {
    std::vector<std::string> messages;  // text|caption|buttons
    std::vector<std::string> started;
    std::vector<std::string> opened;
};

// The dialog with message boxes, program starts and the shell recorded.
class AboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApplication();
        platform::Platform fake;
        fake.messageBox = [this](const std::string& text, const std::string& caption, int buttons) {
            seen_.messages.push_back(text + "|" + caption + "|" + std::to_string(buttons));
            return platform::kAnswerOk;
        };
        fake.startProgram = [this](const std::string& program) {
            seen_.started.push_back(program);
            return startSucceeds_;
        };
        fake.shellOpen = [this](const std::string& target) {
            seen_.opened.push_back(target);
            return true;
        };
        scope_ = std::make_unique<platform::ScopedPlatform>(fake);
    }
    void TearDown() override { scope_.reset(); }

    template <typename T>
    static T* child(const QWidget& dialog, const char* name) {
        auto* found = dialog.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void press(QWidget& dialog, int key) {
        QWidget* target = dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog;
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &up);
    }

    Recorded seen_;
    bool startSucceeds_ = true;
    std::unique_ptr<platform::ScopedPlatform> scope_;
};

TEST_F(AboutTest, LoadSetsCaptionTitleVersionAndTexts) {
    frmAbout dialog;
    EXPECT_EQ(dialog.windowTitle().toStdString(), "About Tabulon");
    EXPECT_EQ(child<QLabel>(dialog, "lblTitle")->text().toStdString(), "Tabulon");
    EXPECT_EQ(child<QLabel>(dialog, "lblVersion")->text().toStdString(), "Version 1.1.0");
    EXPECT_EQ(child<QLabel>(dialog, "lblDescription")->text().toStdString(),
              "Gridmancer is a Convert  Excel table to Powerpoint  tools");
    const std::string mail = child<QLabel>(dialog, "Label1")->text().toStdString();
    EXPECT_EQ(mail, "author Email:" + about::AuthorEmail());
    EXPECT_NE(about::AuthorEmail().find('@'), std::string::npos);
    EXPECT_EQ(child<QPushButton>(dialog, "cmdOK")->text().toStdString(), "OK");
    EXPECT_EQ(child<QPushButton>(dialog, "cmdSysInfo")->text().toStdString(), "SysInfo(&S)...");
}

TEST_F(AboutTest, ControlsSitWhereTheTwipLayoutPutsThem) {
    frmAbout dialog;
    EXPECT_EQ(dialog.minimumSize(), QSize(382, 237));
    EXPECT_EQ(dialog.maximumSize(), QSize(382, 237));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    const std::vector<std::pair<const char*, QRect>> expected{
        {"picIcon", {16, 8, 36, 36}},       {"lblTitle", {70, 16, 259, 32}},
        {"lblVersion", {70, 52, 259, 15}},  {"lblDescription", {70, 75, 259, 38}},
        {"Label1", {16, 136, 305, 17}},     {"cmdOK", {275, 175, 100, 23}},
        {"cmdSysInfo", {280, 208, 99, 23}}, {"Line1_1", {6, 163, 372, 1}},
        {"Line1_0", {7, 164, 371, 2}},
    };
    for (const auto& [name, rect] : expected) {
        const auto* widget = child<QWidget>(dialog, name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), rect) << name;
    }
    const auto* mail = child<QLabel>(dialog, "Label1");
    EXPECT_EQ(mail->font().pointSize(), 9);
    EXPECT_TRUE(mail->font().underline());
    EXPECT_EQ(mail->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    EXPECT_EQ(child<QFrame>(dialog, "Line1_1")->palette().color(QPalette::Window),
              QColor(128, 128, 128));
    EXPECT_EQ(child<QFrame>(dialog, "Line1_0")->palette().color(QPalette::Window),
              QColor(Qt::white));
    EXPECT_FALSE(child<QLabel>(dialog, "picIcon")->pixmap().isNull());
}

TEST_F(AboutTest, OkIsDefaultAndHasTheFocus) {
    frmAbout dialog;
    dialog.show();
    dialog.activateWindow();
    QApplication::processEvents();
    auto* ok = child<QPushButton>(dialog, "cmdOK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(dialog.focusWidget(), ok);
    EXPECT_TRUE(dialog.isModal());
}

TEST_F(AboutTest, EnterAndEscapeCloseTheModalDialog) {
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape)}) {
        frmAbout dialog;
        QTimer::singleShot(0, &dialog, [&dialog, key] { press(dialog, key); });
        // A second timer ends the loop should the key not close the dialog.
        QTimer::singleShot(3000, &dialog, [&dialog] { dialog.done(42); });
        const int result = dialog.exec();
        EXPECT_NE(result, 42) << "key " << key << " left the dialog open";
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(AboutTest, ShownWithoutOwnerModalToTheProgramAndOutOfTheTaskbar) {
    QWidget main;
    main.show();
    main.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &main);
    frmAbout dialog;
    QWindow* transientParent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer::singleShot(0, &dialog, [&] {
        transientParent = dialog.windowHandle()->transientParent();
        modality = dialog.windowModality();
        dialog.accept();
    });
    dialog.exec();
    EXPECT_EQ(dialog.parentWidget(), nullptr);
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(dialog.windowType(), Qt::Dialog);
    // A window transient for another one gets no taskbar entry of its own.
    EXPECT_EQ(transientParent, main.windowHandle());
}

TEST_F(AboutTest, EnterOnTheFocusedSysInfoButtonRunsItInsteadOfClosing) {
    frmAbout dialog;
    dialog.show();
    dialog.activateWindow();
    QApplication::processEvents();
    child<QPushButton>(dialog, "cmdSysInfo")->setFocus();
    press(dialog, Qt::Key_Return);
    EXPECT_EQ(seen_.messages, std::vector<std::string>{"此时系统信息不可用|Tabulon|0"});
    EXPECT_TRUE(dialog.isVisible());
    // Back on OK, Enter closes the dialog again.
    child<QPushButton>(dialog, "cmdOK")->setFocus();
    press(dialog, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(AboutTest, SysInfoWithoutRegistryShowsTheMessageAndStaysOpen) {
    frmAbout dialog;
    dialog.show();
    child<QPushButton>(dialog, "cmdSysInfo")->click();
    EXPECT_EQ(seen_.messages, std::vector<std::string>{"此时系统信息不可用|Tabulon|0"});
    EXPECT_TRUE(seen_.started.empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(AboutTest, ClickOnTheMailLabelOpensAMailMessage) {
    frmAbout dialog;
    dialog.show();
    auto* mail = child<QLabel>(dialog, "Label1");
    const QPointF at(5, 5);
    QMouseEvent down(QEvent::MouseButtonPress, at, mail->mapToGlobal(at), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(mail, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, mail->mapToGlobal(at), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(mail, &up);
    EXPECT_EQ(seen_.opened, std::vector<std::string>{"mailto:" + about::AuthorEmail()});
}

}  // namespace
