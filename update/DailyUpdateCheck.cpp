#include "update/DailyUpdateCheck.h"

#include <algorithm>
#include <cstdio>

#include "office/error.h"
#include "platform/seams.h"
#include "tabulon/version.h"
#include "update/MDL_PublicCode.h"

namespace update {
namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string DateText(std::chrono::year_month_day date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

std::optional<std::chrono::year_month_day> ParseDate(const std::string& text) {
    const std::size_t first = text.find('-');
    const std::size_t second = first == std::string::npos ? first : text.find('-', first + 1);
    if (second == std::string::npos) {
        return std::nullopt;
    }
    const std::string year = text.substr(0, first);
    const std::string month = text.substr(first + 1, second - first - 1);
    const std::string day = text.substr(second + 1);
    if (year.size() != 4 || month.size() > 2 || day.size() > 2 || !allDigits(year) ||
        !allDigits(month) || !allDigits(day)) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(std::stoi(year)),
                                           std::chrono::month(std::stoul(month)),
                                           std::chrono::day(std::stoul(day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return date;
}

}  // namespace update

void DailyUpdateCheck(clsIniFile& IniFile, Cls_WebService& UpdateService) {
    platform::Platform& system = platform::current();
    IniFile.File = system.executableDir() + update::kPathSeparator + update::kSettingsFileName;
    const std::string stored = IniFile.GetSetting(update::kSection, update::kConnectDateKey);
    const auto today = system.today();
    bool storedIsNoDate = false;
    if (stored != settings::kMissingValue) {
        const auto last = update::ParseDate(stored);
        storedIsNoDate = !last;
        if (last && std::chrono::sys_days(*last) >= std::chrono::sys_days(today)) {
            return;
        }
    }
    const std::string date = update::DateText(today);
    const std::string version = update::VersionText(
        tabulon::version::kMajor, tabulon::version::kMinor, tabulon::version::kPatch);
    UpdateService.CheckProduct(update::kProductId, update::kProductGuid, version);
    IniFile.SaveSetting(update::kSection, update::kConnectDateKey, date);
    if (storedIsNoDate) {
        // Said once: the good date just written replaces it, so the next start is quiet.
        throw office::Error(office::ErrorCode::TypeMismatch,
                            IniFile.File + ": [" + update::kSection + "] " +
                                update::kConnectDateKey + " is \"" + stored +
                                "\", which is not a date (yyyy-mm-dd); it is now " + date);
    }
}
