// tabulon-convert: the conversion engine without a window, for unattended runs from a
// scheduler. tabulon-convert [--strict] [--dry-run] [--quiet] WORKBOOK TEMPLATE OUTPUT
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <QString>
#include <QtGlobal>

#include "engine/MDL_PptReport.h"
#include "office/ascii.h"
#include "office/error.h"
#include "office/package/time_zone.h"
#include "tabulon/version.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWarnings = 3;

constexpr const char* kUsage =
    "usage: tabulon-convert [--strict] [--dry-run] [--quiet] WORKBOOK TEMPLATE OUTPUT\n"
    "       tabulon-convert --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "Fills the linked charts and embedded tables of the presentation TEMPLATE (.pptx or .ppt)\n"
    "with the table blocks of the workbook WORKBOOK (.xlsx, .xlsm, .xls) and saves the result\n"
    "as OUTPUT (.pptx, or .ppt for a .ppt template; added when OUTPUT has no extension). Every\n"
    "worksheet fills the slides that bear its name; the template file is left unchanged\n"
    "unless OUTPUT is the template itself. A read-only OUTPUT is never replaced.\n"
    "\n"
    "After its one-line summary it prints a line \"warning: TEXT\" on standard error for\n"
    "each thing the run left undone or did on a guess: a worksheet that fills no slide, a\n"
    "linked slide with no worksheet of its name, a worksheet with no table block, a tag\n"
    "whose shape was found by part of its name only, a formula cell without a computed\n"
    "value, a chart that keeps series or categories beyond the last block pasted into it.\n"
    "\n"
    "Exit status: 0 on success (warnings or not), 1 when the conversion fails (the reason is\n"
    "printed as \"error CODE: TEXT\" on standard error; a run that fails leaves OUTPUT as it\n"
    "was), 2 for wrong arguments, 3 when --strict is given and the run has a warning.\n"
    "\n"
    "  --strict       treat every warning as a failure: exit 3 and write no OUTPUT\n"
    "  --dry-run      do the whole run but write nothing; print what would be filled\n"
    "  --quiet        print errors only: no summary and no warnings\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "For a monthly scheduler (crontab), mailing only what needs a look:\n"
    "  0 6 1 * * tabulon-convert --strict --quiet ~/sales.xlsx ~/template.pptx ~/monthly.pptx\n";

struct Options {
    bool strict = false;
    bool dryRun = false;
    bool quiet = false;
    std::vector<const char*> paths;
};

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

// The file a save would write: the presentation host adds the template's own kind of extension
// to a name without one (.ppt for a PowerPoint 97-2003 template, .pptx for any other).
std::string pathToWrite(const std::string& output, const std::string& templatePath) {
    if (std::filesystem::path(output).has_extension()) {
        return output;
    }
    const std::string kind =
        office::asciiLower(std::filesystem::path(templatePath).extension().string());
    return output + (kind == ".ppt" ? ".ppt" : ".pptx");
}

const char* plural(int count, const char* one, const char* many) {
    return count == 1 ? one : many;
}

std::string countsText(const MDL_PptReport::RunStatistics& run) {
    return std::to_string(run.slides) + " " + plural(run.slides, "slide", "slides") + " and " +
           std::to_string(run.shapes) + " " + plural(run.shapes, "shape", "shapes") + " from " +
           std::to_string(run.blocks) + " " + plural(run.blocks, "table block", "table blocks");
}

void printDryRun(const MDL_PptReport::RunStatistics& run, const std::string& output) {
    for (const auto& fill : run.filled) {
        std::printf("would fill slide %d (\"%s\"), shape \"%s\", from worksheet \"%s\" (%d %s)\n",
                    fill.slideIndex, fill.slideName.c_str(), fill.shape.c_str(), fill.sheet.c_str(),
                    fill.blocks, plural(fill.blocks, "table block", "table blocks"));
    }
    std::printf("would fill %s; would write %s\n", countsText(run).c_str(), output.c_str());
}

void printWarnings(const MDL_PptReport::RunStatistics& run) {
    for (const auto& warning : run.warnings) {
        std::fprintf(stderr, "warning: %s\n", warning.text.c_str());
    }
}

int report(const Options& options, const MDL_PptReport::RunStatistics& run,
           const std::string& output) {
    const bool refused = options.strict && !run.warnings.empty();
    if (refused) {
        // The warnings are the reason for the failure, so they are printed even when quiet.
        printWarnings(run);
        std::fprintf(stderr, "error: %zu %s with --strict; %s not written\n", run.warnings.size(),
                     plural(static_cast<int>(run.warnings.size()), "warning", "warnings"),
                     output.c_str());
        return kExitWarnings;
    }
    if (options.quiet) {
        return 0;
    }
    if (options.dryRun) {
        printDryRun(run, output);
    } else {
        std::printf("filled %s; wrote %s\n", countsText(run).c_str(), run.writtenPath.c_str());
    }
    std::fflush(stdout);
    printWarnings(run);
    return 0;
}

int convert(const Options& options) {
    const std::string outputPath = fullPath(options.paths[2]);
    MDL_PptReport::RunStatistics statistics;
    MDL_PptReport::RunOptions runOptions;
    runOptions.dryRun = options.dryRun;
    runOptions.strict = options.strict;
    try {
        MDL_PptReport::ConvertReport(fullPath(options.paths[0]), fullPath(options.paths[1]),
                                     outputPath, &statistics, runOptions);
    } catch (const office::Error& error) {
        std::fprintf(stderr, "error %d: %s\n", error.number(), error.text().c_str());
        return kExitFailure;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return kExitFailure;
    }
    return report(options, statistics, pathToWrite(outputPath, options.paths[1]));
}

// False for an unknown option or a wrong number of paths.
bool parse(int argc, char** argv, Options& options) {
    bool optionsEnded = false;  // after "--" every argument is a path
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded) {
            options.paths.push_back(argv[i]);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--strict") {
            options.strict = true;
        } else if (argument == "--dry-run") {
            options.dryRun = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument.starts_with("-") && argument != "-") {
            return false;
        } else {
            options.paths.push_back(argv[i]);
        }
    }
    return options.paths.size() == 3;
}

}  // namespace

int main(int argc, char** argv) {
    office::package::pinTimeZone();
    qInstallMessageHandler(qtMessage);
    if (argc == 2) {
        const std::string_view option = argv[1];
        if (option == "--help" || option == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        }
        if (option == "--version" || option == "-V") {
            std::printf("tabulon-convert %s\n", tabulon::version::kText);
            return 0;
        }
    }
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    return convert(options);
}
