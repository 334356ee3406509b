#include "settings/clsIniFile.h"

#include "settings/profile.h"

void clsIniFile::DeleteSection(const std::string& Section) {
    settings::profile::deleteSection(File, Section);
}

std::int16_t clsIniFile::SaveSetting(const std::string& Section, const std::string& Key,
                                     const std::string& Value) {
    return settings::profile::writeValue(File, Section, Key, Value) ? 1 : 0;
}

std::string clsIniFile::GetSetting(const std::string& Section, const std::string& Key) {
    std::string value = settings::profile::readValue(File, Section, Key, settings::kMissingValue,
                                                     settings::kValueBufferSize);
    if (value.empty()) {
        return settings::kEmptyValue;
    }
    return value;
}

std::int16_t clsIniFile::GetSection(const std::string& Section,
                                    std::vector<std::string>& KeyArray) {
    KeyArray.assign(1, std::string());
    const auto list = settings::profile::readKeyNames(File, Section, settings::kKeyListBufferSize);
    if (list.count == 0) {
        return 0;
    }
    std::int16_t count = 0;
    std::size_t start = 0;
    while (start < list.buffer.size()) {
        const std::size_t end = list.buffer.find('\0', start);
        if (end == std::string::npos || end == start) {
            break;
        }
        ++count;
        KeyArray.push_back(list.buffer.substr(start, end - start));
        start = end + 1;
    }
    return count;
}
