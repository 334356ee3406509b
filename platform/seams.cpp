#include "platform/seams.h"

#include <utility>

namespace platform {

std::vector<std::string> nameFilters(const FileDialog& dialog) {
    std::string own = dialog.filterDescription + " (";
    for (std::size_t i = 0; i < dialog.patterns.size(); ++i) {
        own += (i == 0 ? "" : " ") + dialog.patterns[i];
    }
    return {own + ")", "All files (*)"};
}

Platform& current() {
    static Platform table = corePlatform();
    return table;
}

ScopedPlatform::ScopedPlatform(Platform replacement) : saved_(current()) {
    Platform& table = current();
    auto take = [](auto& slot, auto& given) {
        if (given) {
            slot = std::move(given);
        }
    };
    take(table.chooseFile, replacement.chooseFile);
    take(table.messageBox, replacement.messageBox);
    take(table.httpGet, replacement.httpGet);
    take(table.shellOpen, replacement.shellOpen);
    take(table.startProgram, replacement.startProgram);
    take(table.today, replacement.today);
    take(table.executableDir, replacement.executableDir);
}

ScopedPlatform::~ScopedPlatform() {
    current() = std::move(saved_);
}

}  // namespace platform
