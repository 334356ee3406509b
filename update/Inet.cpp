#include "update/Inet.h"

#include "platform/seams.h"

std::string Inet::OpenURL(const std::string& url) const {
    return platform::current().httpGet(url, RequestTimeout);
}
