#include "update/MDL_PublicCode.h"

#include "platform/seams.h"

namespace MDL_PublicCode {

void ShellOpen(const std::string& target) {
    platform::current().shellOpen(target);
}

std::string HomePage() {
    return TABULON_HOME_PAGE;
}

std::string UpdateHost() {
    return TABULON_UPDATE_HOST;
}

}  // namespace MDL_PublicCode
