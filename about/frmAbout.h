#pragma once

// The About dialog: the program's title and version, a one-line description, the author's
// e-mail address (a click opens a new mail message) and a button that starts the system's
// information program. Modal; a new dialog is made for every showing.

#include <QDialog>
#include <cstdint>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

class frmAbout : public QDialog {
public:
    explicit frmAbout(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createLabels();
    void createSeparatorAndButtons();
    void keepOutOfTheTaskbar();
    void Form_Load();
    void cmdSysInfo_Click();
    void Label1_Click();
    void StartSysInfo();
    static bool GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName,
                            const std::string& SubKeyRef, std::string& KeyVal);

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* Line1Upper = nullptr;  // Line1(1), the grey stroke
    QFrame* Line1Lower = nullptr;  // Line1(0), the white stroke
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
};

namespace about {

inline constexpr const char* kDescription =
    "Gridmancer is a Convert  Excel table to Powerpoint  tools";

// The author's e-mail address (a build setting).
std::string AuthorEmail();

}  // namespace about
