#pragma once

// The main window's start-up step: at most once per calendar day, tell the update service which
// version is running and record the day of the check in the settings file.

#include <chrono>
#include <optional>
#include <string>

#include "settings/clsIniFile.h"
#include "update/Cls_WebService.h"

namespace update {

// The product's identity at the update service.
inline constexpr const char* kProductGuid = "3f6c2a9e-8b41-4d7a-a0c5-51e9d2b7f813";
inline constexpr std::int32_t kProductId = 2;
inline constexpr const char* kSettingsFileName = "Tabulon.ini";
inline constexpr const char* kSection = "Information";
inline constexpr const char* kConnectDateKey = "ConnectDate";

// "yyyy-mm-dd".
std::string DateText(std::chrono::year_month_day date);

// A date written as "yyyy-mm-dd" (month and day may have one digit); nothing for any other text
// or a day that does not exist.
std::optional<std::chrono::year_month_day> ParseDate(const std::string& text);

}  // namespace update

// Points IniFile at "Tabulon.ini" in the executable's folder and, when no check was made today
// or on a later day, runs UpdateService.CheckProduct and then stores today as ConnectDate.
// When the stored ConnectDate is not a date, the check runs and today is stored all the same,
// and then office::Error (type mismatch, 13) is thrown, naming the file and the value, so that
// the start reports it once. A settings file that cannot be written (a read-only one) keeps
// its old date.
void DailyUpdateCheck(clsIniFile& IniFile, Cls_WebService& UpdateService);
