#pragma once

// ASCII case folding, for the names that office files compare without regard to case: part
// names, file extensions, program ids. Other characters are left as they are.

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace office {

inline std::string asciiLower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace office
