// tabulon-convert: the conversion engine without a window, for unattended runs from a
// scheduler. tabulon-convert WORKBOOK TEMPLATE OUTPUT
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include <QString>
#include <QtGlobal>

#include "engine/MDL_PptReport.h"
#include "office/error.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: tabulon-convert WORKBOOK TEMPLATE OUTPUT\n"
    "       tabulon-convert --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "Fills the linked charts and embedded tables of the presentation TEMPLATE (.pptx) with\n"
    "the table blocks of the workbook WORKBOOK (.xlsx, .xlsm, .xls) and saves the result as\n"
    "OUTPUT (.pptx). Every worksheet fills the slides that bear its name; the template file\n"
    "is left unchanged unless OUTPUT is the template itself.\n"
    "\n"
    "Exit status: 0 on success, 1 when the conversion fails (the reason is printed as\n"
    "\"error CODE: TEXT\" on standard error; a run that fails before saving leaves OUTPUT\n"
    "as it was), 2 for wrong arguments.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n";

// Qt's informational chatter (the offscreen platform's notes, a missing runtime folder) is no
// business of a scheduled run; only critical messages reach standard error.
void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg) {
        return;
    }
    std::fprintf(stderr, "tabulon-convert: %s\n", message.toLocal8Bit().constData());
}

// The paths go to the engine in full, so the line printed at the end names the file exactly.
std::string fullPath(const char* path) {
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    return error ? std::string(path) : absolute.lexically_normal().string();
}

int convert(const char* workbook, const char* templ, const char* output) {
    const std::string outputPath = fullPath(output);
    MDL_PptReport::RunStatistics statistics;
    try {
        MDL_PptReport::ConvertReport(fullPath(workbook), fullPath(templ), outputPath, &statistics);
    } catch (const office::Error& error) {
        std::fprintf(stderr, "error %d: %s\n", error.number(), error.text().c_str());
        return kExitFailure;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return kExitFailure;
    }
    std::printf("filled %d %s and %d %s from %d %s; wrote %s\n", statistics.slides,
                statistics.slides == 1 ? "slide" : "slides", statistics.shapes,
                statistics.shapes == 1 ? "shape" : "shapes", statistics.blocks,
                statistics.blocks == 1 ? "table block" : "table blocks", outputPath.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(qtMessage);
    if (argc == 2) {
        const std::string_view option = argv[1];
        if (option == "--help" || option == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        }
        if (option == "--version" || option == "-V") {
            std::printf("tabulon-convert %s\n", TABULON_VERSION);
            return 0;
        }
    }
    if (argc != 4) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    return convert(argv[1], argv[2], argv[3]);
}
