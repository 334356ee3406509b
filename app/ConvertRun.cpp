#include "app/ConvertRun.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <thread>

#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/FailureReport.h"

namespace tabulon {
namespace {

// Slides done of slides linked; it cannot be closed, the run cannot be stopped halfway.
class ProgressDialog : public QDialog {
public:
    explicit ProgressDialog(QWidget* parent) : QDialog(parent) {
        setObjectName(kProgressDialogName);
        setWindowTitle(kApplicationTitle);
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        setModal(true);
        auto* layout = new QVBoxLayout(this);
        label_ = new QLabel("Opening the workbook and the template...", this);
        bar_ = new QProgressBar(this);
        bar_->setRange(0, 0);  // busy until the first count arrives
        layout->addWidget(label_);
        layout->addWidget(bar_);
        setMinimumWidth(label_->fontMetrics().averageCharWidth() * 45);
    }

    void setProgress(int done, int linked) {
        bar_->setRange(0, linked);
        bar_->setValue(done);
        label_->setText(QString("Filled %1 of %2 linked slides").arg(done).arg(linked));
    }

    // Escape does not close it.
    void reject() override {}

private:
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace

MDL_PptReport::RunStatistics ConvertWithProgress(QWidget* window, const std::string& workbookPath,
                                                 const std::string& templatePath,
                                                 const std::string& outputPath,
                                                 std::chrono::milliseconds delay) {
    ProgressDialog dialog(window);
    QEventLoop loop;
    MDL_PptReport::RunStatistics statistics;
    std::exception_ptr failure;
    MDL_PptReport::RunOptions options;
    // Told on the run's thread; the dialog is updated on its own. Calls still queued when the
    // dialog goes are dropped with it.
    options.progress = [&dialog](int done, int linked) {
        QMetaObject::invokeMethod(
            &dialog, [&dialog, done, linked] { dialog.setProgress(done, linked); },
            Qt::QueuedConnection);
    };
    QTimer::singleShot(delay, &dialog, [&dialog] { dialog.show(); });
    // The window holds no office object while the run goes on: Convert quit both browsing
    // applications, and the run's own live only on its thread.
    std::thread run([&] {
        try {
            MDL_PptReport::ConvertReport(workbookPath, templatePath, outputPath, &statistics,
                                         options);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    run.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return statistics;
}

std::string WarningsText(const MDL_PptReport::RunStatistics& run) {
    // A worksheet that no slide bears is the workbook's own business (notes, helper sheets,
    // sheets for another report): telling it after every run would bury the warnings that
    // concern what the template shows.
    std::vector<MDL_PptReport::RunWarning> warnings;
    std::copy_if(run.warnings.begin(), run.warnings.end(), std::back_inserter(warnings),
                 [](const MDL_PptReport::RunWarning& warning) {
                     return warning.kind != MDL_PptReport::RunWarning::Kind::SheetFillsNoSlide;
                 });
    if (warnings.empty()) {
        return {};
    }
    const std::string written =
        run.writtenPath.empty() ? "Convert wrote nothing" : "Convert wrote " + run.writtenPath;
    std::string text = written + ", but left this undone:\n";
    for (std::size_t i = 0; i < warnings.size() && i < kWarningsListed; ++i) {
        text += "\n- " + warnings[i].text;
    }
    if (warnings.size() > kWarningsListed) {
        text += "\n\n...and " + std::to_string(warnings.size() - kWarningsListed) +
                " more; tabulon-convert lists them all.";
    }
    return text;
}

}  // namespace tabulon
