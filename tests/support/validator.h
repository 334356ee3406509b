#pragma once

// The independent check of a file that our code wrote: the shared OOXML validator that sits
// beside the repository (../shared/tools/ooxml-validate), run on the output against the file it
// was made from. It prints only the problems that the output has and the input had not.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tabulon::testing {

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and standard error together
};

inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
    if (!pipe) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) {
        result.output.append(buffer.data(), got);
    }
    result.status = ::pclose(pipe.release());
    return result;
}

inline std::string validatorPath() {
    return (std::filesystem::path(TABULON_SOURCE_DIR) / ".." / "shared" / "tools" /
            "ooxml-validate")
        .string();
}

// The validator is there and can run (it needs Debian's python3-lxml).
inline bool validatorPresent() {
    static const bool present =
        std::filesystem::exists(validatorPath()) &&
        std::system("/usr/bin/python3 -c 'import lxml' >/dev/null 2>&1") == 0;
    return present;
}

// The independent reader of .xls files, xlrd (with olefile), can run: Debian's python3-xlrd.
inline bool xlrdPresent() {
    static const bool present =
        runCommand("/usr/bin/python3 -c 'import xlrd, olefile' >/dev/null 2>&1").status == 0;
    return present;
}

// The validator's run on output against input: exit status 0 and nothing printed when the output
// has no problem that the input lacks.
inline CommandResult validateAgainst(const std::string& output, const std::string& input) {
    return runCommand("/usr/bin/python3 '" + validatorPath() + "' '" + output + "' --against '" +
                      input + "'");
}

// What the validator printed about output, or nothing when it cannot run here.
inline std::optional<std::string> Validate(const std::string& output, const std::string& input) {
    if (!validatorPresent()) {
        return std::nullopt;
    }
    return validateAgainst(output, input).output;
}

}  // namespace tabulon::testing
