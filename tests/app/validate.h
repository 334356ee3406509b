#pragma once

// The independent check of a file that the program wrote: the shared OOXML validator, run on
// the output against the file it was made from. Nothing when the validator is absent.

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tabulon::testing {

// What the validator printed (empty when the output has no problem that the input lacks).
inline std::optional<std::string> Validate(const std::string& output, const std::string& input) {
    const std::filesystem::path tool =
        std::filesystem::path(TABULON_SOURCE_DIR) / ".." / "shared" / "tools" / "ooxml-validate";
    if (!std::filesystem::exists(tool) ||
        std::system("/usr/bin/python3 -c 'import lxml' 2>/dev/null") != 0) {
        return std::nullopt;
    }
    const std::string command =
        "/usr/bin/python3 '" + tool.string() + "' '" + output + "' --against '" + input + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return std::nullopt;
    }
    std::string printed;
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe.get())) {
        printed += buffer.data();
    }
    return printed;
}

}  // namespace tabulon::testing
