#pragma once

// The failure of the update check that reaches the main window's report of unhandled failures.
// It carries the classic error number beside its text, as the office host's errors do.

#include <stdexcept>
#include <string>

namespace update {

class CheckError : public std::runtime_error {
public:
    static constexpr int kTypeMismatch = 13;
    static constexpr int kObjectRequired = 91;

    CheckError(int number, const std::string& text) : std::runtime_error(text), number_(number) {}

    int number() const noexcept { return number_; }

private:
    int number_;
};

}  // namespace update
