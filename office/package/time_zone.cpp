#include "office/package/time_zone.h"

#include <cstdlib>

#include <unistd.h>

namespace office::package {

void pinTimeZone() {
    // ":" and a path is the zone file itself, as the C library reads it when TZ is not set.
    constexpr const char* kSystemZone = "/etc/localtime";
    if (std::getenv("TZ") == nullptr && ::access(kSystemZone, R_OK) == 0) {
        ::setenv("TZ", ":/etc/localtime", 0);
    }
}

}  // namespace office::package
